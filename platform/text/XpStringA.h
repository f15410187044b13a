#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct XpStringRepA;
class XpString;

// The 8-bit twin of XpString, holding UTF-8 (the "ANSI code page" of this
// system). Lengths and capacities count bytes.
class XpStringA {
 public:
  XpStringA();
  XpStringA(const char* text);  // NOLINT(google-explicit-constructor): null reads as ""
  XpStringA(const char* text, int32_t length);
  explicit XpStringA(std::string_view text);
  XpStringA(const XpStringA& other);
  XpStringA(XpStringA&& other) noexcept;
  ~XpStringA();

  XpStringA& operator=(const XpStringA& other);
  XpStringA& operator=(XpStringA&& other) noexcept;
  XpStringA& operator=(const char* text);
  XpStringA& operator+=(const char* text);
  XpStringA& operator+=(const XpStringA& text);

  // Never null: a released handle reads as "".
  const char* CStr() const;
  const char* CharPtr(int32_t index) const;
  int32_t GetLength() const;
  bool IsEmpty() const;
  std::string_view View() const;
  // A copy of all the bytes.
  std::string ToStdString() const;

  // Ordinal byte comparison.
  int Compare(const char* text) const;

  // Counts bytes; may cut a UTF-8 sequence.
  XpStringA Left(int32_t count) const;

  // Undecodable bytes become surrogate escapes U+DC80..U+DCFF.
  XpString ToWide() const;
  void ToWideInto(XpString& target) const;

  const void* RepForTest() const { return rep_; }
  int32_t CapacityForTest() const;

 private:
  void Refresh();

  const char* chars_ = nullptr;
  XpStringRepA* rep_ = nullptr;
};

bool operator==(const XpStringA& a, const char* b);
bool operator==(const char* a, const XpStringA& b);
bool operator==(const XpStringA& a, const XpStringA& b);
bool operator!=(const XpStringA& a, const char* b);
bool operator!=(const XpStringA& a, const XpStringA& b);
bool operator<(const XpStringA& a, const XpStringA& b);

template <>
struct std::hash<XpStringA> {
  size_t operator()(const XpStringA& text) const noexcept { return std::hash<std::string_view>()(text.View()); }
};
