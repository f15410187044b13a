#include "accessor/task/K2DCFAllocation.h"

#include <vector>

#include "camerastore/dcf/XpDCFNames.h"
#include "camerastore/dcf/XpDCFRootDir.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatKind.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kFolderSuffix = u"ZXDCF";
constexpr const char16_t* kJpegPrefix = u"QMVS";
constexpr const char16_t* kMoviePrefix = u"QMVM";
constexpr const char16_t* kOtherPrefix = u"DSC0";

XpSharedPtr<XpAbstractFSObj> DirEntry(const XpString& path) {
  return XpSharedPtr<XpAbstractFSObj>(new XpDir(path));
}

int64_t CountEntries(const XpString& folderPath) {
  XpDir folder(folderPath);
  return folder.CountChildren(false);
}

bool IsCreated(XpResult result) { return result == kXpOk || result == kXpErrAlreadyExists; }

int32_t FolderNumberOfPath(const XpString& path) {
  return XpDCFGetDirectoryNumber(XpPathGetLeafName(XpPathGetDirectory(path)));
}

}  // namespace

K2DCFAllocation::K2DCFAllocation(const XpString& dcfRoot) : dcfRoot_(dcfRoot) {}

XpString K2DCFAllocation::NewFolderPath(int32_t folderNumber) const {
  XpString name;
  if (name.Format(u"%03d%s", folderNumber, kFolderSuffix) != kXpOk) {
    return XpString();
  }
  return XpPathJoin(dcfRoot_, name);
}

int32_t K2DCFAllocation::HighestFileNumber(XpDCFDir& folder) {
  const XpResult scanned = folder.ScanFiles();
  if (scanned == kXpErrFileNotFound) {
    return 0;
  }
  if (scanned != kXpOk) {
    return -1;
  }
  int32_t highest = 0;
  for (const XpSharedPtr<XpAbstractFSObj>& file : folder.GetFiles()) {
    const int32_t number = K2GetDCFFileNumber(*file);
    if (number > highest) {
      highest = number;
    }
    if (highest >= kMaxFileNumber) {
      break;
    }
  }
  folder.ClearFiles();
  return highest;
}

XpString K2DCFAllocation::FindWritableFolder(int32_t* folderNumber, int32_t* fileNumber) {
  XpDCFRootDir root(DirEntry(dcfRoot_));
  if (root.ScanFolders() != kXpOk) {
    return XpString();
  }
  XpSharedPtr<XpDCFDir> highestFolder;
  for (XpSharedPtr<XpDCFDir> folder = root.NextFlaggedFolder(); folder;
       folder = root.NextFlaggedFolder()) {
    if (!highestFolder || folder->GetFolderNumber() > highestFolder->GetFolderNumber()) {
      highestFolder = folder;
    }
  }
  const int32_t next = root.NextFolderNumber();
  if (highestFolder) {
    const int32_t number = highestFolder->GetFolderNumber();
    const int64_t entries = CountEntries(highestFolder->GetPath());
    const int32_t highest = HighestFileNumber(*highestFolder);
    if (entries < kFolderEntryLimit) {
      if (highest == 0 && number >= kFirstSearchedFolder && number < kFolderNumberEnd) {
        *folderNumber = number;
        *fileNumber = 1;
        return highestFolder->GetPath();
      }
      if (highest >= 1 && highest < kMaxFileNumber) {
        *folderNumber = number;
        *fileNumber = highest + 1;
        return highestFolder->GetPath();
      }
    }
    if (number >= kFolderNumberEnd - 1) {
      return XpString();
    }
  }
  if (next >= kFolderNumberEnd) {
    return XpString();
  }
  *folderNumber = next;
  *fileNumber = 1;
  return NewFolderPath(next);
}

XpResult K2DCFAllocation::FindDCFFolder(K2ExportItemVector& items, XpStringVector* destinations) {
  int32_t folderNumber = 0;
  int32_t fileNumber = 0;
  const XpString folderPath = FindWritableFolder(&folderNumber, &fileNumber);
  if (folderPath.IsEmpty()) {
    // The folder numbers are used up: every item goes through the search.
    return CreateDCFFolder(XpString(), kFolderNumberEnd, 0, items, destinations);
  }
  if (!IsCreated(XpCreateDirectoryTree(folderPath))) {
    return kXpErrCreateDirFailed;
  }
  return CreateDCFFolder(folderPath, folderNumber, fileNumber, items, destinations);
}

