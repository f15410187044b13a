#include "platform/fs/XpSysCalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/fs/XpRestarted.h"
#include "platform/fs/XpSysFailure.h"

namespace {

class XpPosixSysCalls final : public XpSysCalls {
 public:
  int Open(const char* path, int flags, mode_t mode) override {
    return XpRestarted([&] { return ::open(path, flags | O_CLOEXEC, mode); });
  }
  int Openat(int dirFd, const char* name, int flags, mode_t mode) override {
    return XpRestarted([&] { return ::openat(dirFd, name, flags | O_CLOEXEC, mode); });
  }
  int Close(int fd) override { return ::close(fd); }
  ssize_t Read(int fd, void* buffer, size_t count) override {
    return XpRestarted([&] { return ::read(fd, buffer, count); });
  }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    return XpRestarted([&] { return ::write(fd, buffer, count); });
  }
  ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override {
    return XpRestarted([&] { return ::pread(fd, buffer, count, offset); });
  }
  ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override {
    return XpRestarted([&] { return ::pwrite(fd, buffer, count, offset); });
  }
  ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                        size_t count) override {
    return XpRestarted(
        [&] { return ::copy_file_range(inFd, inOffset, outFd, outOffset, count, 0); });
  }
  off_t Lseek(int fd, off_t offset, int whence) override { return ::lseek(fd, offset, whence); }
  int Ftruncate(int fd, off_t length) override {
    return XpRestarted([&] { return ::ftruncate(fd, length); });
  }
  int Fsync(int fd) override {
    return XpRestarted([&] { return ::fsync(fd); });
  }
  int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) override {
    return XpRestarted([&] { return ::sync_file_range(fd, offset, count, flags); });
  }
  int Syncfs(int fd) override {
    return XpRestarted([&] { return ::syncfs(fd); });
  }
  int Fstat(int fd, struct stat* out) override { return ::fstat(fd, out); }
  int Fstatfs(int fd, struct statfs* out) override {
    return XpRestarted([&] { return ::fstatfs(fd, out); });
  }
  int Fadvise(int fd, off_t offset, off_t length, int advice) override {
    int error = ::posix_fadvise(fd, offset, length, advice);
    if (error == 0) {
      return 0;
    }
    errno = error;
    return -1;
  }
  int Fchmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
  int Ioctl(int fd, unsigned long request, void* argument) override {
    return XpRestarted([&] { return ::ioctl(fd, request, argument); });
  }
  int FcntlLock(int fd, int command, struct flock* lock) override {
    return XpRestarted([&] { return ::fcntl(fd, command, lock); });
  }
  int Flock(int fd, int operation) override {
    return XpRestarted([&] { return ::flock(fd, operation); });
  }
  int Mkdir(const char* path, mode_t mode) override { return ::mkdir(path, mode); }
  int Rmdir(const char* path) override { return ::rmdir(path); }
  int Unlink(const char* path) override { return ::unlink(path); }
  int Rename(const char* from, const char* to, unsigned int flags) override {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
  }
  int Stat(const char* path, struct stat* out) override { return ::stat(path, out); }
  int Lstat(const char* path, struct stat* out) override { return ::lstat(path, out); }
  int Statx(const char* path, int flags, unsigned int mask, struct statx* out) override {
    return ::statx(AT_FDCWD, path, flags, mask, out);
  }
  int Chmod(const char* path, mode_t mode) override { return ::chmod(path, mode); }
  int Access(const char* path, int mode) override {
    return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS);
  }
  int Utimensat(const char* path, const struct timespec times[2], int flags) override {
    return ::utimensat(AT_FDCWD, path, times, flags);
  }
  int Statvfs(const char* path, struct statvfs* out) override {
    return XpRestarted([&] { return ::statvfs(path, out); });
  }
  int Symlink(const char* target, const char* linkPath) override {
    return ::symlink(target, linkPath);
  }
  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    return ::readlink(path, buffer, size);
  }
  char* Realpath(const char* path, char* resolved) override { return ::realpath(path, resolved); }
  DIR* Opendir(const char* path) override {
    int fd = XpRestarted([&] { return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
      return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
      int error = errno;
      ::close(fd);
      errno = error;
    }
    return dir;
  }
  struct dirent* Readdir(DIR* dir) override { return ::readdir(dir); }
  int Closedir(DIR* dir) override { return ::closedir(dir); }
  int Pipe2(int fds[2], int flags) override { return ::pipe2(fds, flags | O_CLOEXEC); }
  int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
            const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) override {
    const int error = ::posix_spawn(pid, path, actions, attributes, argv, envp);
    if (error == 0) {
      return 0;
    }
    errno = error;
    return -1;
  }
};

