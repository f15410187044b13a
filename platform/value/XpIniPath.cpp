#include "platform/value/XpIniPath.h"

#include <limits>

namespace {

constexpr char16_t kSeparator = u'/';

bool IsBlank(char16_t ch) {
  return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\v' || ch == u'\f' || ch == u'\r';
}

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

}  // namespace

XpIniPathParts XpIniSplitPath(std::u16string_view path) {
  const size_t slash = path.find(kSeparator);
  if (slash == std::u16string_view::npos) {
    return {path, {}, false};
  }
  return {path.substr(0, slash), path.substr(slash + 1), true};
}

int32_t XpIniParseIndex(std::u16string_view text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
    negative = text[at] == u'-';
    ++at;
  }
  // Accumulated as a magnitude and capped just past the int32 range.
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - u'0');
    if (magnitude > kCap) {
      magnitude = kCap;
    }
  }
  if (negative) {
    return static_cast<int32_t>(-magnitude);
  }
  return static_cast<int32_t>(magnitude == kCap ? kCap - 1 : magnitude);
}
