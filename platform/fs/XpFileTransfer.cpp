#include "platform/fs/XpFileTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/fs/XpWriteback.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr size_t kChunkBytes = size_t{1} << 20;
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

// copy_file_range cannot copy between these files: the plain reads and
// writes can.
bool CopyRangeUnavailable(int error) {
  return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
         error == EBADF || error == EPERM || error == ETXTBSY;
}

// Moves the bytes of one open file into another at the same offsets.
class ChunkCopier {
 public:
  ChunkCopier(XpSysCalls& calls, int in, int out) : calls_(calls), in_(in), out_(out) {}

  // Copies up to count bytes at offset and starts writing them back; *moved
  // 0 means the source ends there.
  XpResult Copy(off_t offset, size_t count, size_t* moved) {
    const XpResult result = CopyChunk(offset, count, moved);
    if (result == kXpOk) {
      XpStartWriteback(calls_, out_, offset, static_cast<off_t>(*moved));
    }
    return result;
  }

 private:
  XpResult CopyChunk(off_t offset, size_t count, size_t* moved) {
    *moved = 0;
    if (useCopyRange_) {
      off_t inOffset = offset;
      off_t outOffset = offset;
      const ssize_t copied = calls_.CopyFileRange(in_, &inOffset, out_, &outOffset, count);
      if (copied > 0) {
        *moved = static_cast<size_t>(copied);
        return kXpOk;
      }
      if (copied < 0 && !CopyRangeUnavailable(errno)) {
        return XpResultFromErrno(errno);
      }
      // Unavailable, or 0: the end of the source, or a file system that
      // copies nothing this way; a plain read tells which.
      useCopyRange_ = false;
    }
    return ReadAndWrite(offset, count, moved);
  }

  XpResult ReadAndWrite(off_t offset, size_t count, size_t* moved) {
    if (!buffer_) {
      buffer_.reset(new (std::nothrow) char[kChunkBytes]);
      if (!buffer_) {
        return kXpErrOutOfMemory;
      }
    }
    const ssize_t got = calls_.Pread(in_, buffer_.get(), std::min(count, kChunkBytes), offset);
    if (got < 0) {
      return XpResultFromErrno(errno);
    }
    if (got == 0) {
      return kXpOk;
    }
    if (calls_.Lseek(out_, offset, SEEK_SET) < 0) {
      return XpResultFromErrno(errno);
    }
    const XpResult written = XpWriteAll(calls_, out_, buffer_.get(), static_cast<size_t>(got));
    if (written == kXpOk) {
      *moved = static_cast<size_t>(got);
    }
    return written;
  }

  XpSysCalls& calls_;
  int in_;
  int out_;
  bool useCopyRange_ = true;
  std::unique_ptr<char[]> buffer_;
};

// The next stretch of data at or after position: [*start, *end). False when
// only a hole (or nothing) is left. A file system that cannot tell data
// from holes gives one stretch up to the end.
bool NextData(XpSysCalls& calls, int in, off_t position, off_t* start, off_t* end) {
  const off_t data = calls.Lseek(in, position, SEEK_DATA);
  if (data < 0) {
    if (errno == ENXIO) {
      return false;
    }
    *start = position;
    *end = std::numeric_limits<off_t>::max();
    return true;
  }
  const off_t hole = calls.Lseek(in, data, SEEK_HOLE);
  *start = data;
  *end = hole > data ? hole : std::numeric_limits<off_t>::max();
  return true;
}