XpPosixSysCalls gPosix;
std::atomic<XpSysCalls*> gInstalled{&gPosix};

XpSysCalls& Installed() { return *gInstalled.load(std::memory_order_acquire); }

// The path a descriptor is open on, for the failure record.
std::string PathOfDescriptor(int fd) {
  if (fd < 0) {
    return {};
  }
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  ssize_t length = ::readlink(link, target, sizeof target);
  if (length <= 0) {
    return {};
  }
  return std::string(target, static_cast<size_t>(length));
}

// name inside the folder at folder, for the failure record.
std::string PathIn(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') {
    path += '/';
  }
  return path + (name != nullptr ? name : "");
}

// Failures that callers ask for as answers rather than meet as trouble.
bool IsExpectedError(int error) { return error == EINTR || error == EAGAIN; }
bool IsProbeMiss(int error) { return error == ENOENT || error == ENOTDIR; }
bool IsUnsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTTY ||
         error == EXDEV || error == ENOTSUP;
}

void Record(const char* call, const std::string& path, int error) {
  if (IsExpectedError(error)) {
    return;
  }
  XpRecordSysFailure(call, path, error);
}

template <typename Result>
Result OnPath(Result result, const char* call, const char* path) {
  if (result == -1) {
    int error = errno;
    Record(call, path != nullptr ? path : "", error);
    errno = error;
  }
  return result;
}

template <typename Result>
Result OnDescriptor(Result result, const char* call, int fd) {
  if (result == -1) {
    int error = errno;
    Record(call, PathOfDescriptor(fd), error);
    errno = error;
  }
  return result;
}

template <typename Result>
Result OnProbe(Result result, const char* call, const char* path) {
  if (result == -1 && !IsProbeMiss(errno)) {
    return OnPath(result, call, path);
  }
  return result;
}

