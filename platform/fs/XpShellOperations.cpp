#include "platform/fs/XpShellOperations.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/fs/XpDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpFileTransfer.h"
#include "platform/fs/XpRecycleBin.h"
#include "platform/fs/XpTreeOperations.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

// What happens when the destination exists already.
enum class Conflict {
  kFail,
  // Files are replaced, folders merged.
  kReplace,
};

[[nodiscard]] XpResult FromErrno(int error, const XpString& path) {
  return XpResultFromErrno(error, path.ToMultiByte().CStr());
}

// A folder would be copied or moved into itself or below itself.
bool GoesIntoItself(const XpString& source, const XpString& destination) {
  if (!XpFsIsRealFolder(source)) {
    return false;
  }
  const XpString realSource = XpFsRealPath(source);
  const XpString realParent = XpFsRealPath(XpPathGetDirectory(destination));
  if (realSource.IsEmpty() || realParent.IsEmpty()) {
    return false;
  }
  const int relation = XpPathGetRelation(realParent, realSource);
  return relation == kXpPathSame || relation == kXpPathInside;
}

[[nodiscard]] XpResult CopyEntry(const XpString& source, const XpString& destination,
                                 Conflict conflict);

[[nodiscard]] XpResult CopyFolder(const XpString& source, const XpString& destination,
                                  Conflict conflict) {
  XpResult result = XpCreateDirectory(destination);
  if (result == kXpErrAlreadyExists && conflict == Conflict::kReplace &&
      XpFsIsRealFolder(destination)) {
    result = kXpOk;
  }
  if (result != kXpOk) {
    return result;
  }
  XpDir folder(source);
  result = folder.BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  for (XpSharedPtr<XpAbstractFSObj> child = folder.GetNext(); child && result == kXpOk;
       child = folder.GetNext()) {
    const XpString childPath = child->GetPath();
    result = CopyEntry(childPath, XpPathJoin(destination, XpPathGetLeafName(childPath)), conflict);
  }
  (void)folder.EndEnum();  // the enumeration begun above
  return result;
}

// A file by its content, a link to a folder as a link, a folder with
// everything below it.
[[nodiscard]] XpResult CopyEntry(const XpString& source, const XpString& destination,
                                 Conflict conflict) {
  struct stat info {};
  if (!XpFsLstat(source, &info)) {
    return FromErrno(errno, source);
  }
  if (S_ISDIR(info.st_mode)) {
    return CopyFolder(source, destination, conflict);
  }
  if (S_ISLNK(info.st_mode) && XpFsIsFolder(source)) {
    const int error = XpTransferCopyLink(source, destination);
    return error == 0 ? kXpOk : FromErrno(error, destination);
  }
  XpFileTransferOptions options;
  options.failIfExists = conflict == Conflict::kFail;
  options.replaceReadOnly = conflict == Conflict::kReplace;
  return XpTransferCopyFile(source, destination, options);
}

[[nodiscard]] XpResult MoveEntry(const XpString& source, const XpString& destination,
                                 Conflict conflict) {
  if (XpFsIsRealFolder(source)) {
    const int error = XpFsRenameNoReplace(source, destination);
    if (error == 0) {
      return kXpOk;
    }
    const bool merge = conflict == Conflict::kReplace && (error == EEXIST || error == ENOTEMPTY) &&
                       XpFsIsRealFolder(destination);
    if (error != EXDEV && !merge) {
      return FromErrno(error, destination);
    }
    // Another file system, or a folder to merge into: copy, then remove.
    const XpResult result = CopyFolder(source, destination, conflict);
    return result == kXpOk ? XpRemoveDirectoryTree(source, true, nullptr) : result;
  }
  XpFileTransferOptions options;
  options.failIfExists = conflict == Conflict::kFail;
  options.replaceReadOnly = conflict == Conflict::kReplace;
  options.copyAcrossDevices = true;
  return XpTransferMoveEntry(source, destination, options);
}

[[nodiscard]] XpResult Transfer(const XpString& source, const XpString& destination, bool move,
                                Conflict conflict) {
  if (GoesIntoItself(source, destination)) {
    return kXpErrBadArgument;
  }
  return move ? MoveEntry(source, destination, conflict)
              : CopyEntry(source, destination, conflict);
}

}  // namespace

[[nodiscard]] XpResult XpShellDeleteToRecycleBin(const XpString& path) {
  return XpMoveToRecycleBin(path) == kXpOk ? kXpOk : kXpErrDeleteFailed;
}

[[nodiscard]] XpResult XpShellCopyOrMove(const XpStringVector& sources, const XpString& destination,
                                         uint32_t operation) {
  if (operation != kXpShellOperationMove && operation != kXpShellOperationCopy) {
    return kXpErrBadArgument;
  }
  const bool move = operation == kXpShellOperationMove;
  const XpResult failure = move ? kXpErrMoveFailed : kXpErrCopyFailed;
  if (sources.empty()) {
    return kXpOk;
  }
  if (!XpFsIsFolder(destination)) {
    return failure;
  }
  for (const XpString& source : sources) {
    const XpString target = XpPathJoin(destination, XpPathGetLeafName(source));
    if (Transfer(source, target, move, Conflict::kFail) != kXpOk) {
      return failure;
    }
  }
  return kXpOk;
}

[[nodiscard]] XpResult XpShellCopy(const XpStringVector& sources, const XpString& destination) {
  return XpShellCopyOrMove(sources, destination, kXpShellOperationCopy);
}

[[nodiscard]] XpResult XpShellMove(const XpStringVector& sources, const XpString& destination) {
  return XpShellCopyOrMove(sources, destination, kXpShellOperationMove);
}

[[nodiscard]] XpResult XpShellCopyOrMoveEach(const XpStringVector& sources,
                                             const XpStringVector& destinations, bool move) {
  const XpResult failure = move ? kXpErrMoveFailed : kXpErrCopyFailed;
  if (sources.size() != destinations.size()) {
    return failure;
  }
  for (size_t i = 0; i < sources.size(); ++i) {
    if (Transfer(sources[i], destinations[i], move, Conflict::kReplace) != kXpOk) {
      return failure;
    }
  }
  return kXpOk;
}

[[nodiscard]] XpResult XpDeleteFiles(const XpStringVector& paths, bool toRecycleBin) {
  for (const XpString& path : paths) {
    const XpResult result = toRecycleBin ? XpShellDeleteToRecycleBin(path)
                                         : XpDeleteWithProgress(path, false, false, nullptr);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}