// Copies every byte of in to out, which is new and empty, leaving holes as
// holes, and sets out's length where the source ends in a hole. Reports
// after each chunk and after each hole skipped.
[[nodiscard]] XpResult CopyBytes(XpSysCalls& calls, int in, int out, uint64_t total,
                                 IXpFileOpProgressObserver* observer) {
  ChunkCopier copier(calls, in, out);
  off_t position = 0;
  off_t dataEnd = 0;
  off_t written = 0;
  for (;;) {
    if (StopAsked(observer)) {
      return kXpErrStopped;
    }
    if (position >= dataEnd) {
      off_t dataStart = 0;
      if (!NextData(calls, in, position, &dataStart, &dataEnd)) {
        const off_t end = calls.Lseek(in, 0, SEEK_END);
        if (end < 0) {
          return XpResultFromErrno(errno);
        }
        if (end > position) {
          position = end;
          if (Report(observer, static_cast<uint64_t>(position), total)) {
            return kXpErrStopped;
          }
        }
        break;
      }
      if (dataStart > position) {
        position = dataStart;
        if (Report(observer, static_cast<uint64_t>(position), total)) {
          return kXpErrStopped;
        }
        continue;
      }
    }
    const size_t want = static_cast<size_t>(
        std::min<uint64_t>(kChunkBytes, static_cast<uint64_t>(dataEnd - position)));
    size_t moved = 0;
    const XpResult result = copier.Copy(position, want, &moved);
    if (result != kXpOk) {
      return result;
    }
    if (moved == 0) {
      break;
    }
    position += static_cast<off_t>(moved);
    written = position;
    if (Report(observer, static_cast<uint64_t>(position), total)) {
      return kXpErrStopped;
    }
  }
  if (position == written) {
    return kXpOk;
  }
  return calls.Ftruncate(out, position) == 0 ? kXpOk : XpResultFromErrno(errno);
}

// May the copy go onto destination? *existed tells whether something is
// there.
[[nodiscard]] XpResult CheckDestination(const XpStringA& path, const struct stat& source,
                                        const XpFileTransferOptions& options, bool* existed) {
  struct stat existing {};
  *existed = XpSysCalls::Current().Stat(path.CStr(), &existing) == 0;
  if (!*existed) {
    return kXpOk;
  }
  if (options.failIfExists) {
    return kXpErrAlreadyExists;
  }
  // Replacing the source by itself would lose it.
  const bool sameFile = existing.st_dev == source.st_dev && existing.st_ino == source.st_ino;
  if (sameFile || S_ISDIR(existing.st_mode)) {
    return kXpErrAccessDenied;
  }
  if (XpFsModeIsReadOnly(existing.st_mode) && !options.replaceReadOnly) {
    return kXpErrAccessDenied;
  }
  return kXpOk;
}

// Opens the source as a regular file; with refuseLink a link at path is
// refused as not one.
[[nodiscard]] XpResult OpenSource(const XpStringA& path, bool refuseLink, int* fd,
                                  struct stat* info) {
  XpSysCalls& calls = XpSysCalls::Current();
  // O_NONBLOCK: a FIFO must not hang the open; it is refused below.
  const int flags = O_RDONLY | O_NONBLOCK | (refuseLink ? O_NOFOLLOW : 0);
  *fd = calls.Open(path.CStr(), flags, 0);
  if (*fd < 0 && refuseLink && errno == ELOOP) {
    return kXpErrAccessDenied;
  }
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
    (void)calls.Close(*fd);  // opened for reading only
    *fd = -1;
  }
  return result;
}

// Closes a descriptor opened for reading; nothing written can be lost.
class ReadOnlyFd {
 public:
  ReadOnlyFd() = default;
  ~ReadOnlyFd() {
    if (fd >= 0) {
      (void)XpSysCalls::Current().Close(fd);
    }
  }
  ReadOnlyFd(const ReadOnlyFd&) = delete;
  ReadOnlyFd& operator=(const ReadOnlyFd&) = delete;

  int fd = -1;
};

