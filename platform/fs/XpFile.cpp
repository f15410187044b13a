#include "platform/fs/XpFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr mode_t kNewFileMode = 0666;
// The most one read or write call is asked to move.
constexpr uint64_t kMaxTransfer = uint64_t{1} << 30;
constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());

bool HasWriteBit(XpOpenMode mode) { return (mode & kXpOpenWrite) != 0; }

// The errno table of the open that may create the file (read and write).
[[nodiscard]] XpResult CreatingOpenResult(int error, XpOpenMode mode) {
  switch (error) {
    case ENOENT:
      return (mode & kXpOpenReadWrite) == kXpOpenRead ? kXpErrFileNotFound
                                                      : kXpErrOpenForWriteFailed;
    case EBADF:
    case EACCES:
    case EROFS:
      return kXpErrAccessDenied;
    case EEXIST:
      return kXpErrAlreadyExists;
    case ENOTDIR:
    case EISDIR:
    case ENOSYS:
      return kXpErrWrongState;
    case EINVAL:
      return kXpErrBadArgument;
    case EMFILE:
      return kXpErrTooManyOpenFiles;
    case ENOSPC:
      return kXpErrDiskFull;
    default:
      return kXpErrSystem;
  }
}

// The errno of any other open, with the generic codes narrowed to "open
// failed" or "open for writing failed".
[[nodiscard]] XpResult OpenResult(int error, const char* path, XpOpenMode mode) {
  const XpResult result = XpResultFromErrno(error, path);
  if (result != kXpErrGeneric && result != kXpErrSystem) {
    return result;
  }
  return HasWriteBit(mode) ? kXpErrOpenForWriteFailed : kXpErrOpenFailed;
}

int Whence(int32_t origin) {
  switch (origin) {
    case kXpSeekCurrent:
      return SEEK_CUR;
    case kXpSeekEnd:
      return SEEK_END;
    default:
      return SEEK_SET;
  }
}

const XpDateTime* OrNull(const std::optional<XpDateTime>& time) {
  return time ? &*time : nullptr;
}

}  // namespace

XpFile::XpFile() = default;

XpFile::XpFile(const XpString& path) {
  (void)SetPath(path);  // taken as given; Open tells what it names
}

XpFile::XpFile(XpByteOrder byteOrder) : XpAbstractFile(byteOrder) {}

XpFile::XpFile(const XpString& path, XpByteOrder byteOrder) : XpAbstractFile(byteOrder) {
  (void)SetPath(path);  // taken as given; Open tells what it names
}

XpFile::~XpFile() {
  if (IsOpen()) {
    // A destructor cannot report; callers that care call Close first.
    (void)Close();
  }
}

XpString XpFile::GetName() const { return XpPathGetBaseName(path_); }

