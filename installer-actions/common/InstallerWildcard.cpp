#include "installer-actions/common/InstallerWildcard.h"

namespace {

constexpr std::u16string_view kEveryName = u"*.*";

}  // namespace

bool InstallerMatchesPattern(std::u16string_view name, std::u16string_view pattern) {
  if (pattern == kEveryName) return true;
  // Greedy matching with one backtrack point: the last '*' seen.
  size_t n = 0;
  size_t p = 0;
  size_t starAt = std::u16string_view::npos;
  size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      resumeAt = n;
    } else if (starAt != std::u16string_view::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}
