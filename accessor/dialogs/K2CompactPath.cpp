#include "accessor/dialogs/K2CompactPath.h"

#include <string>
#include <string_view>

namespace {

constexpr std::u16string_view kEllipsis = u"...";
constexpr char16_t kSeparator = u'/';

// The end of the first component: the first separator after its start.
size_t FirstComponentEnd(std::u16string_view path) {
  const size_t start = (!path.empty() && path[0] == kSeparator) ? 1 : 0;
  return path.find(kSeparator, start);
}

XpString LeafEnd(std::u16string_view path, int32_t maxUnits) {
  const size_t lastSeparator = path.rfind(kSeparator);
  std::u16string_view leaf =
      lastSeparator == std::u16string_view::npos ? path : path.substr(lastSeparator + 1);
  const size_t room = maxUnits > static_cast<int32_t>(kEllipsis.size())
                          ? static_cast<size_t>(maxUnits) - kEllipsis.size()
                          : 0;
  if (leaf.size() > room) {
    leaf = leaf.substr(leaf.size() - room);
  }
  std::u16string result(kEllipsis);
  result += leaf;
  return XpString(std::u16string_view(result).substr(0, static_cast<size_t>(
                                                             maxUnits < 0 ? 0 : maxUnits)));
}

}  // namespace

XpString K2CompactPath(const XpString& path, int32_t maxUnits) {
  const std::u16string_view text = path.View();
  if (static_cast<int64_t>(text.size()) <= maxUnits) {
    return path;
  }
  const size_t firstEnd = FirstComponentEnd(text);
  const size_t lastSeparator = text.rfind(kSeparator);
  if (firstEnd == std::u16string_view::npos || lastSeparator <= firstEnd) {
    return LeafEnd(text, maxUnits);
  }
  const std::u16string_view head = text.substr(0, firstEnd + 1);
  // Each tail starts at a separator after the first component; the longest
  // one that fits wins.
  size_t tailStart = text.find(kSeparator, firstEnd + 1);
  while (tailStart != std::u16string_view::npos) {
    const std::u16string_view tail = text.substr(tailStart);
    if (static_cast<int64_t>(head.size() + kEllipsis.size() + tail.size()) <= maxUnits) {
      std::u16string result(head);
      result += kEllipsis;
      result += tail;
      return XpString(std::u16string_view(result));
    }
    tailStart = text.find(kSeparator, tailStart + 1);
  }
  return LeafEnd(text, maxUnits);
}