// Copies source into a pending file for destination, with the source's
// permission bits and times, not yet flushed; *existed tells whether the
// destination was there when the copy began.
[[nodiscard]] XpResult CopyToPending(const XpString& source, const XpString& destination,
                                     const XpFileTransferOptions& options, XpPendingFile* pending,
                                     bool* existed) {
  XpSysCalls& calls = XpSysCalls::Current();
  ReadOnlyFd in;
  struct stat info {};
  XpResult result = OpenSource(source.ToMultiByte(), options.refuseLinkedSource, &in.fd, &info);
  if (result != kXpOk) {
    return result;
  }
  if (StopAsked(options.observer)) {
    return kXpErrStopped;
  }
  result = CheckDestination(destination.ToMultiByte(), info, options, existed);
  if (result == kXpOk) {
    result = pending->Create(destination);
  }
  if (result == kXpOk) {
    result = CopyBytes(calls, in.fd, pending->Fd(), static_cast<uint64_t>(info.st_size),
                       options.observer);
  }
  if (result != kXpOk) {
    return result;
  }
  // Best effort, as on a file system without permission bits or times.
  (void)calls.Fchmod(pending->Fd(), info.st_mode & kPermissionBits);
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  (void)calls.Utimensat(pending->TempPath().CStr(), times, 0);
  return kXpOk;
}

[[nodiscard]] XpResult CopyToFlushedPending(const XpString& source, const XpString& destination,
                                            const XpFileTransferOptions& options,
                                            XpPendingFile* pending, bool* existed) {
  const XpResult result = CopyToPending(source, destination, options, pending, existed);
  return result == kXpOk ? pending->Sync() : result;
}

[[nodiscard]] XpResult MoveAcrossDevices(const XpString& source, const XpString& destination,
                                         const struct stat& info,
                                         const XpFileTransferOptions& options) {
  if (S_ISLNK(info.st_mode)) {
    int error = XpTransferCopyLink(source, destination);
    if (error == EEXIST && !options.failIfExists && !XpFsIsRealFolder(destination)) {
      (void)XpFsUnlink(destination);  // the retry below reports what is wrong
      error = XpTransferCopyLink(source, destination);
    }
    if (error != 0) {
      return XpResultFromErrno(error, destination.ToMultiByte().CStr());
    }
    const int unlinkError = XpFsUnlink(source);
    if (unlinkError == 0) {
      return kXpOk;
    }
    (void)XpFsUnlink(destination);  // the link made above; the source stays
    return XpResultFromErrno(unlinkError, source.ToMultiByte().CStr());
  }
  XpPendingFile pending;
  bool existed = false;
  XpResult result = CopyToFlushedPending(source, destination, options, &pending, &existed);
  // A source whose folder refuses the unlink is not moved: found out before
  // the copy takes the destination's place.
  const XpStringA sourceFolder = XpPathGetDirectory(source).ToMultiByte();
  if (result == kXpOk && !sourceFolder.IsEmpty() &&
      XpSysCalls::Current().Access(sourceFolder.CStr(), W_OK) != 0) {
    result = XpResultFromErrno(errno, sourceFolder.CStr());
  }
  if (result == kXpOk) {
    result = pending.Publish(!options.failIfExists);
  }
  if (result != kXpOk) {
    return result;
  }
  const int unlinkError = XpFsUnlink(source);
  if (unlinkError == 0) {
    return kXpOk;
  }
  // The source stays: the move did not happen, so neither does the copy,
  // unless removing it would lose the file it replaced.
  if (!existed) {
    (void)XpFsUnlink(destination);  // our own copy; the source still holds the bytes
  }
  return XpResultFromErrno(unlinkError, source.ToMultiByte().CStr());
}

}  // namespace

[[nodiscard]] XpResult XpTransferCopyFile(const XpString& source, const XpString& destination,
                                          const XpFileTransferOptions& options) {
  XpPendingFile pending;
  bool existed = false;
  const XpResult result = CopyToFlushedPending(source, destination, options, &pending, &existed);
  if (result != kXpOk) {
    return result;
  }
  return pending.Publish(!options.failIfExists);
}

[[nodiscard]] XpResult XpTransferCopyToPending(const XpString& source, const XpString& destination,
                                               const XpFileTransferOptions& options,
                                               XpPendingFile* pending) {
  bool existed = false;
  const XpResult result = CopyToPending(source, destination, options, pending, &existed);
  if (result != kXpOk) {
    pending->Discard();
  }
  return result;
}

[[nodiscard]] XpResult XpTransferMoveEntry(const XpString& source, const XpString& destination,
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
