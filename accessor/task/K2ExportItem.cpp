#include "accessor/task/K2ExportItem.h"

#include "platform/path/XpPath.h"
#include "platform/shell/XpCompareNamesLogical.h"

namespace {

const XpString& FirstName(const K2ExportItem& item) {
  static const XpString kNone;
  return item.fileNames.empty() ? kNone : item.fileNames.front();
}

}  // namespace

XpString K2ExportItem::FirstSourcePath() const {
  if (fileNames.empty()) {
    return XpString();
  }
  return XpPathJoin(sourceFolder, fileNames.front());
}

bool K2ExportItemLess(const K2ExportItem& a, const K2ExportItem& b) {
  const int folders = XpCompareNamesLogical(a.sourceFolder, b.sourceFolder);
  if (folders != 0) {
    return folders < 0;
  }
  if (a.shootingDate != b.shootingDate) {
    return a.shootingDate < b.shootingDate;
  }
  return XpCompareNamesLogical(FirstName(a), FirstName(b)) < 0;
}
