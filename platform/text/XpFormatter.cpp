#include "platform/text/XpFormatter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/text/XpString.h"
#include "platform/text/XpUtf.h"

namespace {

// Widths and precisions above this are rejected rather than allocated.
constexpr int32_t kMaxField = 1000000;
constexpr int32_t kDefaultRealPrecision = 6;
constexpr size_t kPointerDigits = 16;
constexpr size_t kIntegerDigits = 24;  // 64 bits in octal take 22
constexpr unsigned kOctalBase = 8;
constexpr unsigned kDecimalBase = 10;
constexpr unsigned kHexBase = 16;
constexpr char16_t kEscapeBase = 0xDC00;  // surrogate escape of a byte >= 0x80
constexpr uint32_t kMaxWideChar = 0xFFFF;
constexpr uint32_t kMaxNarrowChar = 0xFF;
constexpr char16_t kNullText[] = u"(null)";

enum class Size { kNone, kChar, kShort, kLong, kLongLong, kWide, kLongDouble };

struct Directive {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  bool zero = false;
  int32_t width = 0;
  int32_t precision = -1;  // -1: none given
  Size size = Size::kNone;
  char16_t conversion = 0;
};

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

// Writes the digits of value in Base backwards, ending at end; returns where
// they begin.
template <unsigned Base>
char* WriteDigitsIn(char* end, uint64_t value, const char* digitChars) {
  char* at = end;
  do {
    *--at = digitChars[value % Base];
    value /= Base;
  } while (value != 0);
  return at;
}

// base is kOctalBase, kDecimalBase or kHexBase.
char* WriteDigits(char* end, uint64_t value, unsigned base, bool upper) {
  const char* digitChars = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  if (base == kHexBase) return WriteDigitsIn<kHexBase>(end, value, digitChars);
  if (base == kOctalBase) return WriteDigitsIn<kOctalBase>(end, value, digitChars);
  return WriteDigitsIn<kDecimalBase>(end, value, digitChars);
}

void ToUpperAscii(char* begin, char* end) {
  for (char* at = begin; at != end; ++at) {
    if (*at >= 'a' && *at <= 'z') *at = static_cast<char>(*at - 'a' + 'A');
  }
}

// Reads the value of an integer or character argument, reduced to `bits`
// bits. False when the argument is no integer or its value does not fit,
// either as a signed or as an unsigned number of that width.
bool ReduceInteger(const XpFormatArg& arg, int bits, uint64_t& value) {
  const auto kind = arg.GetKind();
  if (kind != XpFormatArg::Kind::kInteger && kind != XpFormatArg::Kind::kWideChar &&
      kind != XpFormatArg::Kind::kNarrowChar) {
    return false;
  }
  const uint64_t raw = arg.Bits();
  if (bits == 64) {
    value = raw;
    return true;
  }
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  if (arg.IsSigned()) {
    const auto signedValue = static_cast<int64_t>(raw);
    const int64_t lowest = -(int64_t{1} << (bits - 1));
    if (signedValue < lowest || signedValue > static_cast<int64_t>(mask)) return false;
  } else if (raw > mask) {
    return false;
  }
  value = raw & mask;
  return true;
}

// The non-negative value of an integer argument in [0, limit].
bool ReadUnsigned(const XpFormatArg& arg, uint32_t limit, uint32_t& value) {
  uint64_t raw = 0;
  if (!ReduceInteger(arg, 64, raw)) return false;
  if (arg.IsSigned() && static_cast<int64_t>(raw) < 0) return false;
  if (raw > limit) return false;
  value = static_cast<uint32_t>(raw);
  return true;
}

class Formatter {
 public:
  Formatter(XpFormatBuffer& out, const XpFormatArg* args, size_t count) : out_(out), args_(args), count_(count) {}

  // One pass: each unit of the format is looked at a bounded number of times.
  XpResult Run(const char16_t* format) {
    if (format == nullptr) return kXpErrBadArgument;
    for (const char16_t* at = format; *at != u'\0';) {
      const char16_t* literal = at;
      while (*at != u'\0' && *at != u'%') ++at;
      out_.Append(literal, static_cast<size_t>(at - literal));
      if (*at == u'\0') break;
      ++at;
      Directive directive;
      if (!ParseDirective(at, directive) || !Convert(directive)) return kXpErrBadArgument;
    }
    return kXpOk;
  }

