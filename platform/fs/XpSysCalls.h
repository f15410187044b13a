#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>

// The one door through which the file layer reaches the operating system.
// Each operation has the shape of the system call it wraps: paths are UTF-8,
// a failure returns -1 (null for the pointer results) and leaves errno set.
// A call that a signal interrupts is repeated inside, so EINTR never comes
// back (close excepted, which Linux never needs repeated).
// Production code goes through the POSIX implementation; tests install a
// replacement that makes chosen calls fail or come up short.
//
// Example: a read through the seam, and a test that makes one call fail.
//
//   XpSysCalls& calls = XpSysCalls::Current();
//   const int fd = calls.Open(path, O_RDONLY, 0);
//   if (fd < 0) return XpResultFromErrno(errno, path);
//   char head[4];
//   const ssize_t got = calls.Read(fd, head, sizeof head);
//   calls.Close(fd);
//   if (got < 0) return XpResultFromErrno(errno);
//
//   // In a test: change one call, pass the others on.
//   class FailingFsync : public XpSysCallsWrapper {
//    public:
//     FailingFsync() : XpSysCallsWrapper(XpSysCalls::Current()) {}
//     int Fsync(int) override { errno = EIO; return -1; }
//   };
//   FailingFsync failing;
//   XpSysCalls* previous = XpSysCalls::Install(&failing);
//   ...                            // every Fsync now fails with EIO
//   XpSysCalls::Install(previous);
class XpSysCalls {
 public:
  virtual ~XpSysCalls() = default;

  // open(2) with O_CLOEXEC added.
  virtual int Open(const char* path, int flags, mode_t mode) = 0;
  // openat(2) relative to the folder open on dirFd, with O_CLOEXEC added.
  virtual int Openat(int dirFd, const char* name, int flags, mode_t mode) = 0;
  virtual int Close(int fd) = 0;
  virtual ssize_t Read(int fd, void* buffer, size_t count) = 0;
  virtual ssize_t Write(int fd, const void* buffer, size_t count) = 0;
  virtual ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) = 0;
  virtual ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) = 0;
  // copy_file_range(2) with explicit offsets, which it advances.
  virtual ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                size_t count) = 0;
  // Also SEEK_DATA and SEEK_HOLE.
  virtual off_t Lseek(int fd, off_t offset, int whence) = 0;
  virtual int Ftruncate(int fd, off_t length) = 0;
  virtual int Fsync(int fd) = 0;
  // sync_file_range(2): with SYNC_FILE_RANGE_WRITE it starts writing the
  // range back without waiting, so a later Fsync waits less.
  virtual int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) = 0;
  // syncfs(2): waits until everything written to the file system holding fd
  // is on the medium, names and folders included.
  virtual int Syncfs(int fd) = 0;
  virtual int Fstat(int fd, struct stat* out) = 0;
  virtual int Fstatfs(int fd, struct statfs* out) = 0;
  // posix_fadvise; returns 0 or -1 with errno like the other calls.
  virtual int Fadvise(int fd, off_t offset, off_t length, int advice) = 0;
  virtual int Fchmod(int fd, mode_t mode) = 0;
  virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
  // fcntl(2) with a record lock: F_OFD_SETLK, F_OFD_SETLKW, F_OFD_GETLK and
  // the classic lock commands.
  virtual int FcntlLock(int fd, int command, struct flock* lock) = 0;
  virtual int Flock(int fd, int operation) = 0;

  virtual int Mkdir(const char* path, mode_t mode) = 0;
  virtual int Rmdir(const char* path) = 0;
  virtual int Unlink(const char* path) = 0;
  // renameat2 relative to the working folder; flags 0 is a plain rename.
  virtual int Rename(const char* from, const char* to, unsigned int flags) = 0;
  virtual int Stat(const char* path, struct stat* out) = 0;
  virtual int Lstat(const char* path, struct stat* out) = 0;
  // statx relative to the working folder.
  virtual int Statx(const char* path, int flags, unsigned int mask, struct statx* out) = 0;
  virtual int Chmod(const char* path, mode_t mode) = 0;
  // faccessat relative to the working folder, with AT_EACCESS: the
  // effective ids decide.
  virtual int Access(const char* path, int mode) = 0;
  // utimensat relative to the working folder.
  virtual int Utimensat(const char* path, const struct timespec times[2], int flags) = 0;
  virtual int Statvfs(const char* path, struct statvfs* out) = 0;
  virtual int Symlink(const char* target, const char* linkPath) = 0;
  virtual ssize_t Readlink(const char* path, char* buffer, size_t size) = 0;
  // realpath with a caller buffer of PATH_MAX bytes.
  virtual char* Realpath(const char* path, char* resolved) = 0;

  // open(O_RDONLY|O_DIRECTORY|O_CLOEXEC), then fdopendir.
  virtual DIR* Opendir(const char* path) = 0;
  // Null at the end (errno unchanged) or on a failure (errno set).
  virtual struct dirent* Readdir(DIR* dir) = 0;
  virtual int Closedir(DIR* dir) = 0;

  // pipe2(2) with O_CLOEXEC added.
  virtual int Pipe2(int fds[2], int flags) = 0;
  // posix_spawn(3), with its answer as the other calls give theirs: 0, or
  // -1 with errno set.
  virtual int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                    const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) = 0;

  // The implementation every call goes through: it forwards to the installed
  // one and records each thread's last failure (XpSysFailure.h).
  static XpSysCalls& Current();
  // The installed implementation (the real calls unless a test replaced
  // them).
  static XpSysCalls& Installed();
  // The real system calls.
  static XpSysCalls& Posix();
  // For tests: routes every call through replacement (null restores the
  // real calls) and returns the one it replaces. The replacement must
  // outlive its use.
  static XpSysCalls* Install(XpSysCalls* replacement);
};

