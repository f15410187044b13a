#include "platform/fs/XpSysCalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

class XpPosixSysCalls final : public XpSysCalls {
 public:
  int Open(const char* path, int flags, mode_t mode) override {
    return ::open(path, flags | O_CLOEXEC, mode);
  }
  int Close(int fd) override { return ::close(fd); }
  ssize_t Read(int fd, void* buffer, size_t count) override { return ::read(fd, buffer, count); }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    return ::write(fd, buffer, count);
  }
  ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override {
    return ::pread(fd, buffer, count, offset);
  }
  ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override {
    return ::pwrite(fd, buffer, count, offset);
  }
  ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                        size_t count) override {
    return ::copy_file_range(inFd, inOffset, outFd, outOffset, count, 0);
  }
  off_t Lseek(int fd, off_t offset, int whence) override { return ::lseek(fd, offset, whence); }
  int Ftruncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
  int Fsync(int fd) override { return ::fsync(fd); }
  int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) override {
    return ::sync_file_range(fd, offset, count, flags);
  }
  int Fstat(int fd, struct stat* out) override { return ::fstat(fd, out); }
  int Fstatfs(int fd, struct statfs* out) override { return ::fstatfs(fd, out); }
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
    return ::ioctl(fd, request, argument);
  }
  int FcntlLock(int fd, int command, struct flock* lock) override {
    return ::fcntl(fd, command, lock);
  }
  int Flock(int fd, int operation) override { return ::flock(fd, operation); }
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
  int Statvfs(const char* path, struct statvfs* out) override { return ::statvfs(path, out); }
  int Symlink(const char* target, const char* linkPath) override {
    return ::symlink(target, linkPath);
  }
  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    return ::readlink(path, buffer, size);
  }
  char* Realpath(const char* path, char* resolved) override { return ::realpath(path, resolved); }
  DIR* Opendir(const char* path) override {
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
};

XpPosixSysCalls gPosix;
std::atomic<XpSysCalls*> gCurrent{&gPosix};

}  // namespace

XpSysCalls& XpSysCalls::Current() { return *gCurrent.load(std::memory_order_acquire); }

XpSysCalls& XpSysCalls::Posix() { return gPosix; }

XpSysCalls* XpSysCalls::Install(XpSysCalls* replacement) {
  return gCurrent.exchange(replacement ? replacement : &gPosix, std::memory_order_acq_rel);
}

int XpSysCallsWrapper::Open(const char* path, int flags, mode_t mode) {
  return target_.Open(path, flags, mode);
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
