#include "FskPosixFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "fsk/FskFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"

namespace {

constexpr mode_t kNewFileMode = 0666;

int LastError() { return errno != 0 ? errno : EIO; }

class PosixOpenFile : public FskOpenFile {
 public:
  explicit PosixOpenFile(int fd) : fd_(fd) {}
  ~PosixOpenFile() override { Close(); }

  int ReadAt(int64_t offset, void* buffer, size_t count, size_t* done) override {
    return Transfer(offset, count, done, [&](size_t at, size_t n) {
      return XpSysCalls::Current().Read(fd_, static_cast<char*>(buffer) + at, n);
    });
  }

  // A write that moves nothing is a full medium (ENOSPC), never success.
  int WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done) override {
    *done = 0;
    if (XpSysCalls::Current().Lseek(fd_, offset, SEEK_SET) < 0) {
      return LastError();
    }
    if (XpFailed(XpWriteAll(XpSysCalls::Current(), fd_, buffer, count, done))) {
      return LastError();
    }
    return 0;
  }

  int GetSize(int64_t* size) override {
    struct stat status {};
    if (XpSysCalls::Current().Fstat(fd_, &status) != 0) {
      return LastError();
    }
    *size = status.st_size;
    return 0;
  }

  int SetSize(int64_t size) override {
    return XpSysCalls::Current().Ftruncate(fd_, size) == 0 ? 0 : LastError();
  }

  int Close() override {
    if (fd_ < 0) {
      return 0;
    }
    int fd = fd_;
    fd_ = -1;
    return XpSysCalls::Current().Close(fd) == 0 ? 0 : LastError();
  }

 private:
  // Reads until count bytes moved, the file ends (a read of 0 bytes) or a
  // read fails.
  template <typename Step>
  int Transfer(int64_t offset, size_t count, size_t* done, Step step) {
    *done = 0;
    if (XpSysCalls::Current().Lseek(fd_, offset, SEEK_SET) < 0) {
      return LastError();
    }
    while (*done < count) {
      ssize_t moved = step(*done, count - *done);
      if (moved < 0) {
        return LastError();
      }
      if (moved == 0) {
        return 0;
      }
      *done += static_cast<size_t>(moved);
    }
    return 0;
  }

  int fd_;
};

}  // namespace

int FskPosixFileSystem::Open(const char* path, uint32_t permission, std::unique_ptr<FskOpenFile>* out) {
  int flags = permission == kFskFilePermissionReadWrite ? O_RDWR : O_RDONLY;
  int fd = XpSysCalls::Current().Open(path, flags, 0);
  if (fd < 0) {
    return LastError();
  }
  struct stat status {};
  int error = 0;
  if (XpSysCalls::Current().Fstat(fd, &status) != 0) {
    error = LastError();
  } else if (S_ISDIR(status.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(status.st_mode)) {
    error = EINVAL;
  }
  if (error != 0) {
    (void)XpSysCalls::Current().Close(fd);
    return error;
  }
  *out = std::make_unique<PosixOpenFile>(fd);
  return 0;
}

int FskPosixFileSystem::Create(const char* path) {
  int fd = XpSysCalls::Current().Open(path, O_RDWR | O_CREAT | O_EXCL, kNewFileMode);
  if (fd < 0) {
    return LastError();
  }
  return XpSysCalls::Current().Close(fd) == 0 ? 0 : LastError();
}

int FskPosixFileSystem::Delete(const char* path) {
  return XpSysCalls::Current().Unlink(path) == 0 ? 0 : LastError();
}
