#include "platform/fs/XpFileOperations.h"

#include <sys/stat.h>

#include <cerrno>
#include <functional>

#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileTransfer.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpShellOperations.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/sync/XpRetry.h"

namespace {

constexpr mode_t kModeBits = 07777;
constexpr double kStartPercent = 0.0;
constexpr double kEndPercent = 100.0;

void Report(IXpFileOpProgressObserver* observer, double percent) {
  observer->percent = percent;
  observer->OnFileOpProgress(percent);
}

// Runs a single-file copy or move: an empty source reports 0.0 before and
// 100.0 after; "device not ready" reads as "file not found".
[[nodiscard]] XpResult RunWithProgress(const XpString& source, IXpFileOpProgressObserver* observer,
                                       const std::function<XpResult()>& operation) {
  struct stat info {};
  const bool empty = observer != nullptr && XpFsStat(source, &info) && S_ISREG(info.st_mode) &&
                     info.st_size == 0;
  if (empty) {
    Report(observer, kStartPercent);
  }
  const XpResult result = operation();
  if (empty) {
    Report(observer, kEndPercent);
  }
  return result == kXpErrDeviceNotReady ? kXpErrFileNotFound : result;
}

// In folder mode: into the destination's folder through the shell, then a
// rename to the destination's name.
[[nodiscard]] XpResult TransferInFolderMode(const XpString& source, const XpString& destination,
                                            bool move) {
  const XpString folder = XpPathGetDirectory(destination);
  const XpStringVector sources{source};
  XpResult result = move ? XpShellMove(sources, folder) : XpShellCopy(sources, folder);
  const XpString sourceName = XpPathGetLeafName(source);
  if (result != kXpOk || sourceName == XpPathGetLeafName(destination)) {
    return result;
  }
  const XpString placed = XpPathJoin(folder, sourceName);
  result = XpMoveFileWithProgress(placed, destination, nullptr);
  if (result == kXpOk) {
    return kXpOk;
  }
  if (move) {
    // The rename's failure is the answer; the undo is all that can be tried.
    (void)XpMoveFileWithProgress(placed, source, nullptr);
  } else {
    (void)XpShellDeleteToRecycleBin(placed);
  }
  return result;
}

[[nodiscard]] XpResult TransferIntoFolder(const XpStringVector& sources, const XpString& folder,
                                          bool move, IXpFileOpProgressObserver* observer) {
  for (const XpString& source : sources) {
    const XpString destination = XpPathJoin(folder, XpPathGetLeafName(source));
    const XpResult result = move ? XpMovePath(source, destination, false, observer)
                                 : XpCopyPath(source, destination, false, observer);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

}  // namespace

[[nodiscard]] XpResult XpDeleteFile(const XpString& path) {
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA osPath = path.ToMultiByte();
  struct stat info {};
  // A link has no read-only state of its own; chmod would change its target.
  const bool madeWritable = calls.Lstat(osPath.CStr(), &info) == 0 && !S_ISLNK(info.st_mode) &&
                            XpFsModeIsReadOnly(info.st_mode) &&
                            calls.Chmod(osPath.CStr(), (info.st_mode & kModeBits) | S_IWUSR) == 0;
  if (calls.Unlink(osPath.CStr()) == 0) {
    return kXpOk;
  }
  const int error = errno;
  if (madeWritable) {
    calls.Chmod(osPath.CStr(), info.st_mode & kModeBits);
  }
  const XpResult result = XpResultFromErrno(error, osPath.CStr());
  return result == kXpErrGeneric || result == kXpErrSystem ? kXpErrDeleteFailed : result;
}

[[nodiscard]] XpResult XpDeleteFile(const XpString& path, bool toRecycleBin) {
  return toRecycleBin ? XpShellDeleteToRecycleBin(path) : XpDeleteFile(path);
}

[[nodiscard]] XpResult XpRemoveDirectory(const XpString& path) {
  const int error = XpFsRmdir(path);
  if (error == 0) {
    return kXpOk;
  }
  // Some file systems say EEXIST for a folder that is not empty.
  return error == EEXIST ? kXpErrDirNotEmpty : XpResultFromErrno(error, path.ToMultiByte().CStr());
}

[[nodiscard]] XpResult XpCopyOrMoveFileSimple(const XpString& destination, bool move,
                                              const XpString& source) {
  XpFileTransferOptions options;
  options.failIfExists = true;
  if (!move) {
    return XpTransferCopyFile(source, destination, options);
  }
  options.copyAcrossDevices = true;
  return XpTransferMoveEntry(source, destination, options);
}

[[nodiscard]] XpResult XpMoveFileRetrying(const XpString& source, const XpString& destination) {
  return XpMoveFileRetrying(source, destination, XpWaitClock::Real());
}

[[nodiscard]] XpResult XpMoveFileRetrying(const XpString& source, const XpString& destination,
                                          XpWaitClock& clock) {
  constexpr int32_t kTries = 1 + kXpMoveRetryCount;
  const XpFileTransferOptions options;
  int32_t triesLeft = kTries;
  return XpRetry(
      kTries,
      [&] {
        --triesLeft;
        return XpTransferMoveEntry(source, destination, options);
      },
      [](XpResult result) { return result != kXpErrAccessDenied; },
      // XpRetry comes here after the last try too; only a pause before another try helps.
      [&](XpResult) {
        if (triesLeft > 0) {
          clock.SleepFor(kXpMoveRetryDelay);
        }
      });
}

[[nodiscard]] XpResult XpCopyFileWithProgress(const XpString& source, const XpString& destination,
                                              IXpFileOpProgressObserver* observer) {
  return XpCopyFileWithProgress(source, destination, observer, false);
}

[[nodiscard]] XpResult XpCopyFileWithProgress(const XpString& source, const XpString& destination,
                                              IXpFileOpProgressObserver* observer,
                                              bool failIfExists) {
  XpFileTransferOptions options;
  options.failIfExists = failIfExists;
  options.observer = observer;
  return RunWithProgress(source, observer,
                         [&] { return XpTransferCopyFile(source, destination, options); });
}

[[nodiscard]] XpResult XpCopyFileToPending(const XpString& source, const XpString& destination,
                                           IXpFileOpProgressObserver* observer,
                                           XpPendingFile* pending, bool refuseLinkedSource) {
  XpFileTransferOptions options;
  options.observer = observer;
  options.refuseLinkedSource = refuseLinkedSource;
  return RunWithProgress(source, observer, [&] {
    return XpTransferCopyToPending(source, destination, options, pending);
  });
}

[[nodiscard]] XpResult XpMoveFileWithProgress(const XpString& source, const XpString& destination,
                                              IXpFileOpProgressObserver* observer) {
  XpFileTransferOptions options;
  options.copyAcrossDevices = true;
  options.observer = observer;
  return RunWithProgress(source, observer,
                         [&] { return XpTransferMoveEntry(source, destination, options); });
}

[[nodiscard]] XpResult XpDeleteWithProgress(const XpString& path, bool toRecycleBin, bool asList,
                                            IXpFileOpProgressObserver* observer) {
  if (asList) {
    return XpDeleteFiles(XpStringVector{path}, toRecycleBin);
  }
  if (observer != nullptr) {
    observer->source = path;
    Report(observer, kStartPercent);
  }
  const XpResult result = XpDeleteFile(path, toRecycleBin);
  if (observer != nullptr) {
    Report(observer, kEndPercent);
    ++observer->doneCount;
  }
  return result;
}

[[nodiscard]] XpResult XpDeleteFilesWithProgress(const XpStringVector& paths, bool asList,
                                                 bool toRecycleBin,
                                                 IXpFileOpProgressObserver* observer) {
  if (toRecycleBin) {
    return XpDeleteFiles(paths, true);
  }
  XpResult first = kXpOk;
  for (const XpString& path : paths) {
    const XpResult result = XpDeleteWithProgress(path, false, asList, observer);
    if (first == kXpOk) {
      first = result;
    }
  }
  return first;
}

[[nodiscard]] XpResult XpCopyPath(const XpString& source, const XpString& destination,
                                  bool folderMode, IXpFileOpProgressObserver* observer) {
  if (folderMode) {
    return TransferInFolderMode(source, destination, false);
  }
  return XpCopyFileWithProgress(source, destination, observer);
}

[[nodiscard]] XpResult XpMovePath(const XpString& source, const XpString& destination,
                                  bool folderMode, IXpFileOpProgressObserver* observer) {
  if (folderMode) {
    return TransferInFolderMode(source, destination, true);
  }
  return XpMoveFileWithProgress(source, destination, observer);
}

[[nodiscard]] XpResult XpCopyPathsIntoFolder(const XpStringVector& sources, const XpString& folder,
                                             bool throughShell,
                                             IXpFileOpProgressObserver* observer) {
  if (throughShell) {
    return XpShellCopy(sources, folder);
  }
  return TransferIntoFolder(sources, folder, false, observer);
}

[[nodiscard]] XpResult XpMovePathsIntoFolder(const XpStringVector& sources, const XpString& folder,
                                             bool throughShell,
                                             IXpFileOpProgressObserver* observer) {
  if (throughShell) {
    return XpShellMove(sources, folder);
  }
  return TransferIntoFolder(sources, folder, true, observer);
}
