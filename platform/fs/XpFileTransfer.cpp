#include "platform/fs/XpFileTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <vector>

#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr size_t kChunkBytes = size_t{1} << 20;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 0777;
constexpr double kFullPercent = 100.0;
constexpr size_t kFirstLinkBuffer = 256;

bool StopAsked(const IXpFileOpProgressObserver* observer) {
  return observer != nullptr && observer->stopFlag.load() != 0;
}

// Stores and reports the percentage of done bytes, and keeps the answer in
// the stop flag. True when the copy must stop. A total of 0 reports nothing.
bool Report(IXpFileOpProgressObserver* observer, uint64_t done, uint64_t total) {
  if (observer == nullptr || total == 0) {
    return false;
  }
  const double percent =
      std::min(kFullPercent, static_cast<double>(done) * kFullPercent / static_cast<double>(total));
  observer->percent = percent;
  const bool stop = observer->OnFileOpProgress(percent);
  observer->stopFlag = stop ? 1 : 0;
  return stop;
}

// Writes all count bytes; 0 or the errno.
int WriteAll(XpSysCalls& calls, int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t moved = calls.Write(fd, bytes, count);
    if (moved < 0 && errno == EINTR) {
      continue;
    }
    if (moved < 0) {
      return errno;
    }
    if (moved == 0) {
      return ENOSPC;
    }
    bytes += moved;
    count -= static_cast<size_t>(moved);
  }
  return 0;
}

XpResult CopyBytes(XpSysCalls& calls, int in, int out, uint64_t total,
                   IXpFileOpProgressObserver* observer) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunkBytes]);
  if (!buffer) {
    return kXpErrOutOfMemory;
  }
  uint64_t done = 0;
  for (;;) {
    if (StopAsked(observer)) {
      return kXpErrStopped;
    }
    const ssize_t got = calls.Read(in, buffer.get(), kChunkBytes);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return XpResultFromErrno(errno);
    }
    if (got == 0) {
      return kXpOk;
    }
    const int error = WriteAll(calls, out, buffer.get(), static_cast<size_t>(got));
    if (error != 0) {
      return XpResultFromErrno(error);
    }
    done += static_cast<uint64_t>(got);
    if (Report(observer, done, total)) {
      return kXpErrStopped;
    }
  }
}

// Opens the destination for writing: an O_EXCL create, or the truncation of
// an existing file that may be replaced.
XpResult OpenDestination(const XpStringA& path, const struct stat& source,
                         const XpFileTransferOptions& options, int* fd) {
  XpSysCalls& calls = XpSysCalls::Current();
  struct stat existing {};
  const bool replace = !options.failIfExists && calls.Stat(path.CStr(), &existing) == 0;
  if (!replace) {
    *fd = calls.Open(path.CStr(), O_WRONLY | O_CREAT | O_EXCL, kNewFileMode);
    return *fd < 0 ? XpResultFromErrno(errno, path.CStr()) : kXpOk;
  }
  // Truncating the source itself would destroy it.
  const bool sameFile = existing.st_dev == source.st_dev && existing.st_ino == source.st_ino;
  if (sameFile || S_ISDIR(existing.st_mode)) {
    return kXpErrAccessDenied;
  }
  if (XpFsModeIsReadOnly(existing.st_mode)) {
    if (!options.replaceReadOnly) {
      return kXpErrAccessDenied;
    }
    if (calls.Chmod(path.CStr(), existing.st_mode | S_IWUSR) != 0) {
      return XpResultFromErrno(errno, path.CStr());
    }
  }
  *fd = calls.Open(path.CStr(), O_WRONLY | O_TRUNC, 0);
  return *fd < 0 ? XpResultFromErrno(errno, path.CStr()) : kXpOk;
}

// Opens the source as a regular file.
XpResult OpenSource(const XpStringA& path, int* fd, struct stat* info) {
  XpSysCalls& calls = XpSysCalls::Current();
  // O_NONBLOCK: a FIFO must not hang the open; it is refused below.
  *fd = calls.Open(path.CStr(), O_RDONLY | O_NONBLOCK, 0);
  if (*fd < 0) {
    return XpResultFromErrno(errno, path.CStr());
  }
  XpResult result = kXpOk;
  if (calls.Fstat(*fd, info) != 0) {
    result = XpResultFromErrno(errno);
  } else if (!S_ISREG(info->st_mode)) {
    result = kXpErrAccessDenied;
  }
  if (result != kXpOk) {
    calls.Close(*fd);
    *fd = -1;
  }
  return result;
}