 private:
  const XpFormatArg* NextArg() {
    if (next_ >= count_) return nullptr;
    const XpFormatArg* arg = &args_[next_++];
    return arg->GetKind() == XpFormatArg::Kind::kNone ? nullptr : arg;
  }

  bool ReadStarArgument(int32_t& value) {
    const XpFormatArg* arg = NextArg();
    uint64_t raw = 0;
    if (arg == nullptr || !ReduceInteger(*arg, 32, raw)) return false;
    // %d semantics: an unsigned value above INT32_MAX reads as negative.
    value = static_cast<int32_t>(static_cast<uint32_t>(raw));
    return true;
  }

  static bool ParseNumber(const char16_t*& at, int32_t& value) {
    value = 0;
    for (; IsDigit(*at); ++at) {
      value = value * 10 + (*at - u'0');
      if (value > kMaxField) return false;
    }
    return true;
  }

  bool ParseDirective(const char16_t*& at, Directive& directive) {
    for (;; ++at) {
      if (*at == u'-') {
        directive.left = true;
      } else if (*at == u'+') {
        directive.plus = true;
      } else if (*at == u' ') {
        directive.space = true;
      } else if (*at == u'#') {
        directive.alternate = true;
      } else if (*at == u'0') {
        directive.zero = true;
      } else {
        break;
      }
    }
    if (*at == u'*') {
      ++at;
      if (!ReadStarArgument(directive.width)) return false;
      if (directive.width < 0) {
        directive.left = true;
        directive.width = directive.width == INT32_MIN ? INT32_MAX : -directive.width;
      }
      if (directive.width > kMaxField) return false;
    } else if (!ParseNumber(at, directive.width)) {
      return false;
    }
    if (*at == u'.') {
      ++at;
      if (*at == u'*') {
        ++at;
        if (!ReadStarArgument(directive.precision)) return false;
        if (directive.precision < 0) directive.precision = -1;
        if (directive.precision > kMaxField) return false;
      } else if (!ParseNumber(at, directive.precision)) {
        return false;
      }
    }
    ParseSize(at, directive);
    directive.conversion = *at;
    if (directive.conversion == u'\0') return false;
    ++at;
    return true;
  }

  // Reads a size prefix (hh h l ll I I32 I64 z j t w L), looking no further
  // than the units it needs.
  static void ParseSize(const char16_t*& at, Directive& directive) {
    switch (*at) {
      case u'h':
        ++at;
        directive.size = Size::kShort;
        if (*at == u'h') {
          ++at;
          directive.size = Size::kChar;
        }
        return;
      case u'l':
        ++at;
        directive.size = Size::kLong;
        if (*at == u'l') {
          ++at;
          directive.size = Size::kLongLong;
        }
        return;
      case u'I':
        ++at;
        directive.size = Size::kLongLong;  // pointer-sized
        if (at[0] == u'6' && at[1] == u'4') {
          at += 2;
        } else if (at[0] == u'3' && at[1] == u'2') {
          at += 2;
          directive.size = Size::kLong;
        }
        return;
      case u'z':
      case u'j':
      case u't':
        ++at;
        directive.size = Size::kLongLong;
        return;
      case u'w':
        ++at;
        directive.size = Size::kWide;
        return;
      case u'L':
        ++at;
        directive.size = Size::kLongDouble;
        return;
      default:
        return;
    }
  }

  bool Convert(const Directive& directive) {
    switch (directive.conversion) {
      case u'%':
        out_.Push(u'%');
        return true;
      case u'd':
      case u'i':
      case u'u':
      case u'o':
      case u'x':
      case u'X':
        return ConvertInteger(directive);
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
        return ConvertReal(directive);
      case u's':
      case u'S':
        return ConvertText(directive);
      case u'c':
      case u'C':
        return ConvertChar(directive);
      case u'p':
        return ConvertPointer(directive);
      default:
        return false;  // %n and anything unknown
    }
  }

