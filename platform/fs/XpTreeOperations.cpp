#include "platform/fs/XpTreeOperations.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpFileTransfer.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr double kNoPercent = 0.0;

// The result of a walk that goes on after failed entries: the first failure
// that was not a stop, else a stop, else success.
class WalkOutcome {
 public:
  void Add(XpResult result) {
    if (result == kXpErrStopped) {
      stopped_ = true;
    } else if (result != kXpOk && failure_ == kXpOk) {
      failure_ = result;
    }
  }
  XpResult Result() const {
    if (failure_ != kXpOk) {
      return failure_;
    }
    return stopped_ ? kXpErrStopped : kXpOk;
  }

 private:
  XpResult failure_ = kXpOk;
  bool stopped_ = false;
};

bool IsLink(const XpString& path) {
  struct stat info {};
  return XpFsLstat(path, &info) && S_ISLNK(info.st_mode);
}

// The destination parent is the source folder or lies below it, so the
// copy would run into itself.
bool GoesIntoItself(const XpString& sourceFolder, const XpString& destinationParent) {
  const XpString realSource = XpFsRealPath(sourceFolder);
  const XpString realParent = XpFsRealPath(destinationParent);
  if (realSource.IsEmpty() || realParent.IsEmpty()) {
    return false;
  }
  const int relation = XpPathGetRelation(realParent, realSource);
  return relation == kXpPathSame || relation == kXpPathInside;
}

[[nodiscard]] XpResult CopyTreeStep(const XpSharedPtr<XpDir>& source,
                                    const XpString& destinationParent,
                                    IXpFileOpProgressObserver* observer, XpString* createdFolder);

[[nodiscard]] XpResult CopyChild(const XpSharedPtr<XpAbstractFSObj>& child,
                                 const XpString& newFolder, IXpFileOpProgressObserver* observer) {
  const XpString path = child->GetPath();
  if (!child->IsFile()) {
    return CopyTreeStep(XpSharedPtr<XpDir>(child), newFolder, observer, nullptr);
  }
  const XpString target = XpPathJoin(newFolder, XpPathGetLeafName(path));
  if (IsLink(path) && XpFsIsFolder(path)) {
    const int error = XpTransferCopyLink(path, target);
    return error == 0 ? kXpOk : XpResultFromErrno(error, target.ToMultiByte().CStr());
  }
  return XpCopyFileWithProgress(path, target, observer);
}

[[nodiscard]] XpResult CopyTreeStep(const XpSharedPtr<XpDir>& source,
                                    const XpString& destinationParent,
                                    IXpFileOpProgressObserver* observer, XpString* createdFolder) {
  if (!source) {
    return kXpErrBadArgument;
  }
  const XpString newFolder = XpPathJoin(destinationParent, XpPathGetLeafName(source->GetPath()));
  XpResult result = XpCreateDirectory(newFolder);
  if (result != kXpOk) {
    return result;
  }
  if (createdFolder != nullptr) {
    *createdFolder = newFolder;
  }
  result = source->BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  WalkOutcome outcome;
  for (XpSharedPtr<XpAbstractFSObj> child = source->GetNext(); child; child = source->GetNext()) {
    const XpResult childResult = CopyChild(child, newFolder, observer);
    outcome.Add(childResult);
    if (childResult == kXpOk && observer != nullptr) {
      ++observer->doneCount;
    }
  }
  // The listing is read to its end; closing it loses nothing.
  (void)source->EndEnum();
  return outcome.Result();
}

// XpCopyTree; createdFolder receives the new top folder once it is made.
[[nodiscard]] XpResult CopyTree(const char16_t* sourceFolder, const char16_t* destinationParent,
                                IXpFileOpProgressObserver* observer, XpString* createdFolder) {
  if (sourceFolder == nullptr || destinationParent == nullptr) {
    return kXpErrBadArgument;
  }
  if (GoesIntoItself(sourceFolder, destinationParent)) {
    return kXpErrBadArgument;
  }
  XpSharedPtr<XpDir> folder(new (std::nothrow) XpDir(sourceFolder));
  if (!folder) {
    return kXpErrOutOfMemory;
  }
  if (observer != nullptr) {
    observer->doneCount = 0;
    observer->totalCount = folder->CountChildren(true);
    observer->percent = 0.0;
  }
  return CopyTreeStep(folder, destinationParent, observer, createdFolder);
}