// The front of the seam: forwards to the installed implementation and keeps
// each thread's last failure.
class XpRecordingSysCalls final : public XpSysCalls {
 public:
  int Open(const char* path, int flags, mode_t mode) override {
    int fd = Installed().Open(path, flags, mode);
    // An exclusive create that finds the name taken is a probe for a free name.
    if (fd == -1 && errno == EEXIST && (flags & O_EXCL) != 0) {
      return fd;
    }
    return OnPath(fd, "open", path);
  }
  int Openat(int dirFd, const char* name, int flags, mode_t mode) override {
    int fd = Installed().Openat(dirFd, name, flags, mode);
    if (fd == -1 && errno == EEXIST && (flags & O_EXCL) != 0) {
      return fd;
    }
    if (fd == -1) {
      int error = errno;
      Record("open", PathIn(PathOfDescriptor(dirFd), name), error);
      errno = error;
    }
    return fd;
  }
  // The descriptor is gone once close returns, so its failure names no path.
  int Close(int fd) override { return OnPath(Installed().Close(fd), "close", nullptr); }
  ssize_t Read(int fd, void* buffer, size_t count) override {
    return OnDescriptor(Installed().Read(fd, buffer, count), "read", fd);
  }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    return OnDescriptor(Installed().Write(fd, buffer, count), "write", fd);
  }
  ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override {
    return OnDescriptor(Installed().Pread(fd, buffer, count, offset), "read", fd);
  }
  ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override {
    return OnDescriptor(Installed().Pwrite(fd, buffer, count, offset), "write", fd);
  }
  ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                        size_t count) override {
    ssize_t result = Installed().CopyFileRange(inFd, inOffset, outFd, outOffset, count);
    if (result == -1 && !IsUnsupported(errno)) {
      return OnDescriptor(result, "write", outFd);
    }
    return result;
  }
  off_t Lseek(int fd, off_t offset, int whence) override {
    off_t result = Installed().Lseek(fd, offset, whence);
    // SEEK_DATA and SEEK_HOLE answer ENXIO past the last data.
    if (result == -1 && errno == ENXIO && (whence == SEEK_DATA || whence == SEEK_HOLE)) {
      return result;
    }
    return OnDescriptor(result, "lseek", fd);
  }
  int Ftruncate(int fd, off_t length) override {
    return OnDescriptor(Installed().Ftruncate(fd, length), "ftruncate", fd);
  }
  int Fsync(int fd) override { return OnDescriptor(Installed().Fsync(fd), "fsync", fd); }
  int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) override {
    // A hint: the fsync that follows reports what matters.
    return Installed().SyncFileRange(fd, offset, count, flags);
  }
  int Syncfs(int fd) override { return OnDescriptor(Installed().Syncfs(fd), "syncfs", fd); }
  int Fstat(int fd, struct stat* out) override {
    return OnDescriptor(Installed().Fstat(fd, out), "fstat", fd);
  }
  int Fstatfs(int fd, struct statfs* out) override {
    return OnDescriptor(Installed().Fstatfs(fd, out), "fstatfs", fd);
  }
  int Fadvise(int fd, off_t offset, off_t length, int advice) override {
    return Installed().Fadvise(fd, offset, length, advice);
  }
  int Fchmod(int fd, mode_t mode) override {
    return OnDescriptor(Installed().Fchmod(fd, mode), "fchmod", fd);
  }
  int Ioctl(int fd, unsigned long request, void* argument) override {
    int result = Installed().Ioctl(fd, request, argument);
    if (result == -1 && !IsUnsupported(errno)) {
      return OnDescriptor(result, "ioctl", fd);
    }
    return result;
  }
  int FcntlLock(int fd, int command, struct flock* lock) override {
    int result = Installed().FcntlLock(fd, command, lock);
    if (result == -1 && errno != EACCES) {
      return OnDescriptor(result, "lock", fd);
    }
    return result;
  }
  int Flock(int fd, int operation) override {
    int result = Installed().Flock(fd, operation);
    if (result == -1 && errno != EWOULDBLOCK) {
      return OnDescriptor(result, "lock", fd);
    }
    return result;
  }
  int Mkdir(const char* path, mode_t mode) override {
    int result = Installed().Mkdir(path, mode);
    if (result == -1 && errno != EEXIST) {
      return OnPath(result, "mkdir", path);
    }
    return result;
  }
  int Rmdir(const char* path) override {
    int result = Installed().Rmdir(path);
    if (result == -1 && errno != ENOENT) {
      return OnPath(result, "rmdir", path);
    }
    return result;
  }
  int Unlink(const char* path) override {
    int result = Installed().Unlink(path);
    if (result == -1 && errno != ENOENT) {
      return OnPath(result, "unlink", path);
    }
    return result;
  }
  int Rename(const char* from, const char* to, unsigned int flags) override {
    int result = Installed().Rename(from, to, flags);
    if (result == -1 && !(errno == EEXIST && flags != 0) && !(IsUnsupported(errno) && flags != 0)) {
      return OnPath(result, "rename", from);
    }
    return result;
  }
  int Stat(const char* path, struct stat* out) override {
    return OnProbe(Installed().Stat(path, out), "stat", path);
  }
  int Lstat(const char* path, struct stat* out) override {
    return OnProbe(Installed().Lstat(path, out), "stat", path);
  }
  int Statx(const char* path, int flags, unsigned int mask, struct statx* out) override {
    return OnProbe(Installed().Statx(path, flags, mask, out), "stat", path);
  }
  int Chmod(const char* path, mode_t mode) override {
    return OnPath(Installed().Chmod(path, mode), "chmod", path);
  }
  // An access check is a question; its "no" is the answer.
  int Access(const char* path, int mode) override { return Installed().Access(path, mode); }
  int Utimensat(const char* path, const struct timespec times[2], int flags) override {
    return OnPath(Installed().Utimensat(path, times, flags), "utimensat", path);
  }
  int Statvfs(const char* path, struct statvfs* out) override {
    return OnProbe(Installed().Statvfs(path, out), "statvfs", path);
  }
  int Symlink(const char* target, const char* linkPath) override {
    int result = Installed().Symlink(target, linkPath);
    if (result == -1 && errno != EEXIST) {
      return OnPath(result, "symlink", linkPath);
    }
    return result;
  }
  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    ssize_t result = Installed().Readlink(path, buffer, size);
    if (result == -1 && errno != EINVAL) {
      return OnProbe(result, "readlink", path);
    }
    return result;
  }
  char* Realpath(const char* path, char* resolved) override {
    char* result = Installed().Realpath(path, resolved);
    if (result == nullptr && !IsProbeMiss(errno)) {
      int error = errno;
      Record("realpath", path, error);
      errno = error;
    }
    return result;
  }
  DIR* Opendir(const char* path) override {
    DIR* dir = Installed().Opendir(path);
    if (dir == nullptr) {
      int error = errno;
      Record("opendir", path, error);
      errno = error;
    }
    return dir;
  }
  struct dirent* Readdir(DIR* dir) override {
    int before = errno;
    errno = 0;
    struct dirent* entry = Installed().Readdir(dir);
    if (entry == nullptr && errno != 0) {
      int error = errno;
      Record("readdir", PathOfDescriptor(::dirfd(dir)), error);
      errno = error;
      return nullptr;
    }
    errno = before;
    return entry;
  }
  int Closedir(DIR* dir) override { return Installed().Closedir(dir); }
  int Pipe2(int fds[2], int flags) override { return OnPath(Installed().Pipe2(fds, flags), "pipe2", nullptr); }
  int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
            const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) override {
    return OnPath(Installed().Spawn(pid, path, actions, attributes, argv, envp), "spawn", path);
  }
};

