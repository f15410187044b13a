#include "framework/strings/XfMessageFormatter.h"

#include <string_view>
#include <utility>

namespace {

constexpr char16_t kInsertMark = u'%';
constexpr char16_t kConversionMark = u'!';
constexpr std::u16string_view kDefaultConversion = u"s";
constexpr std::u16string_view kLiteralAfterMark = u"%.! ";
constexpr char16_t kLineBreakCode = u'n';
constexpr char16_t kEndCode = u'0';
constexpr size_t kMaxInsertDigits = 2;
constexpr size_t kDecimalBase = 10;

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

class MessageFormatter {
 public:
  MessageFormatter(std::u16string_view pattern, XfFormatArgs args) : pattern_(pattern), args_(args) {}

  XpResult Run(std::u16string* out) {
    while (pos_ < pattern_.size()) {
      const char16_t ch = pattern_[pos_++];
      if (ch == kInsertMark) {
        bool ended = false;
        const XpResult result = Escape(&ended);
        if (result != kXpOk) {
          return result;
        }
        if (ended) {
          break;
        }
      } else {
        text_ += ch;
      }
      if (text_.size() > kXfMaxFormattedLength) {
        return kXpErrBufferTooSmall;
      }
    }
    *out = std::move(text_);
    return kXpOk;
  }

 private:
  // The sequence after a '%'; *ended is set by "%0".
  XpResult Escape(bool* ended) {
    if (pos_ >= pattern_.size()) {
      return kXpErrBadArgument;
    }
    const char16_t code = pattern_[pos_++];
    if (code == kEndCode) {
      *ended = true;
      return kXpOk;
    }
    if (IsDigit(code)) {
      return Insert(static_cast<size_t>(code - u'0'));
    }
    if (code == kLineBreakCode) {
      text_ += u'\n';
      return kXpOk;
    }
    if (kLiteralAfterMark.find(code) != std::u16string_view::npos) {
      text_ += code;
      return kXpOk;
    }
    return kXpErrBadArgument;
  }

  // An insert whose first digit was number.
  XpResult Insert(size_t number) {
    for (size_t digits = 1; digits < kMaxInsertDigits && pos_ < pattern_.size() && IsDigit(pattern_[pos_]);
         ++digits) {
      number = number * kDecimalBase + static_cast<size_t>(pattern_[pos_++] - u'0');
    }
    if (number > args_.size()) {
      return kXpErrBadArgument;
    }
    std::u16string_view conversion = kDefaultConversion;
    if (pos_ < pattern_.size() && pattern_[pos_] == kConversionMark) {
      const size_t close = pattern_.find(kConversionMark, pos_ + 1);
      if (close == std::u16string_view::npos) {
        return kXpErrBadArgument;
      }
      conversion = pattern_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
    }
    if (conversion.empty() || conversion.find(kInsertMark) != std::u16string_view::npos) {
      return kXpErrBadArgument;
    }
    std::u16string format(1, kInsertMark);
    format += conversion;
    const XfFormatArgs rest = args_.subspan(number - 1);
    return XpFormatTo(text_, format.c_str(), rest.data(), rest.size());
  }

  std::u16string_view pattern_;
  XfFormatArgs args_;
  size_t pos_ = 0;
  std::u16string text_;
};

}  // namespace

[[nodiscard]] XpResult XfFormatMessageTo(const char16_t* pattern, XfFormatArgs args,
                                         std::u16string* out) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  MessageFormatter formatter(pattern != nullptr ? pattern : u"", args);
  return formatter.Run(out);
}

[[nodiscard]] XpResult XfFormatPrintfTo(const char16_t* format, XfFormatArgs args,
                                        std::u16string* out) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  std::u16string text;
  const XpResult result = XpFormatTo(text, format != nullptr ? format : u"", args.data(), args.size());
  if (result != kXpOk) {
    return result;
  }
  if (text.size() > kXfMaxFormattedLength) {
    text.resize(kXfMaxFormattedLength);
  }
  *out = std::move(text);
  return kXpOk;
}