// A file of the tree: reported, then deleted, then counted whatever the
// result.
[[nodiscard]] XpResult RemoveTreeFile(const XpString& path, IXpFileOpProgressObserver* observer) {
  if (observer != nullptr) {
    observer->source = path;
    observer->OnFileOpProgress(kNoPercent);
  }
  const XpResult result = XpDeleteFile(path);
  if (observer != nullptr) {
    ++observer->doneCount;
  }
  return result;
}

[[nodiscard]] XpResult RemoveEmptyFolder(const XpString& path,
                                         IXpFileOpProgressObserver* observer) {
  if (observer != nullptr) {
    observer->source = path;
    observer->doneCount = 0;
    observer->totalCount = 1;
    observer->OnFileOpProgress(kNoPercent);
  }
  const XpResult result = XpRemoveDirectory(path);
  if (result == kXpOk && observer != nullptr) {
    observer->doneCount = 1;
    observer->OnFileOpProgress(kNoPercent);
  }
  return result;
}

}  // namespace

[[nodiscard]] XpResult XpCopyTree(const char16_t* sourceFolder, const char16_t* destinationParent,
                                  IXpFileOpProgressObserver* observer) {
  return CopyTree(sourceFolder, destinationParent, observer, nullptr);
}

[[nodiscard]] XpResult XpCopyTreeInto(XpSharedPtr<XpDir> sourceFolder,
                                      const char16_t* destinationParent,
                                      IXpFileOpProgressObserver* observer) {
  if (!sourceFolder || destinationParent == nullptr) {
    return kXpErrBadArgument;
  }
  if (GoesIntoItself(sourceFolder->GetPath(), destinationParent)) {
    return kXpErrBadArgument;
  }
  return CopyTreeStep(sourceFolder, destinationParent, observer, nullptr);
}

[[nodiscard]] XpResult XpMoveTree(const char16_t* sourceFolder, const char16_t* destinationParent,
                                  IXpFileOpProgressObserver* observer) {
  XpString createdFolder;
  const XpResult result = CopyTree(sourceFolder, destinationParent, observer, &createdFolder);
  if (result == kXpOk) {
    return XpRemoveDirectoryTree(sourceFolder, true, nullptr);
  }
  // Only a folder this call made, and only when nothing is left in it.
  if (!createdFolder.IsEmpty()) {
    XpFsRmdir(createdFolder);
  }
  return result;
}

[[nodiscard]] XpResult XpRemoveDirectoryTree(const XpString& path, bool withContents,
                                             IXpFileOpProgressObserver* observer) {
  if (!withContents) {
    return RemoveEmptyFolder(path, observer);
  }
  // A link named as the folder, with or without a trailing '/', goes
  // itself; its target is never entered.
  const XpString entry = XpFsEntryPath(path);
  const bool isLink = IsLink(entry);
  if (observer != nullptr && observer->totalCount == 0) {
    XpDir counted(path);
    observer->totalCount = isLink ? 1 : counted.CountChildren(true) + 1;
    observer->doneCount = 0;
  }
  if (isLink) {
    return RemoveTreeFile(entry, observer);
  }
  XpDir folder(path);
  XpResult result = folder.BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  for (XpSharedPtr<XpAbstractFSObj> child = folder.GetNext(); child && result == kXpOk;
       child = folder.GetNext()) {
    const XpString childPath = child->GetPath();
    result = child->IsDirectory() ? XpRemoveDirectoryTree(childPath, true, observer)
                                  : RemoveTreeFile(childPath, observer);
  }
  (void)folder.EndEnum();  // the enumeration begun above
  if (result != kXpOk) {
    return result;
  }
  if (observer != nullptr) {
    observer->source = path;
    observer->OnFileOpProgress(kNoPercent);
  }
  result = XpRemoveDirectory(path);
  if (observer != nullptr) {
    ++observer->doneCount;
  }
  return result;
}
