#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>

#include "platform/text/XpString.h"

// The initial value of a new element of the value tree: a Bool takes
// "number != 0", an Int takes the number, a String takes the text (null is
// the empty string); the other types start empty and ignore it. A value holds
// text by pointer and lives no longer than the call it is made for.
class XpIniValue {
 public:
  XpIniValue() = default;
  XpIniValue(bool value) : number_(value ? 1 : 0) {}  // NOLINT(google-explicit-constructor)
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  XpIniValue(T value)  // NOLINT(google-explicit-constructor)
      : number_(static_cast<int64_t>(value)) {}
  XpIniValue(const char16_t* text) : text_(text) {}  // NOLINT(google-explicit-constructor)
  XpIniValue(const XpString& text) : text_(text.CStr()) {}  // NOLINT(google-explicit-constructor)
  XpIniValue(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
  // A Real always starts at 0.0: a real value here would be lost.
  template <std::floating_point T>
  XpIniValue(T) = delete;

  int64_t GetNumber() const { return number_; }
  // Null when no text was given.
  const char16_t* GetText() const { return text_; }

 private:
  int64_t number_ = 0;
  const char16_t* text_ = nullptr;
};