XpRecordingSysCalls gRecording;

}  // namespace

XpSysCalls& XpSysCalls::Current() { return gRecording; }

XpSysCalls& XpSysCalls::Installed() { return ::Installed(); }

XpSysCalls& XpSysCalls::Posix() { return gPosix; }

XpSysCalls* XpSysCalls::Install(XpSysCalls* replacement) {
  return gInstalled.exchange(replacement ? replacement : &gPosix, std::memory_order_acq_rel);
}

XpSysCallsWrapper::XpSysCallsWrapper(XpSysCalls& target)
    : target_(&target == &gRecording ? ::Installed() : target) {}

int XpSysCallsWrapper::Open(const char* path, int flags, mode_t mode) {
  return target_.Open(path, flags, mode);
}
int XpSysCallsWrapper::Openat(int dirFd, const char* name, int flags, mode_t mode) {
  return target_.Openat(dirFd, name, flags, mode);
}
int XpSysCallsWrapper::Close(int fd) { return target_.Close(fd); }
ssize_t XpSysCallsWrapper::Read(int fd, void* buffer, size_t count) {
  return target_.Read(fd, buffer, count);
}
ssize_t XpSysCallsWrapper::Write(int fd, const void* buffer, size_t count) {
  return target_.Write(fd, buffer, count);
}
ssize_t XpSysCallsWrapper::Pread(int fd, void* buffer, size_t count, off_t offset) {
  return target_.Pread(fd, buffer, count, offset);
}
ssize_t XpSysCallsWrapper::Pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  return target_.Pwrite(fd, buffer, count, offset);
}
ssize_t XpSysCallsWrapper::CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                         size_t count) {
  return target_.CopyFileRange(inFd, inOffset, outFd, outOffset, count);
}
off_t XpSysCallsWrapper::Lseek(int fd, off_t offset, int whence) {
  return target_.Lseek(fd, offset, whence);
}
int XpSysCallsWrapper::Ftruncate(int fd, off_t length) { return target_.Ftruncate(fd, length); }
int XpSysCallsWrapper::Fsync(int fd) { return target_.Fsync(fd); }
int XpSysCallsWrapper::SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) {
  return target_.SyncFileRange(fd, offset, count, flags);
}
int XpSysCallsWrapper::Syncfs(int fd) { return target_.Syncfs(fd); }
int XpSysCallsWrapper::Fstat(int fd, struct stat* out) { return target_.Fstat(fd, out); }
int XpSysCallsWrapper::Fstatfs(int fd, struct statfs* out) { return target_.Fstatfs(fd, out); }
int XpSysCallsWrapper::Fadvise(int fd, off_t offset, off_t length, int advice) {
  return target_.Fadvise(fd, offset, length, advice);
}
int XpSysCallsWrapper::Fchmod(int fd, mode_t mode) { return target_.Fchmod(fd, mode); }
int XpSysCallsWrapper::Ioctl(int fd, unsigned long request, void* argument) {
  return target_.Ioctl(fd, request, argument);
}
int XpSysCallsWrapper::FcntlLock(int fd, int command, struct flock* lock) {
  return target_.FcntlLock(fd, command, lock);
}
int XpSysCallsWrapper::Flock(int fd, int operation) { return target_.Flock(fd, operation); }
int XpSysCallsWrapper::Mkdir(const char* path, mode_t mode) { return target_.Mkdir(path, mode); }
int XpSysCallsWrapper::Rmdir(const char* path) { return target_.Rmdir(path); }
int XpSysCallsWrapper::Unlink(const char* path) { return target_.Unlink(path); }
int XpSysCallsWrapper::Rename(const char* from, const char* to, unsigned int flags) {
  return target_.Rename(from, to, flags);
}
int XpSysCallsWrapper::Stat(const char* path, struct stat* out) { return target_.Stat(path, out); }
int XpSysCallsWrapper::Lstat(const char* path, struct stat* out) {
  return target_.Lstat(path, out);
}
int XpSysCallsWrapper::Statx(const char* path, int flags, unsigned int mask, struct statx* out) {
  return target_.Statx(path, flags, mask, out);
}
int XpSysCallsWrapper::Chmod(const char* path, mode_t mode) { return target_.Chmod(path, mode); }
int XpSysCallsWrapper::Access(const char* path, int mode) { return target_.Access(path, mode); }
int XpSysCallsWrapper::Utimensat(const char* path, const struct timespec times[2], int flags) {
  return target_.Utimensat(path, times, flags);
}
int XpSysCallsWrapper::Statvfs(const char* path, struct statvfs* out) {
  return target_.Statvfs(path, out);
}
int XpSysCallsWrapper::Symlink(const char* target, const char* linkPath) {
  return target_.Symlink(target, linkPath);
}
ssize_t XpSysCallsWrapper::Readlink(const char* path, char* buffer, size_t size) {
  return target_.Readlink(path, buffer, size);
}
char* XpSysCallsWrapper::Realpath(const char* path, char* resolved) {
  return target_.Realpath(path, resolved);
}
DIR* XpSysCallsWrapper::Opendir(const char* path) { return target_.Opendir(path); }
struct dirent* XpSysCallsWrapper::Readdir(DIR* dir) { return target_.Readdir(dir); }
int XpSysCallsWrapper::Closedir(DIR* dir) { return target_.Closedir(dir); }
int XpSysCallsWrapper::Pipe2(int fds[2], int flags) { return target_.Pipe2(fds, flags); }
int XpSysCallsWrapper::Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                             const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
  return target_.Spawn(pid, path, actions, attributes, argv, envp);
}