int64_t XpFile::GetSize() {
  XpSysCalls& calls = XpSysCalls::Current();
  struct stat info {};
  int status = -1;
  if (IsOpen()) {
    status = calls.Fstat(fd_, &info);
  } else if (!path_.IsEmpty()) {
    status = calls.Stat(path_.ToMultiByte().CStr(), &info);
  }
  if (status != 0 || !S_ISREG(info.st_mode)) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

XpResult XpFile::GetTimes(XpDateTime* created, XpDateTime* modified, XpDateTime* accessed) const {
  return ReadPathTimes(path_, created, modified, accessed);
}

XpResult XpFile::SetTimes(const XpDateTime* created, const XpDateTime* modified,
                          const XpDateTime* accessed) {
  if (!IsOpen()) {
    return ApplyTimes(created, modified, accessed);
  }
  if (created != nullptr) pendingCreated_ = *created;
  if (modified != nullptr) pendingModified_ = *modified;
  if (accessed != nullptr) pendingAccessed_ = *accessed;
  return kXpOk;
}

bool XpFile::IsReadOnly() const { return XpFileIsReadOnly(path_); }

bool XpFile::IsHidden() const { return XpFileIsHidden(path_); }

XpResult XpFile::Open(XpOpenMode mode) {
  if (IsOpen()) {
    return kXpErrAlreadyOpen;
  }
  const XpResult begun = XpAbstractFile::Open(mode);
  if (begun != kXpOk) {
    return begun;
  }
  if ((mode & kXpOpenReadWrite) == 0) {
    return kXpErrBadArgument;
  }
  // A relative path would land below whatever the working folder is.
  if (path_.IsEmpty() || path_.CStr()[0] != kXpPathSeparator) {
    return kXpErrPathNotFound;
  }
  const XpResult result = OpenDescriptor(mode);
  if (result != kXpOk) {
    return result;
  }
  if ((mode & kXpOpenSequential) != 0) {
    XpSysCalls::Current().Fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  } else if ((mode & kXpOpenRandom) != 0) {
    XpSysCalls::Current().Fadvise(fd_, 0, 0, POSIX_FADV_RANDOM);
  }
  return kXpOk;
}

XpResult XpFile::OpenDescriptor(XpOpenMode mode) {
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA osPath = path_.ToMultiByte();
  const char* path = osPath.CStr();
  const XpOpenMode access = mode & kXpOpenReadWrite;
  int fd = -1;
  if (access == kXpOpenReadWrite) {
    fd = calls.Open(path, O_RDWR | O_CREAT, kNewFileMode);
    if (fd < 0) {
      return CreatingOpenResult(errno, mode);
    }
  } else if (access == kXpOpenWrite) {
    const XpResult created = XpCreateNewFile(path_);
    if (created != kXpOk && created != kXpErrAlreadyExists) {
      return created;
    }
    fd = calls.Open(path, O_WRONLY | O_TRUNC, 0);
    if (fd < 0) {
      return OpenResult(errno, path, mode);
    }
  } else {
    fd = calls.Open(path, O_RDONLY, 0);
    if (fd < 0) {
      return OpenResult(errno, path, mode);
    }
    // Linux opens a folder for reading; it is still not a file.
    struct stat info {};
    if (calls.Fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      calls.Close(fd);
      return OpenResult(EISDIR, path, mode);
    }
  }
  fd_ = fd;
  return kXpOk;
}

XpResult XpFile::Close() {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  const int status = XpSysCalls::Current().Close(fd_);
  const int error = errno;
  fd_ = -1;
  ResetCharacterState();
  if (status != 0) {
    return XpResultFromErrno(error);
  }
  if (!pendingCreated_ && !pendingModified_ && !pendingAccessed_) {
    return kXpOk;
  }
  const XpResult result =
      ApplyTimes(OrNull(pendingCreated_), OrNull(pendingModified_), OrNull(pendingAccessed_));
  // Applied once: a later open of this object, on this path or another,
  // must not bring them back.
  pendingCreated_.reset();
  pendingModified_.reset();
  pendingAccessed_.reset();
  return result;
}

XpResult XpFile::Read(void* buffer, uint64_t count, uint64_t* done) {
  if (done != nullptr) *done = 0;
  if (buffer == nullptr || count == 0) {
    return kXpErrBadArgument;
  }
  if (!IsOpen()) {
    return kXpErrWrongState;
  }
  XpSysCalls& calls = XpSysCalls::Current();
  char* bytes = static_cast<char*>(buffer);
  uint64_t total = 0;
  XpResult result = kXpOk;
  while (total < count) {
    const ssize_t moved = calls.Read(fd_, bytes + total, std::min(count - total, kMaxTransfer));
    if (moved < 0) {
      result = XpResultFromErrno(errno);
      break;
    }
    if (moved == 0) {
      result = kXpErrEndOfFile;
      break;
    }
    total += static_cast<uint64_t>(moved);
  }
  if (done != nullptr) *done = total;
  return result;
}

XpResult XpFile::Write(const void* buffer, uint64_t count, uint64_t* done) {
  if (done != nullptr) *done = 0;
  if (buffer == nullptr || count == 0) {
    return kXpErrBadArgument;
  }
  if (!IsOpen()) {
    return kXpErrWrongState;
  }
  if (count > std::numeric_limits<size_t>::max()) {
    return kXpErrBadArgument;
  }
  size_t written = 0;
  const XpResult result =
      XpWriteAll(XpSysCalls::Current(), fd_, buffer, static_cast<size_t>(count), &written);
  if (done != nullptr) *done = written;
  return result;
}

XpResult XpFile::Flush() { return kXpOk; }

XpResult XpFile::Sync() {
  if (!IsOpen()) {
    return kXpErrWrongState;
  }
  return XpSysCalls::Current().Fsync(fd_) == 0 ? kXpOk : XpResultFromErrno(errno);
}

XpResult XpFile::Seek(int64_t offset, int32_t origin) {
  if (!IsOpen()) {
    return kXpErrWrongState;
  }
  if (XpSysCalls::Current().Lseek(fd_, static_cast<off_t>(offset), Whence(origin)) < 0) {
    // EINVAL: the position would be negative.
    return errno == EINVAL ? kXpErrBadArgument : XpResultFromErrno(errno);
  }
  ResetCharacterState();
  return kXpOk;
}

int64_t XpFile::Tell() {
  if (!IsOpen()) {
    return -1;
  }
  const off_t position = XpSysCalls::Current().Lseek(fd_, 0, SEEK_CUR);
  return position < 0 ? -1 : static_cast<int64_t>(position);
}

XpResult XpFile::SetLength(uint64_t length) {
  if (!IsOpen()) {
    return kXpErrWrongState;
  }
  if (length > kMaxOffset) {
    return kXpErrBadArgument;
  }
  const int64_t position = Tell();
  XpResult result = Seek(static_cast<int64_t>(length), kXpSeekBegin);
  if (result != kXpOk) {
    return result;
  }
  if (XpSysCalls::Current().Ftruncate(fd_, static_cast<off_t>(length)) != 0) {
    return XpResultFromErrno(errno);
  }
  if (position >= 0 && static_cast<uint64_t>(position) < length) {
    return Seek(position, kXpSeekBegin);
  }
  return kXpOk;
}

XpResult XpFile::OpenPath(const XpString& path, XpOpenMode mode) {
  const XpResult result = SetFile(path);
  return result == kXpOk ? Open(mode) : result;
}

XpResult XpFile::SetFile(const XpString& path) {
  const XpResult closed = IsOpen() ? Close() : kXpOk;
  const XpResult set = SetPath(path);
  // A failed close may have lost what was written to the old file.
  return closed != kXpOk ? closed : set;
}

XpString XpFile::GetFilePath() const { return GetPath(); }

XpResult XpFile::ApplyTimes(const XpDateTime*, const XpDateTime* modified,
                            const XpDateTime* accessed) {
  // Index 0 is the access time, 1 the modification time.
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (accessed != nullptr && !accessed->ToFileTime(&times[0])) {
    return kXpErrBadArgument;
  }
  if (modified != nullptr && !modified->ToFileTime(&times[1])) {
    return kXpErrBadArgument;
  }
  const XpStringA osPath = path_.ToMultiByte();
  if (XpSysCalls::Current().Utimensat(osPath.CStr(), times, 0) != 0) {
    return XpResultFromErrno(errno, osPath.CStr());
  }
  return kXpOk;
}

int64_t XpGetFileSize(const char16_t* path) {
  if (path == nullptr) {
    return -1;
  }
  XpFile file{XpString(path)};
  return file.GetSize();
}
