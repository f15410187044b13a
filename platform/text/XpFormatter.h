#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/result/XpResult.h"

class XpString;
class XpStringA;

// Pointers to these are text, never a %p argument.
template <typename T>
inline constexpr bool kXpFormatIsTextUnit =
    std::is_same_v<std::remove_cv_t<T>, char16_t> || std::is_same_v<std::remove_cv_t<T>, char>;

// One argument of a printf-style call. It keeps the argument's type so that
// the formatter can check every conversion against it; a mismatch is a
// failure result, never undefined behaviour. Text arguments are held by
// pointer: an XpFormatArg lives no longer than the call it is made for.
//
// Characters: char16_t is a UTF-16 unit (for %c), char a narrow character
// (for %C); neither is taken for the other. Both are also integers, as
// after C promotion, so "%d" of u'A' prints 65, and an integer that fits
// is taken by either.
class XpFormatArg {
 public:
  enum class Kind : uint8_t {
    kNone,        // no argument
    kInteger,     // any integral type, bool and enumerations
    kWideChar,    // char16_t
    kNarrowChar,  // char
    kReal,        // float, double
    kWideText,    // const char16_t*, std::u16string_view, XpString
    kNarrowText,  // const char*, std::string_view, XpStringA
    kPointer,     // any other pointer, and nullptr
  };

  XpFormatArg() = default;

  template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
  XpFormatArg(T value)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kInteger), signed_(std::is_signed_v<T>), bits_(ToBits(value)) {}

  template <typename T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
  XpFormatArg(T value)  // NOLINT(google-explicit-constructor)
      : XpFormatArg(static_cast<std::underlying_type_t<T>>(value)) {}

  XpFormatArg(char16_t ch)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kWideChar), bits_(ch) {}
  XpFormatArg(char ch)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowChar), signed_(std::is_signed_v<char>), bits_(ToBits(ch)) {}

  XpFormatArg(float value)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kReal), real_(value) {}
  XpFormatArg(double value)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kReal), real_(value) {}

  // A null C string prints "(null)".
  XpFormatArg(const char16_t* text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kWideText), length_(text ? std::char_traits<char16_t>::length(text) : 0), wide_(text) {}
  XpFormatArg(std::u16string_view text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kWideText), length_(text.size()), wide_(text.data() ? text.data() : u"") {}
  XpFormatArg(const XpString& text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kWideText), object_(true), string_(&text) {}

  XpFormatArg(const char* text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowText), length_(text ? std::char_traits<char>::length(text) : 0), narrow_(text) {}
  XpFormatArg(std::string_view text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowText), length_(text.size()), narrow_(text.data() ? text.data() : "") {}
  XpFormatArg(const XpStringA& text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowText), object_(true), stringA_(&text) {}

  // nullptr is a null pointer for %p and "(null)" for %s and %S.
  XpFormatArg(std::nullptr_t)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kPointer), pointer_(nullptr) {}
  template <typename T, std::enable_if_t<!kXpFormatIsTextUnit<T> && !std::is_function_v<T>, int> = 0>
  XpFormatArg(T* pointer)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kPointer), pointer_(pointer) {}

  Kind GetKind() const { return kind_; }
  // Integers and characters: the value, as two's complement when signed.
  bool IsSigned() const { return signed_; }
  uint64_t Bits() const { return IsIntegral() ? bits_ : 0; }
  double Real() const { return kind_ == Kind::kReal ? real_ : 0.0; }
  const void* Pointer() const { return kind_ == Kind::kPointer ? pointer_ : nullptr; }
  // Text arguments: false for a null C string or nullptr.
  bool HasText() const;
  std::u16string_view WideText() const;
  std::string_view NarrowText() const;

 private:
  template <typename T>
  static constexpr uint64_t ToBits(T value) {
    if constexpr (std::is_signed_v<T>) {
      return static_cast<uint64_t>(static_cast<int64_t>(value));
    } else {
      return static_cast<uint64_t>(value);
    }
  }

  bool IsIntegral() const {
    return kind_ == Kind::kInteger || kind_ == Kind::kWideChar || kind_ == Kind::kNarrowChar;
  }

  Kind kind_ = Kind::kNone;
  bool signed_ = false;
  bool object_ = false;  // text held as an XpString or XpStringA
  size_t length_ = 0;    // of wide_ or narrow_
  // The one member that kind_ and object_ name.
  union {
    uint64_t bits_ = 0;
    double real_;
    const void* pointer_;
    const char16_t* wide_;
    const char* narrow_;
    const XpString* string_;
    const XpStringA* stringA_;
  };
};

// Room for a formatted text: a short text stays inside the object, a longer
// one moves to the heap. Growing may throw std::bad_alloc.
class XpFormatBuffer {
 public:
  XpFormatBuffer() = default;
  XpFormatBuffer(const XpFormatBuffer&) = delete;
  XpFormatBuffer& operator=(const XpFormatBuffer&) = delete;

  size_t Size() const { return size_; }
  std::u16string_view View() const { return std::u16string_view(data_, size_); }
  void Truncate(size_t size) {
    if (size < size_) size_ = size;
  }

  void Push(char16_t unit) {
    if (size_ == capacity_) Grow(1);
    data_[size_++] = unit;
  }
  void Append(const char16_t* text, size_t count) {
    if (count > capacity_ - size_) Grow(count);
    std::char_traits<char16_t>::copy(data_ + size_, text, count);
    size_ += count;
  }
  void Append(std::u16string_view text) { Append(text.data(), text.size()); }
  void AppendRepeated(size_t count, char16_t unit) {
    if (count > capacity_ - size_) Grow(count);
    std::char_traits<char16_t>::assign(data_ + size_, count, unit);
    size_ += count;
  }
  // ASCII text, one unit per byte.
  void AppendAscii(std::string_view text) {
    if (text.size() > capacity_ - size_) Grow(text.size());
    for (const char ch : text) data_[size_++] = static_cast<char16_t>(ch);
  }

 private:
  static constexpr size_t kInlineUnits = 256;

  void Grow(size_t extra);

  char16_t inline_[kInlineUnits];
  std::unique_ptr<char16_t[]> heap_;
  char16_t* data_ = inline_;
  size_t size_ = 0;
  size_t capacity_ = kInlineUnits;
};

// Formats with the Windows wide-printf meanings and appends the text to out:
//   %s wide text, %S and %hs narrow text (UTF-8), %c a UTF-16 unit, %C a
//   narrow character (a char for %c or a char16_t for %C is a mismatch);
//   d i u o x X with h (16-bit), hh (8-bit), none or l
//   (32-bit), ll, I64, I, z, j, t (64-bit); f F e E g G; %p; %%.
//   Flags - + space # 0, width and precision, '*' for either. The 0 flag
//   also pads text with '0'.
// An integral argument is accepted when its value fits the conversion's
// width, signed or unsigned. A missing argument, a mismatched one, %n or an
// unknown conversion returns kXpErrBadArgument; extra arguments are ignored.
// On failure out is left as it was. Nothing here reads the locale. One pass
// over the format: the time grows linearly with its length.
[[nodiscard]] XpResult XpFormatTo(std::u16string& out, const char16_t* format,
                                  const XpFormatArg* args, size_t count);
[[nodiscard]] XpResult XpFormatTo(XpFormatBuffer& out, const char16_t* format,
                                  const XpFormatArg* args, size_t count);
