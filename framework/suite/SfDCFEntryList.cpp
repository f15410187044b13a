#include "framework/suite/SfDCFEntryList.h"

#include <algorithm>

#include "platform/fs/XpAbstractDir.h"

namespace {

bool ComesFirst(const XpString& a, const XpString& b) {
  const int folded = a.CompareNoCase(b.CStr());
  return folded != 0 ? folded < 0 : a.Compare(b.CStr()) < 0;
}

}  // namespace

[[nodiscard]] XpResult SfDCFListEntries(XpAbstractDir& dir, XpStringVector* paths) {
  const XpResult begun = dir.BeginEnum(kXpEnumAll, XpString());
  if (begun != kXpOk) return begun;
  XpStringVector found;
  for (XpSharedPtr<XpAbstractFSObj> entry = dir.GetNext(); entry; entry = dir.GetNext()) {
    found.push_back(entry->GetPath());
  }
  const XpResult ended = dir.EndEnum();
  std::sort(found.begin(), found.end(), ComesFirst);
  if (paths != nullptr) paths->insert(paths->end(), found.begin(), found.end());
  return ended;
}
