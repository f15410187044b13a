#include "fsk/FskFile.h"

#include <cerrno>
#include <map>
#include <memory>
#include <string>

#include "FskPosixFileSystem.h"
#include "fsk/FskFileSystem.h"
#include "platform/result/XpResult.h"
#include "platform/result/XpResultTranslation.h"

struct FskFileRecord {
  std::unique_ptr<FskOpenFile> file;
  int64_t position = 0;
};

namespace {

FskFileSystem* Posix() {
  static FskPosixFileSystem posix;
  return &posix;
}

std::map<std::string, FskFileSystem*>& Mounts() {
  static std::map<std::string, FskFileSystem*> mounts{{"/", Posix()}};
  return mounts;
}

int32_t Fail(int error) {
  errno = error;
  return static_cast<int32_t>(XpResultFromErrno(error));
}

int32_t Finish(int error) { return error == 0 ? static_cast<int32_t>(kXpOk) : Fail(error); }

// The file system of path: the longest mounted prefix; null for a relative
// path.
FskFileSystem* FileSystemOf(const char* path) {
  if (path == nullptr || path[0] != '/') {
    return nullptr;
  }
  std::string_view text(path);
  FskFileSystem* best = nullptr;
  size_t bestLength = 0;
  for (const auto& [prefix, fileSystem] : Mounts()) {
    if (text.substr(0, prefix.size()) == prefix && prefix.size() >= bestLength) {
      best = fileSystem;
      bestLength = prefix.size();
    }
  }
  return best;
}

// A short transfer without a system error is the end of the file.
int32_t FinishTransfer(int error, size_t moved, size_t count) {
  if (error != 0) {
    return Fail(error);
  }
  if (moved < count) {
    errno = EIO;
    return static_cast<int32_t>(kXpErrEndOfFile);
  }
  return static_cast<int32_t>(kXpOk);
}

}  // namespace

void FskFileMount(const char* prefix, FskFileSystem* fileSystem) { Mounts()[prefix] = fileSystem; }

void FskFileUnmount(const char* prefix) {
  if (std::string_view(prefix) == "/") {
    Mounts()["/"] = Posix();
    return;
  }
  Mounts().erase(prefix);
}

int32_t FskFileOpen(const char* path, uint32_t permission, FskFile* out) {
  *out = nullptr;
  FskFileSystem* fileSystem = FileSystemOf(path);
  if (fileSystem == nullptr) {
    return Fail(ENOENT);
  }
  if (permission != kFskFilePermissionReadOnly && permission != kFskFilePermissionReadWrite) {
    return Fail(EINVAL);
  }
  std::unique_ptr<FskOpenFile> file;
  int error = fileSystem->Open(path, permission, &file);
  if (error != 0) {
    return Fail(error);
  }
  auto record = std::make_unique<FskFileRecord>();
  record->file = std::move(file);
  *out = record.release();
  return static_cast<int32_t>(kXpOk);
}

int32_t FskFileCreate(const char* path) {
  FskFileSystem* fileSystem = FileSystemOf(path);
  return fileSystem == nullptr ? Fail(ENOENT) : Finish(fileSystem->Create(path));
}

int32_t FskFileClose(FskFile file) {
  if (file == nullptr) {
    return static_cast<int32_t>(kXpOk);
  }
  std::unique_ptr<FskFileRecord> record(file);
  return Finish(record->file->Close());
}

int32_t FskFileDelete(const char* path) {
  FskFileSystem* fileSystem = FileSystemOf(path);
  return fileSystem == nullptr ? Fail(ENOENT) : Finish(fileSystem->Delete(path));
}

int32_t FskFileRead(FskFile file, size_t count, void* buffer, size_t* done) {
  size_t moved = 0;
  int error = file == nullptr ? EBADF : file->file->ReadAt(file->position, buffer, count, &moved);
  if (file != nullptr) {
    file->position += static_cast<int64_t>(moved);
  }
  if (done != nullptr) {
    *done = moved;
  }
  return FinishTransfer(error, moved, count);
}

int32_t FskFileWrite(FskFile file, size_t count, const void* buffer, size_t* done) {
  size_t moved = 0;
  int error = file == nullptr ? EBADF : file->file->WriteAt(file->position, buffer, count, &moved);
  if (file != nullptr) {
    file->position += static_cast<int64_t>(moved);
  }
  if (done != nullptr) {
    *done = moved;
  }
  return FinishTransfer(error, moved, count);
}

int32_t FskFileGetSize(FskFile file, int64_t* size) {
  return file == nullptr ? Fail(EBADF) : Finish(file->file->GetSize(size));
}

int32_t FskFileSetSize(FskFile file, int64_t size) {
  if (file == nullptr) {
    return Fail(EBADF);
  }
  return size < 0 ? Fail(EINVAL) : Finish(file->file->SetSize(size));
}

int32_t FskFileGetPosition(FskFile file, int64_t* position) {
  if (file == nullptr) {
    return Fail(EBADF);
  }
  *position = file->position;
  return static_cast<int32_t>(kXpOk);
}

int32_t FskFileSetPosition(FskFile file, int64_t position) {
  if (file == nullptr) {
    return Fail(EBADF);
  }
  if (position < 0) {
    return Fail(EINVAL);
  }
  file->position = position;
  return static_cast<int32_t>(kXpOk);
}
