#include "catalogdb/grammar/CatalogFileLayer.h"

#include <cerrno>
#include <cstddef>

namespace {

constexpr uint32_t kAccessFlags = kCatalogFileRead | kCatalogFileWrite;

int32_t Fail(int error) {
  errno = error;
  return -1;
}

FskFile OpenExisting(const char* path) {
  FskFile file = nullptr;
  return FskFileOpen(path, kFskFilePermissionReadWrite, &file) == 0 ? file : nullptr;
}

int64_t Transferred(int32_t result, size_t done) {
  if (result != 0 && errno == 0) {
    errno = EIO;
  }
  return static_cast<int64_t>(done);
}

}  // namespace

FskFile CatalogFileOpen(const char* path, uint32_t flags) {
  if ((flags & kAccessFlags) == 0) {
    Fail(EINVAL);
    return nullptr;
  }
  FskFile file = OpenExisting(path);
  if (file == nullptr && (flags & kCatalogFileCreate) != 0) {
    if (FskFileCreate(path) != 0 && errno != EEXIST) {
      return nullptr;
    }
    file = OpenExisting(path);
  }
  if (file == nullptr || (flags & kCatalogFileTruncate) == 0) {
    return file;
  }
  if (FskFileSetSize(file, 0) != 0) {
    int error = errno;
    (void)FskFileClose(file);
    Fail(error);
    return nullptr;
  }
  return file;
}

int64_t CatalogFileSize(FskFile file) {
  int64_t size = 0;
  return FskFileGetSize(file, &size) == 0 ? size : -1;
}

namespace {

// The target of a seek; false for an unknown code, an overflow or a failed
// call.
bool SeekTarget(FskFile file, int64_t offset, int32_t whence, int64_t* target) {
  int64_t base = 0;
  switch (whence) {
    case kCatalogSeekCurrent:
      return FskFileGetPosition(file, &base) == 0 && !__builtin_add_overflow(base, offset, target);
    case kCatalogSeekFromEnd:
      base = CatalogFileSize(file);
      return base >= 0 && !__builtin_sub_overflow(base, offset, target);
    case kCatalogSeekSet:
      *target = offset;
      return true;
    default:
      errno = EINVAL;
      return false;
  }
}

}  // namespace

int64_t CatalogFileSeek(FskFile file, int64_t offset, int32_t whence, CatalogSeekBeyondEnd beyondEnd) {
  errno = EINVAL;
  int64_t target = 0;
  if (!SeekTarget(file, offset, whence, &target)) {
    return -1;
  }
  if (target < 0) {
    return Fail(EINVAL);
  }
  if (beyondEnd == CatalogSeekBeyondEnd::kExtend) {
    int64_t size = CatalogFileSize(file);
    if (size < 0 || (target > size && FskFileSetSize(file, target) != 0)) {
      return -1;
    }
  }
  return FskFileSetPosition(file, target) == 0 ? target : -1;
}

int64_t CatalogFileRead(FskFile file, void* buffer, int64_t count) {
  if (count < 0) {
    return Fail(EINVAL);
  }
  errno = 0;
  size_t done = 0;
  int32_t result = FskFileRead(file, static_cast<size_t>(count), buffer, &done);
  return Transferred(result, done);
}

int64_t CatalogFileWrite(FskFile file, const void* buffer, int64_t count) {
  if (count < 0) {
    return Fail(EINVAL);
  }
  errno = 0;
  size_t done = 0;
  int32_t result = FskFileWrite(file, static_cast<size_t>(count), buffer, &done);
  return Transferred(result, done);
}

int32_t CatalogFileTruncate(FskFile file, int64_t size) {
  if (FskFileSetSize(file, size) != 0 || FskFileSetPosition(file, size) != 0) {
    return -1;
  }
  return 0;
}

int32_t CatalogFileClose(FskFile file) { return FskFileClose(file) == 0 ? 0 : -1; }

int32_t CatalogFileDelete(const char* path) { return FskFileDelete(path) == 0 ? 0 : -1; }
