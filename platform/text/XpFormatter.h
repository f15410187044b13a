#pragma once

#include <cstddef>
#include <cstdint>
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
// (for %C). Both are also integers, as after C promotion, so "%d" of u'A'
// prints 65.
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
      : kind_(Kind::kWideText), wide_(text), length_(text ? std::char_traits<char16_t>::length(text) : 0) {}
  XpFormatArg(std::u16string_view text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kWideText), wide_(text.data() ? text.data() : u""), length_(text.size()) {}
  XpFormatArg(const XpString& text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kWideText), string_(&text) {}

  XpFormatArg(const char* text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowText), narrow_(text), length_(text ? std::char_traits<char>::length(text) : 0) {}
  XpFormatArg(std::string_view text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowText), narrow_(text.data() ? text.data() : ""), length_(text.size()) {}
  XpFormatArg(const XpStringA& text)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kNarrowText), stringA_(&text) {}

  // nullptr is a null pointer for %p and "(null)" for %s and %S.
  XpFormatArg(std::nullptr_t)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kPointer) {}
  template <typename T, std::enable_if_t<!kXpFormatIsTextUnit<T> && !std::is_function_v<T>, int> = 0>
  XpFormatArg(T* pointer)  // NOLINT(google-explicit-constructor)
      : kind_(Kind::kPointer), pointer_(pointer) {}

  Kind GetKind() const { return kind_; }
  // Integers and characters: the value, as two's complement when signed.
  bool IsSigned() const { return signed_; }
  uint64_t Bits() const { return bits_; }
  double Real() const { return real_; }
  const void* Pointer() const { return pointer_; }
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

  Kind kind_ = Kind::kNone;
  bool signed_ = false;
  uint64_t bits_ = 0;
  double real_ = 0.0;
  const void* pointer_ = nullptr;
  const char16_t* wide_ = nullptr;
  const char* narrow_ = nullptr;
  const XpString* string_ = nullptr;
  const XpStringA* stringA_ = nullptr;
  size_t length_ = 0;
};

// Formats with the Windows wide-printf meanings and appends the text to out:
//   %s wide text, %S and %hs narrow text (UTF-8), %c a UTF-16 unit, %C a
//   narrow character; d i u o x X with h (16-bit), hh (8-bit), none or l
//   (32-bit), ll, I64, I, z, j, t (64-bit); f F e E g G; %p; %%.
//   Flags - + space # 0, width and precision, '*' for either. The 0 flag
//   also pads text with '0'.
// An integral argument is accepted when its value fits the conversion's
// width, signed or unsigned. A missing argument, a mismatched one, %n or an
// unknown conversion returns kXpErrBadArgument; extra arguments are ignored.
// On failure out is left as it was. Nothing here reads the locale.
XpResult XpFormatTo(std::u16string& out, const char16_t* format, const XpFormatArg* args,
                    size_t count);