// Forwards every call to a target; a base for implementations that change a
// few calls and pass the rest on. A target of Current() means the
// implementation installed at construction.
class XpSysCallsWrapper : public XpSysCalls {
 public:
  explicit XpSysCallsWrapper(XpSysCalls& target);

  int Open(const char* path, int flags, mode_t mode) override;
  int Openat(int dirFd, const char* name, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, size_t count) override;
  ssize_t Write(int fd, const void* buffer, size_t count) override;
  ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override;
  ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override;
  ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                        size_t count) override;
  off_t Lseek(int fd, off_t offset, int whence) override;
  int Ftruncate(int fd, off_t length) override;
  int Fsync(int fd) override;
  int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) override;
  int Syncfs(int fd) override;
  int Fstat(int fd, struct stat* out) override;
  int Fstatfs(int fd, struct statfs* out) override;
  int Fadvise(int fd, off_t offset, off_t length, int advice) override;
  int Fchmod(int fd, mode_t mode) override;
  int Ioctl(int fd, unsigned long request, void* argument) override;
  int FcntlLock(int fd, int command, struct flock* lock) override;
  int Flock(int fd, int operation) override;
  int Mkdir(const char* path, mode_t mode) override;
  int Rmdir(const char* path) override;
  int Unlink(const char* path) override;
  int Rename(const char* from, const char* to, unsigned int flags) override;
  int Stat(const char* path, struct stat* out) override;
  int Lstat(const char* path, struct stat* out) override;
  int Statx(const char* path, int flags, unsigned int mask, struct statx* out) override;
  int Chmod(const char* path, mode_t mode) override;
  int Access(const char* path, int mode) override;
  int Utimensat(const char* path, const struct timespec times[2], int flags) override;
  int Statvfs(const char* path, struct statvfs* out) override;
  int Symlink(const char* target, const char* linkPath) override;
  ssize_t Readlink(const char* path, char* buffer, size_t size) override;
  char* Realpath(const char* path, char* resolved) override;
  DIR* Opendir(const char* path) override;
  struct dirent* Readdir(DIR* dir) override;
  int Closedir(DIR* dir) override;
  int Pipe2(int fds[2], int flags) override;
  int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
            const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) override;

  XpSysCalls& Target() const { return target_; }

 private:
  XpSysCalls& target_;
};
