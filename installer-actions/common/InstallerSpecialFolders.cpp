#include "installer-actions/common/InstallerSpecialFolders.h"

#include "platform/shell/XpSpecialFolder.h"

namespace {

struct FolderRow {
  int32_t csidl;
  int32_t kind;
};

constexpr FolderRow kFolders[] = {
    {kCsidlPersonal, kXpFolderDocuments},
    {kCsidlMyMusic, kXpFolderMusic},
    {kCsidlMyVideo, kXpFolderVideos},
    {kCsidlMyPictures, kXpFolderPictures},
    {kCsidlDesktopDirectory, kXpFolderDesktop},
    // Linux has no desktop shared by every user.
    {kCsidlCommonDesktopDirectory, kXpFolderDesktop},
    {kCsidlCommonDocuments, kXpFolderSharedDocuments},
    {kCsidlCommonMusic, kXpFolderSharedMusic},
    {kCsidlCommonPictures, kXpFolderSharedPictures},
    {kCsidlCommonVideo, kXpFolderSharedVideos},
    {kCsidlProfile, kXpFolderProfile},
    {kCsidlCommonAppData, kXpFolderCommonAppData},
    {kCsidlProgramFiles, kXpFolderProgramFiles},
    {kCsidlCommonPrograms, kXpFolderCommonPrograms},
};

constexpr int32_t kNoKind = -1;

}  // namespace

int32_t InstallerSpecialFolderKind(int32_t csidl) {
  for (const FolderRow& row : kFolders) {
    if (row.csidl == csidl) return row.kind;
  }
  return kNoKind;
}

XpString InstallerGetSpecialFolder(int32_t csidl, bool create) {
  const int32_t kind = InstallerSpecialFolderKind(csidl);
  if (kind == kNoKind) return XpString();
  return XpGetSpecialFolder(kind, create);
}