  // Wide unless h asks for narrow; S and C are narrow unless l or w asks for wide.
  static bool IsWide(const Directive& directive, bool& wide) {
    switch (directive.size) {
      case Size::kNone:
        wide = directive.conversion == u's' || directive.conversion == u'c';
        return true;
      case Size::kShort:
        wide = false;
        return true;
      case Size::kLong:
      case Size::kWide:
        wide = true;
        return true;
      default:
        return false;
    }
  }

  static int IntegerBits(Size size) {
    switch (size) {
      case Size::kChar:
        return 8;
      case Size::kShort:
        return 16;
      case Size::kNone:
      case Size::kLong:
        return 32;
      case Size::kLongLong:
        return 64;
      default:
        return 0;
    }
  }

  bool ConvertInteger(const Directive& directive) {
    const int bits = IntegerBits(directive.size);
    const XpFormatArg* arg = NextArg();
    uint64_t value = 0;
    if (bits == 0 || arg == nullptr || !ReduceInteger(*arg, bits, value)) return false;

    const bool isSigned = directive.conversion == u'd' || directive.conversion == u'i';
    bool negative = false;
    uint64_t magnitude = value;
    if (isSigned && bits < 64 && (value >> (bits - 1)) != 0) {
      negative = true;
      magnitude = (uint64_t{1} << bits) - value;
    } else if (isSigned && bits == 64 && static_cast<int64_t>(value) < 0) {
      negative = true;
      magnitude = uint64_t{0} - value;
    }

    const bool upper = directive.conversion == u'X';
    const unsigned base = directive.conversion == u'o' ? kOctalBase : (directive.conversion == u'x' || upper ? kHexBase : kDecimalBase);
    char digitBuffer[kIntegerDigits];
    char* const end = digitBuffer + kIntegerDigits;
    const char* begin = end;
    if (directive.precision != 0 || magnitude != 0) begin = WriteDigits(end, magnitude, base, upper);
    const std::string_view digits(begin, static_cast<size_t>(end - begin));
    size_t zeros = 0;
    if (directive.precision > static_cast<int32_t>(digits.size())) {
      zeros = static_cast<size_t>(directive.precision) - digits.size();
    }

    std::string_view prefix;
    if (negative) {
      prefix = "-";
    } else if (isSigned && directive.plus) {
      prefix = "+";
    } else if (isSigned && directive.space) {
      prefix = " ";
    }
    if (directive.alternate && base == kOctalBase && zeros == 0 && (digits.empty() || digits[0] != '0')) zeros = 1;
    if (directive.alternate && base == kHexBase && magnitude != 0) prefix = upper ? "0X" : "0x";

    const bool zeroPad = directive.zero && !directive.left && directive.precision < 0;
    WriteNumber(directive, prefix, zeros, digits, zeroPad);
    return true;
  }

  bool ConvertReal(const Directive& directive) {
    if (directive.size != Size::kNone && directive.size != Size::kLong && directive.size != Size::kLongDouble) return false;
    const XpFormatArg* arg = NextArg();
    if (arg == nullptr || arg->GetKind() != XpFormatArg::Kind::kReal) return false;
    const double value = arg->Real();
    const bool upper = directive.conversion == u'F' || directive.conversion == u'E' || directive.conversion == u'G';

    std::string prefix;
    if (std::signbit(value)) {
      prefix = "-";
    } else if (directive.plus) {
      prefix = "+";
    } else if (directive.space) {
      prefix = " ";
    }

    std::string body;
    if (!std::isfinite(value)) {
      body = std::isnan(value) ? "nan" : "inf";
    } else {
      const int32_t precision = directive.precision < 0 ? kDefaultRealPrecision : directive.precision;
      body = RealDigits(std::fabs(value), directive.conversion, precision, directive.alternate);
    }
    if (upper) ToUpperAscii(body.data(), body.data() + body.size());
    const bool zeroPad = directive.zero && !directive.left && std::isfinite(value);
    WriteNumber(directive, prefix, 0, body, zeroPad);
    return true;
  }

  static std::string ToChars(double value, std::chars_format format, int32_t precision) {
    // Fixed notation of a double has at most 309 integer digits.
    constexpr size_t kRoom = 400;
    std::string text(static_cast<size_t>(precision) + kRoom, '\0');
    auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value, format, precision);
    text.resize(error == std::errc() ? static_cast<size_t>(end - text.data()) : 0);
    return text;
  }

