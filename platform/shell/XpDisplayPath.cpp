#include "platform/shell/XpDisplayPath.h"

#include <string_view>

#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"

XpString XpDisplayPathTable::ToDisplayPath(const XpString& path) {
  std::call_once(filled_, [this] { Fill(); });
  const std::u16string_view text = path.View();
  for (const Entry& entry : entries_) {
    const std::u16string_view folder = entry.folder.View();
    if (folder.empty() || text.substr(0, folder.size()) != folder) continue;
    const std::u16string_view rest = text.substr(folder.size());
    if (!rest.empty() && rest.front() != kXpPathSeparator) continue;
    return entry.displayName + XpString(rest);
  }
  return path;
}

void XpDisplayPathTable::Fill() {
  for (size_t i = 0; i < kEntryCount; ++i) {
    const int32_t kind = kXpFolderPictures + static_cast<int32_t>(i);
    XpString folder = XpGetSpecialFolder(kind, false);
    XpPathRemoveTrailingBackslash(folder);
    entries_[i].folder = folder;
    entries_[i].displayName = XpGetSpecialFolderDisplayName(kind);
  }
}

XpString XpPathToDisplayPath(const XpString& path) {
  // Never destroyed, so that a late caller during exit still finds it.
  static XpDisplayPathTable* const table = new XpDisplayPathTable;
  return table->ToDisplayPath(path);
}
