#include "camerastore/dcf/XpDCFRootDir.h"

#include <new>
#include <utility>

#include "camerastore/dcf/XpDCFNames.h"
#include "platform/path/XpPath.h"

XpDCFRootDir::XpDCFRootDir(XpSharedPtr<XpAbstractFSObj> entry)
    : XpDCFWrappedDir(std::move(entry)) {}

XpDCFRootDir::~XpDCFRootDir() = default;

XpResult XpDCFRootDir::ScanFolders() {
  folderCounts_.fill(0);
  folders_.clear();
  cursor_ = 0;
  const XpResult result = BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  XpResult scanResult = kXpOk;
  for (XpSharedPtr<XpAbstractFSObj> entry = GetNext(); entry; entry = GetNext()) {
    const XpString name = XpPathGetLeafName(entry->GetPath());
    if (!entry->IsDirectory() || !XpDCFIsDirectoryName(name)) {
      continue;
    }
    XpSharedPtr<XpDCFDir> folder(new (std::nothrow) XpDCFDir(entry));
    if (!folder) {
      scanResult = kXpErrOutOfMemory;
      break;
    }
    folders_.push_back(folder);
    const int32_t number = XpDCFGetDirectoryNumber(name);
    if (IsFolderNumber(number)) {
      ++folderCounts_[static_cast<size_t>(number)];
    }
  }
  (void)EndEnum();  // it ran: nothing to report
  return scanResult;
}

int32_t XpDCFRootDir::NextFolderNumber() const {
  for (int32_t number = kFolderNumberCount - 1; number >= kFirstNewFolderNumber; --number) {
    if (folderCounts_[static_cast<size_t>(number)] != 0) {
      return number + 1;
    }
  }
  return kFirstNewFolderNumber;
}

XpSharedPtr<XpDCFDir> XpDCFRootDir::NextFlaggedFolder() {
  while (cursor_ < folders_.size()) {
    const XpSharedPtr<XpDCFDir>& folder = folders_[cursor_++];
    const int32_t number = XpDCFGetDirectoryNumber(XpPathGetLeafName(folder->GetPath()));
    if (IsFolderNumber(number) && folderCounts_[static_cast<size_t>(number)] == 1) {
      return folder;
    }
  }
  return XpSharedPtr<XpDCFDir>();
}

int32_t XpDCFRootDir::GetFolderNumberCount(int32_t number) const {
  return IsFolderNumber(number) ? folderCounts_[static_cast<size_t>(number)] : 0;
}