  // Where the digits of a mantissa end: before the exponent, if any.
  static size_t MantissaEnd(const std::string& text) {
    const size_t exponent = text.find('e');
    return exponent == std::string::npos ? text.size() : exponent;
  }

  // The exponent of text in scientific notation ("d.ddde+XX").
  static int Exponent(const std::string& text) {
    const size_t at = MantissaEnd(text) + 1;
    if (at + 1 >= text.size()) return 0;
    int magnitude = 0;
    std::from_chars(text.data() + at + 1, text.data() + text.size(), magnitude);
    return text[at] == '-' ? -magnitude : magnitude;
  }

  static void EnsurePoint(std::string& text) {
    if (text.find('.') != std::string::npos) return;
    text.insert(MantissaEnd(text), ".");
  }

  static void TrimZeros(std::string& text) {
    if (text.find('.') == std::string::npos) return;
    const size_t end = MantissaEnd(text);
    size_t keep = end;
    while (text[keep - 1] == '0') --keep;
    if (text[keep - 1] == '.') --keep;
    text.erase(keep, end - keep);
  }

  // Digits of a finite, non-negative value for f, e or g (either case).
  static std::string RealDigits(double value, char16_t conversion, int32_t precision, bool alternate) {
    std::string text;
    const char16_t lower = conversion | 0x20;
    if (lower == u'f') {
      text = ToChars(value, std::chars_format::fixed, precision);
    } else if (lower == u'e') {
      text = ToChars(value, std::chars_format::scientific, precision);
    } else {
      // %g: scientific when the exponent is below -4 or not below the precision.
      const int32_t significant = precision == 0 ? 1 : precision;
      const std::string scientific = ToChars(value, std::chars_format::scientific, significant - 1);
      const int exponent = Exponent(scientific);
      if (exponent < -4 || exponent >= significant) {
        text = scientific;
      } else {
        text = ToChars(value, std::chars_format::fixed, significant - 1 - exponent);
      }
      if (!alternate) TrimZeros(text);
    }
    if (alternate) EnsurePoint(text);
    return text;
  }

  bool ConvertText(const Directive& directive) {
    bool wide = true;
    const XpFormatArg* arg = NextArg();
    if (!IsWide(directive, wide) || arg == nullptr) return false;
    const auto kind = arg->GetKind();
    const bool isNull = kind == XpFormatArg::Kind::kPointer && arg->Pointer() == nullptr;
    const auto wanted = wide ? XpFormatArg::Kind::kWideText : XpFormatArg::Kind::kNarrowText;
    if (kind != wanted && !isNull) return false;

    std::u16string converted;
    std::u16string_view text = kNullText;
    if (!isNull && arg->HasText()) {
      if (wide) {
        text = arg->WideText();
      } else {
        converted = XpUtf8ToUtf16(arg->NarrowText());
        text = converted;
      }
    }
    if (directive.precision >= 0 && static_cast<size_t>(directive.precision) < text.size()) {
      text = text.substr(0, static_cast<size_t>(directive.precision));
    }
    WritePadded(directive, text);
    return true;
  }

  bool ConvertChar(const Directive& directive) {
    bool wide = true;
    const XpFormatArg* arg = NextArg();
    if (!IsWide(directive, wide) || arg == nullptr) return false;
    const auto kind = arg->GetKind();
    if (kind == (wide ? XpFormatArg::Kind::kNarrowChar : XpFormatArg::Kind::kWideChar)) return false;
    char16_t unit = 0;
    if (wide) {
      uint32_t value = 0;
      if (!ReadUnsigned(*arg, kMaxWideChar, value)) return false;
      unit = static_cast<char16_t>(value);
    } else {
      uint32_t byte = 0;
      if (kind == XpFormatArg::Kind::kNarrowChar) {
        byte = static_cast<unsigned char>(arg->Bits());
      } else if (!ReadUnsigned(*arg, kMaxNarrowChar, byte)) {
        return false;
      }
      unit = byte < 0x80 ? static_cast<char16_t>(byte) : static_cast<char16_t>(kEscapeBase + byte);
    }
    WritePadded(directive, std::u16string_view(&unit, 1));
    return true;
  }