XpResult K2DCFAllocation::CreateDCFFolder(XpString folderPath, int32_t folderNumber,
                                          int32_t fileNumber, K2ExportItemVector& items,
                                          XpStringVector* destinations) {
  int64_t entries = folderPath.IsEmpty() ? 0 : CountEntries(folderPath);
  for (size_t index = 0; index < items.size(); ++index) {
    K2ExportItem& item = items[index];
    const XpString source = item.FirstSourcePath();
    XpString destination;
    if (folderNumber < kFolderNumberEnd && entries < kFolderEntryLimit &&
        fileNumber <= kMaxFileNumber) {
      destination = MakeDCFFileName(source, folderPath, fileNumber);
      ++fileNumber;
      ++entries;
    } else if (folderNumber + 1 < kFolderNumberEnd) {
      ++folderNumber;
      folderPath = NewFolderPath(folderNumber);
      if (folderPath.IsEmpty() || !IsCreated(XpCreateDirectoryTree(folderPath))) {
        return kXpErrCreateDirFailed;
      }
      destination = MakeDCFFileName(source, folderPath, 1);
      fileNumber = 2;
      entries = 1;
    } else {
      folderNumber = kFolderNumberEnd;
      int32_t foundFolder = 0;
      int32_t foundFile = 0;
      const XpString found = MakeDestinationPath(&foundFolder, &foundFile, items, index);
      if (found.IsEmpty()) {
        return kXpErrSystem;
      }
      destination = MakeDCFFileName(source, found, foundFile);
    }
    item.destination = destination;
    destinations->push_back(destination);
  }
  return kXpOk;
}

int32_t K2DCFAllocation::FreeFileNumber(const XpString& folderPath, int32_t folderNumber,
                                        const K2ExportItemVector& items, size_t current) const {
  XpDCFDir folder(DirEntry(folderPath));
  if (folder.ScanFiles() != kXpOk) {
    return 0;
  }
  std::vector<bool> used(kMaxFileNumber + 1, false);
  int64_t objects = 0;
  int32_t previous = kXpDCFNoNumber;
  for (const XpSharedPtr<XpAbstractFSObj>& file : folder.GetFiles()) {
    const int32_t number = K2GetDCFFileNumber(*file);
    if (number != previous) {
      ++objects;
      previous = number;
    }
    if (number >= 1 && number <= kMaxFileNumber) {
      used[static_cast<size_t>(number)] = true;
    }
  }
  if (objects >= kFolderEntryLimit) {
    return 0;
  }
  for (size_t index = 0; index < current && index < items.size(); ++index) {
    const XpString& taken = items[index].destination;
    if (taken.IsEmpty() || FolderNumberOfPath(taken) != folderNumber) {
      continue;
    }
    const int32_t number = XpDCFGetFileNumber(XpPathGetBaseName(taken));
    if (number >= 1 && number <= kMaxFileNumber) {
      used[static_cast<size_t>(number)] = true;
    }
  }
  for (int32_t number = 1; number <= kMaxFileNumber; ++number) {
    if (!used[static_cast<size_t>(number)]) {
      return number;
    }
  }
  return 0;
}

XpString K2DCFAllocation::MakeDestinationPath(int32_t* folderNumber, int32_t* fileNumber,
                                              const K2ExportItemVector& items, size_t current) {
  *folderNumber = 0;
  *fileNumber = 0;
  for (int32_t number = kFirstSearchedFolder; number < kFolderNumberEnd; ++number) {
    const XpString path = NextDCFFolderName(number);
    if (path.IsEmpty()) {
      return XpString();
    }
    if (!XpDirectoryExists(path)) {
      if (!IsCreated(XpCreateDirectoryTree(path))) {
        return XpString();
      }
      *folderNumber = number;
      *fileNumber = 1;
      return path;
    }
    const int32_t free = FreeFileNumber(path, number, items, current);
    if (free != 0) {
      *folderNumber = number;
      *fileNumber = free;
      return path;
    }
  }
  return XpString();
}

XpString K2DCFAllocation::NextDCFFolderName(int32_t folderNumber) {
  XpDCFRootDir root(DirEntry(dcfRoot_));
  if (root.ScanFolders() != kXpOk) {
    return XpString();
  }
  XpString found;
  for (XpSharedPtr<XpDCFDir> folder = root.NextFlaggedFolder(); folder;
       folder = root.NextFlaggedFolder()) {
    if (folder->GetFolderNumber() == folderNumber) {
      found = folder->GetPath();
    }
  }
  if (!found.IsEmpty()) {
    return found;
  }
  return NewFolderPath(folderNumber);
}

XpString K2DCFAllocation::MakeDCFFileName(const XpString& sourcePath, const XpString& folderPath,
                                          int32_t fileNumber) {
  XpString prefix = kOtherPrefix;
  XpString extension = XpPathGetExtension(sourcePath);
  if (XpFormatChecker::IsJpegExtension(sourcePath)) {
    prefix = kJpegPrefix;
    extension = u".JPG";
  } else if (XpFormatChecker::KindFromExtension(sourcePath) == kXpKindMpegByName) {
    prefix = kMoviePrefix;
    extension = u".MPG";
  }
  XpString name;
  if (name.Format(u"%s%04d%s", prefix, fileNumber, extension) != kXpOk) {
    return XpString();
  }
  return XpPathJoin(folderPath, name);
}