XpResult MoveAcrossDevices(const XpString& source, const XpString& destination,
                           const struct stat& info, const XpFileTransferOptions& options) {
  XpResult result = kXpOk;
  if (S_ISLNK(info.st_mode)) {
    int error = XpTransferCopyLink(source, destination);
    if (error == EEXIST && !options.failIfExists && !XpFsIsRealFolder(destination)) {
      XpFsUnlink(destination);
      error = XpTransferCopyLink(source, destination);
    }
    result = error == 0 ? kXpOk : XpResultFromErrno(error, destination.ToMultiByte().CStr());
  } else {
    result = XpTransferCopyFile(source, destination, options);
  }
  if (result != kXpOk) {
    return result;
  }
  const int unlinkError = XpFsUnlink(source);
  if (unlinkError == 0) {
    return kXpOk;
  }
  // The source stays: the move did not happen, so neither does the copy.
  XpFsUnlink(destination);
  return XpResultFromErrno(unlinkError, source.ToMultiByte().CStr());
}

}  // namespace

XpResult XpTransferCopyFile(const XpString& source, const XpString& destination,
                            const XpFileTransferOptions& options) {
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA osSource = source.ToMultiByte();
  const XpStringA osDestination = destination.ToMultiByte();
  int in = -1;
  struct stat info {};
  XpResult result = OpenSource(osSource, &in, &info);
  if (result != kXpOk) {
    return result;
  }
  if (StopAsked(options.observer)) {
    calls.Close(in);
    return kXpErrStopped;
  }
  int out = -1;
  result = OpenDestination(osDestination, info, options, &out);
  if (result != kXpOk) {
    calls.Close(in);
    return result;
  }
  result = CopyBytes(calls, in, out, static_cast<uint64_t>(info.st_size), options.observer);
  if (result == kXpOk && options.writeThrough && calls.Fsync(out) != 0) {
    result = XpResultFromErrno(errno);
  }
  if (result == kXpOk) {
    // Best effort, as on a file system without permission bits.
    calls.Fchmod(out, info.st_mode & kPermissionBits);
  }
  if (calls.Close(out) != 0 && result == kXpOk) {
    result = XpResultFromErrno(errno);
  }
  calls.Close(in);
  if (result != kXpOk) {
    calls.Unlink(osDestination.CStr());
    return result;
  }
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  calls.Utimensat(osDestination.CStr(), times, 0);
  return kXpOk;
}

XpResult XpTransferMoveEntry(const XpString& source, const XpString& destination,
                             const XpFileTransferOptions& options) {
  struct stat info {};
  if (!XpFsLstat(source, &info)) {
    return XpResultFromErrno(errno, source.ToMultiByte().CStr());
  }
  const bool isFolder = S_ISDIR(info.st_mode);
  const int error = isFolder || options.failIfExists ? XpFsRenameNoReplace(source, destination)
                                                     : XpFsRenameReplace(source, destination);
  if (error == 0) {
    return kXpOk;
  }
  if (error != EXDEV || !options.copyAcrossDevices) {
    return XpResultFromErrno(error, destination.ToMultiByte().CStr());
  }
  if (isFolder) {
    return kXpErrGeneric;
  }
  return MoveAcrossDevices(source, destination, info, options);
}

int XpTransferCopyLink(const XpString& source, const XpString& destination) {
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA osSource = source.ToMultiByte();
  std::vector<char> target(kFirstLinkBuffer);
  for (;;) {
    const ssize_t length = calls.Readlink(osSource.CStr(), target.data(), target.size());
    if (length < 0) {
      return errno;
    }
    if (static_cast<size_t>(length) < target.size()) {
      target[static_cast<size_t>(length)] = '\0';
      break;
    }
    target.resize(target.size() * 2);
  }
  return calls.Symlink(target.data(), destination.ToMultiByte().CStr()) == 0 ? 0 : errno;
}