  bool ConvertPointer(const Directive& directive) {
    const XpFormatArg* arg = NextArg();
    if (directive.size != Size::kNone || arg == nullptr || arg->GetKind() != XpFormatArg::Kind::kPointer) return false;
    char digitBuffer[kIntegerDigits];
    char* const end = digitBuffer + kIntegerDigits;
    const char* begin = WriteDigits(end, reinterpret_cast<uintptr_t>(arg->Pointer()), kHexBase, true);
    const std::string_view digits(begin, static_cast<size_t>(end - begin));
    Directive plain = directive;
    plain.zero = false;
    WriteNumber(plain, "", kPointerDigits - digits.size(), digits, false);
    return true;
  }

  // Width padding, prefix, zeros and digits: zeroPad puts the padding
  // between prefix and digits as zeros.
  void WriteNumber(const Directive& directive, std::string_view prefix, size_t zeros, std::string_view digits,
                   bool zeroPad) {
    const size_t length = prefix.size() + zeros + digits.size();
    const size_t padding = static_cast<size_t>(directive.width) > length ? static_cast<size_t>(directive.width) - length : 0;
    if (!directive.left && !zeroPad) out_.AppendRepeated(padding, u' ');
    out_.AppendAscii(prefix);
    if (zeroPad) out_.AppendRepeated(padding, u'0');
    out_.AppendRepeated(zeros, u'0');
    out_.AppendAscii(digits);
    if (directive.left) out_.AppendRepeated(padding, u' ');
  }

  void WritePadded(const Directive& directive, std::u16string_view text) {
    const size_t padding = static_cast<size_t>(directive.width) > text.size() ? static_cast<size_t>(directive.width) - text.size() : 0;
    if (!directive.left) out_.AppendRepeated(padding, directive.zero ? u'0' : u' ');
    out_.Append(text);
    if (directive.left) out_.AppendRepeated(padding, u' ');
  }

  XpFormatBuffer& out_;
  const XpFormatArg* args_;
  size_t count_;
  size_t next_ = 0;
};

}  // namespace

bool XpFormatArg::HasText() const {
  if (kind_ != Kind::kWideText && kind_ != Kind::kNarrowText) return false;
  if (object_) return true;
  return kind_ == Kind::kWideText ? wide_ != nullptr : narrow_ != nullptr;
}

std::u16string_view XpFormatArg::WideText() const {
  if (kind_ != Kind::kWideText) return std::u16string_view();
  if (object_) return string_->View();
  return wide_ != nullptr ? std::u16string_view(wide_, length_) : std::u16string_view();
}

std::string_view XpFormatArg::NarrowText() const {
  if (kind_ != Kind::kNarrowText) return std::string_view();
  if (object_) return stringA_->View();
  return narrow_ != nullptr ? std::string_view(narrow_, length_) : std::string_view();
}

void XpFormatBuffer::Grow(size_t extra) {
  if (extra > std::numeric_limits<size_t>::max() / sizeof(char16_t) / 2 - size_) throw std::bad_alloc();
  const size_t capacity = std::max(capacity_ * 2, size_ + extra);
  auto grown = std::make_unique_for_overwrite<char16_t[]>(capacity);
  std::char_traits<char16_t>::copy(grown.get(), data_, size_);
  heap_ = std::move(grown);
  data_ = heap_.get();
  capacity_ = capacity;
}

[[nodiscard]] XpResult XpFormatTo(XpFormatBuffer& out, const char16_t* format,
                                  const XpFormatArg* args, size_t count) {
  const size_t start = out.Size();
  XpResult result = kXpOk;
  try {
    result = Formatter(out, args, count).Run(format);
  } catch (const std::bad_alloc&) {
    result = kXpErrOutOfMemory;
  } catch (const std::length_error&) {
    result = kXpErrOutOfMemory;
  }
  if (XpFailed(result)) out.Truncate(start);
  return result;
}

[[nodiscard]] XpResult XpFormatTo(std::u16string& out, const char16_t* format,
                                  const XpFormatArg* args, size_t count) {
  XpFormatBuffer buffer;
  const XpResult result = XpFormatTo(buffer, format, args, count);
  if (XpFailed(result)) return result;
  try {
    out.append(buffer.View());
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  } catch (const std::length_error&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}
