#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpFormatter.h"

struct XpStringRep;
class XpStringA;

// The system's string: UTF-16 text in a shared, reference-counted
// representation that is copied only before a change (copy on write).
class XpString {
 public:
  XpString();
  XpString(const char16_t* text);  // NOLINT(google-explicit-constructor): null reads as ""
  XpString(const char16_t* text, int32_t length);
  explicit XpString(std::u16string_view text);
  XpString(const XpString& other);
  XpString(XpString&& other) noexcept;
  ~XpString();

  XpString& operator=(const XpString& other);
  XpString& operator=(XpString&& other) noexcept;
  XpString& operator=(const char16_t* text);
  void Clone(XpString& target) const;

  XpString& operator+=(const char16_t* text);
  XpString& operator+=(const XpString& text);
  XpString& operator+=(char16_t ch);

  // Never null: a released handle reads as "".
  const char16_t* CStr() const;
  const char16_t* CharPtr(int32_t index) const;
  int32_t GetLength() const;
  bool IsEmpty() const;
  std::u16string_view View() const;

  int32_t Find(char16_t ch, int32_t start = 0) const;
  int32_t ReverseFind(char16_t ch) const;

  // Ordinal comparison by UTF-16 code unit.
  int Compare(const char16_t* text) const;
  // Folds each UTF-16 unit to lower case in the C.UTF-8 locale.
  int CompareNoCase(const char16_t* text) const;

  XpString Left(int32_t count) const;
  XpString Right(int32_t count) const;
  XpString Mid(int32_t start, int32_t count) const;
  XpString Mid(int32_t start) const;

  // printf-style formatting with the Windows wide-printf meanings; returns
  // kXpErrBadArgument and leaves the string unchanged on a bad format or a
  // mismatched argument.
  template <typename... Args>
  [[nodiscard]] XpResult Format(const char16_t* format, const Args&... args);
  template <typename... Args>
  [[nodiscard]] XpResult AppendFormat(const char16_t* format, const Args&... args);

  // Replaces every non-overlapping occurrence; returns the count.
  int32_t Replace(const char16_t* search, const char16_t* replacement);

  // UTF-8, with surrogate escapes turned back into their bytes.
  XpStringA ToMultiByte() const;
  // From UTF-8; undecodable bytes become surrogate escapes U+DC80..U+DCFF.
  static XpString FromUtf8(std::string_view bytes);

  // For tests: the shared representation and its capacity.
  const void* RepForTest() const { return rep_; }
  int32_t CapacityForTest() const;

 private:
  friend XpString operator+(const XpString& a, const XpString& b);
  friend XpString operator+(const XpString& a, const char16_t* b);
  friend XpString operator+(const char16_t* a, const XpString& b);

  static XpString Join(std::u16string_view a, std::u16string_view b);
  void Refresh();
  [[nodiscard]] XpResult AssignFormatted(const char16_t* format, const XpFormatArg* args,
                                         size_t count, bool append);

  const char16_t* chars_ = nullptr;
  XpStringRep* rep_ = nullptr;
};

bool operator==(const XpString& a, const XpString& b);
bool operator==(const XpString& a, const char16_t* b);
bool operator==(const char16_t* a, const XpString& b);
bool operator!=(const XpString& a, const XpString& b);
bool operator!=(const XpString& a, const char16_t* b);
bool operator!=(const char16_t* a, const XpString& b);
bool operator<(const XpString& a, const XpString& b);

XpString operator+(const XpString& a, const XpString& b);
XpString operator+(const XpString& a, const char16_t* b);
XpString operator+(const char16_t* a, const XpString& b);

using XpStringVector = std::vector<XpString>;

template <typename... Args>
XpResult XpString::Format(const char16_t* format, const Args&... args) {
  const XpFormatArg packed[] = {XpFormatArg(args)..., XpFormatArg()};
  return AssignFormatted(format, packed, sizeof...(Args), false);
}

template <typename... Args>
XpResult XpString::AppendFormat(const char16_t* format, const Args&... args) {
  const XpFormatArg packed[] = {XpFormatArg(args)..., XpFormatArg()};
  return AssignFormatted(format, packed, sizeof...(Args), true);
}

template <>
struct std::hash<XpString> {
  size_t operator()(const XpString& text) const noexcept {
    return std::hash<std::u16string_view>()(text.View());
  }
};

#include "platform/text/XpStringA.h"
