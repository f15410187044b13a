#include "platform/memory/XpMemoryMappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr mode_t kNewFileMode = 0666;

uintptr_t PageSize() {
  static const uintptr_t pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  return pageSize;
}

int64_t RoundUp(int64_t value, int64_t unit) { return (value + unit - 1) / unit * unit; }

int ProtectionFor(uint32_t access) {
  switch (access) {
    case kXpMapAccessReadWrite:
      return PROT_READ | PROT_WRITE;
    case kXpMapAccessNone:
      return PROT_NONE;
    default:
      return PROT_READ;
  }
}

}  // namespace

struct XpMemoryMappedFile::FileImpl {
  FileImpl(const XpString& path, int64_t size, uint32_t access, uint32_t shareMode,
           bool writeThrough, bool randomAccess)
      : path(path),
        size(size),
        access(access),
        shareMode(shareMode),
        writeThrough(writeThrough),
        randomAccess(randomAccess) {}
  FileImpl(const FileImpl&) = delete;
  FileImpl& operator=(const FileImpl&) = delete;
  ~FileImpl() { CloseDescriptor(); }

  // A mapping whose writes reach the file.
  bool IsWritable() const {
    return access == kXpMapAccessReadWrite && shareMode != kXpMapShareCopyOnWrite;
  }
  bool IsPrivate() const { return shareMode == kXpMapShareCopyOnWrite; }

  XpResult OpenMapping();
  void CloseDescriptor();

  // Held while open: views are mapped from it later.
  int fd = -1;
  XpString path;
  int64_t size;
  uint32_t access;
  uint32_t shareMode;
  bool writeThrough;
  bool randomAccess;

 private:
  XpResult FitSize(int64_t fileSize);
};

XpResult XpMemoryMappedFile::FileImpl::OpenMapping() {
  CloseDescriptor();
  if (size < 0) {
    return kXpErrBadArgument;
  }
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA utf8 = path.ToMultiByte();
  int flags = access == kXpMapAccessReadWrite ? (O_RDWR | O_CREAT) : O_RDONLY;
  if (writeThrough) {
    flags |= O_DSYNC;
  }
  const int opened = calls.Open(utf8.CStr(), flags, kNewFileMode);
  if (opened < 0) {
    return XpResultFromErrno(errno, utf8.CStr());
  }
  fd = opened;
  // Only a hint: a refusal changes nothing.
  calls.Fadvise(fd, 0, 0, randomAccess ? POSIX_FADV_RANDOM : POSIX_FADV_SEQUENTIAL);
  struct stat info {};
  if (calls.Fstat(fd, &info) != 0) {
    const XpResult result = XpResultFromErrno(errno);
    CloseDescriptor();
    return result;
  }
  const XpResult result =
      S_ISREG(info.st_mode) ? FitSize(static_cast<int64_t>(info.st_size)) : kXpErrInvalidFile;
  if (result != kXpOk) {
    CloseDescriptor();
  }
  return result;
}

// Size 0 takes the file's size; a writable mapping grows the file to a
// larger size, any other cannot reach past the file's end.
XpResult XpMemoryMappedFile::FileImpl::FitSize(int64_t fileSize) {
  if (size == 0) {
    if (fileSize == 0) {
      return kXpErrInvalidFile;
    }
    size = fileSize;
    return kXpOk;
  }
  if (size <= fileSize) {
    return kXpOk;
  }
  if (!IsWritable()) {
    return kXpErrInvalidFile;
  }
  if (XpSysCalls::Current().Ftruncate(fd, static_cast<off_t>(size)) != 0) {
    return XpResultFromErrno(errno);
  }
  return kXpOk;
}

void XpMemoryMappedFile::FileImpl::CloseDescriptor() {
  if (fd >= 0) {
    XpSysCalls::Current().Close(fd);
    fd = -1;
  }
}

struct XpMemoryMappedFile::ViewImpl {
  ViewImpl(int64_t offset, uint32_t length, void* baseHint, uint32_t access, bool copyOnWrite)
      : offset(offset),
        length(length),
        baseHint(reinterpret_cast<uintptr_t>(baseHint) -
                 reinterpret_cast<uintptr_t>(baseHint) % kAllocationGranularity),
        access(access),
        copyOnWrite(copyOnWrite) {}
  ViewImpl(const ViewImpl&) = delete;
  ViewImpl& operator=(const ViewImpl&) = delete;
  ~ViewImpl() { Unmap(); }

  bool IsMapped() const { return base != nullptr; }
  // Bytes asked for from offset: length, or up to the end of the file.
  int64_t WantedLength(int64_t at, uint32_t count) const {
    return count == 0 ? file->size - at : count;
  }
  bool Covers(int64_t at, uint32_t count) const {
    return at >= mappedOffset && at < file->size &&
           at + WantedLength(at, count) <= mappedOffset + (end - base);
  }

  XpResult Remap();
  void Unmap();
  // The pages of the data range that lie in the mapping.
  void PageRange(uint8_t** start, size_t* bytes) const;
  // Moves the data range to (at, count), mapping anew when needed.
  XpResult MoveTo(int64_t at, uint32_t count);

  uint8_t* base = nullptr;
  uint8_t* end = nullptr;
  uint8_t* data = nullptr;
  // File offset of base.
  int64_t mappedOffset = 0;
  bool mappedPrivate = false;
  XpSharedPtr<FileImpl> file;
  int64_t offset;
  uint32_t length;
  uintptr_t baseHint;
  uint32_t access;
  bool copyOnWrite;
};

XpResult XpMemoryMappedFile::ViewImpl::Remap() {
  Unmap();
  if (!file) {
    return kXpErrWrongState;
  }
  if (offset < 0) {
    return kXpErrBadArgument;
  }
  if (file->fd < 0) {
    const XpResult opened = file->OpenMapping();
    if (opened != kXpOk) {
      return opened;
    }
  }
  // The file may have shrunk since it was opened; pages past its end fault.
  struct stat info {};
  if (XpSysCalls::Current().Fstat(file->fd, &info) != 0) {
    return XpResultFromErrno(errno);
  }
  const int64_t mappable = std::min(file->size, static_cast<int64_t>(info.st_size));
  if (offset >= mappable) {
    return kXpOk;
  }
  const int64_t aligned = offset - offset % kAllocationGranularity;
  const int64_t rounded =
      RoundUp(WantedLength(offset, length) + (offset - aligned), kAllocationGranularity);
  const int64_t bytes = std::min(rounded, mappable - aligned);
  mappedPrivate = copyOnWrite || file->IsPrivate();
  void* mapped = ::mmap(reinterpret_cast<void*>(baseHint), static_cast<size_t>(bytes),
                        ProtectionFor(access), mappedPrivate ? MAP_PRIVATE : MAP_SHARED,
                        file->fd, static_cast<off_t>(aligned));
  if (mapped == MAP_FAILED) {
    return XpResultFromErrno(errno);
  }
  base = static_cast<uint8_t*>(mapped);
  end = base + bytes;
  data = base + (offset - aligned);
  mappedOffset = aligned;
  return kXpOk;
}

void XpMemoryMappedFile::ViewImpl::Unmap() {
  if (base != nullptr) {
    ::munmap(base, static_cast<size_t>(end - base));
  }
  base = nullptr;
  end = nullptr;
  data = nullptr;
  mappedOffset = 0;
}

void XpMemoryMappedFile::ViewImpl::PageRange(uint8_t** start, size_t* bytes) const {
  const uintptr_t page = PageSize();
  const uintptr_t first = reinterpret_cast<uintptr_t>(data) / page * page;
  const int64_t available = end - data;
  const uintptr_t last = reinterpret_cast<uintptr_t>(data) +
                         static_cast<uintptr_t>(std::min(WantedLength(offset, length), available));
  *start = reinterpret_cast<uint8_t*>(first);
  *bytes = static_cast<size_t>((last - first + page - 1) / page * page);
}

XpResult XpMemoryMappedFile::ViewImpl::MoveTo(int64_t at, uint32_t count) {
  if (!IsMapped()) {
    return kXpErrWrongState;
  }
  if (at < 0) {
    return kXpErrBadArgument;
  }
  if (Covers(at, count)) {
    offset = at;
    length = count;
    data = base + (at - mappedOffset);
    return kXpOk;
  }
  offset = at;
  length = count;
  return Remap();
}

XpMemoryMappedFile::View::View(int64_t offset, uint32_t length, void* baseHint, uint32_t access,
                               bool copyOnWrite)
    : impl_(new (std::nothrow) ViewImpl(offset, length, baseHint, access, copyOnWrite)) {}

XpResult XpMemoryMappedFile::View::Map(const XpMemoryMappedFile& file) {
  if (!file.impl_) {
    return kXpErrWrongState;
  }
  if (!impl_) {
    return kXpErrOutOfMemory;
  }
  impl_->Unmap();
  impl_->file = file.impl_;
  return impl_->Remap();
}

uint8_t* XpMemoryMappedFile::View::GetData() const { return impl_ ? impl_->data : nullptr; }

int64_t XpMemoryMappedFile::View::GetOffset() const { return impl_ ? impl_->offset : 0; }

uint32_t XpMemoryMappedFile::View::GetLength() const { return impl_ ? impl_->length : 0; }

uint8_t* XpMemoryMappedFile::View::GetViewBase() const { return impl_ ? impl_->base : nullptr; }

uint8_t* XpMemoryMappedFile::View::GetViewEnd() const { return impl_ ? impl_->end : nullptr; }

int64_t XpMemoryMappedFile::View::GetFileSize() const {
  return impl_ && impl_->file ? impl_->file->size : 0;
}

XpResult XpMemoryMappedFile::View::Flush() {
  if (!impl_ || !impl_->IsMapped()) {
    return kXpErrWrongState;
  }
  uint8_t* start = nullptr;
  size_t bytes = 0;
  impl_->PageRange(&start, &bytes);
  return ::msync(start, bytes, MS_SYNC) == 0 ? kXpOk : XpResultFromErrno(errno);
}

XpResult XpMemoryMappedFile::View::Lock() {
  if (!impl_ || !impl_->IsMapped()) {
    return kXpErrWrongState;
  }
  uint8_t* start = nullptr;
  size_t bytes = 0;
  impl_->PageRange(&start, &bytes);
  return ::mlock(start, bytes) == 0 ? kXpOk : XpResultFromErrno(errno);
}

XpResult XpMemoryMappedFile::View::Unlock() {
  if (!impl_ || !impl_->IsMapped()) {
    return kXpErrWrongState;
  }
  uint8_t* start = nullptr;
  size_t bytes = 0;
  impl_->PageRange(&start, &bytes);
  return ::munlock(start, bytes) == 0 ? kXpOk : XpResultFromErrno(errno);
}

XpResult XpMemoryMappedFile::View::SetAccess(uint32_t access, bool copyOnWrite) {
  if (!impl_ || !impl_->IsMapped()) {
    return kXpErrWrongState;
  }
  if (copyOnWrite && !impl_->mappedPrivate) {
    return kXpErrNotSupportedByOs;
  }
  uint8_t* start = nullptr;
  size_t bytes = 0;
  impl_->PageRange(&start, &bytes);
  return ::mprotect(start, bytes, ProtectionFor(access)) == 0 ? kXpOk : XpResultFromErrno(errno);
}

XpResult XpMemoryMappedFile::View::SetOffset(int64_t offset) {
  return impl_ ? impl_->MoveTo(offset, impl_->length) : kXpErrWrongState;
}

XpResult XpMemoryMappedFile::View::Move(int64_t delta) {
  if (!impl_) {
    return kXpErrWrongState;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(impl_->offset, delta, &target)) {
    return impl_->IsMapped() ? kXpErrBadArgument : kXpErrWrongState;
  }
  return impl_->MoveTo(target, impl_->length);
}

XpResult XpMemoryMappedFile::View::SetLength(uint32_t length) {
  return impl_ ? impl_->MoveTo(impl_->offset, length) : kXpErrWrongState;
}

XpMemoryMappedFile::XpMemoryMappedFile() = default;

XpMemoryMappedFile::XpMemoryMappedFile(const XpString& path, int64_t size, uint32_t access,
                                       uint32_t shareMode, bool writeThrough,
                                       bool randomAccess) {
  // A constructor cannot report: Open and the mapping calls fail on an
  // object whose assignment failed.
  (void)Assign(path, size, access, shareMode, writeThrough, randomAccess);
}

XpResult XpMemoryMappedFile::Assign(const XpString& path, int64_t size, uint32_t access,
                                    uint32_t shareMode, bool writeThrough, bool randomAccess) {
  impl_ = XpSharedPtr<FileImpl>(new (std::nothrow) FileImpl(path, size, access, shareMode,
                                                            writeThrough, randomAccess));
  return impl_ ? kXpOk : kXpErrOutOfMemory;
}

XpResult XpMemoryMappedFile::Open(const XpString& path, int64_t size, uint32_t access,
                                  uint32_t shareMode, bool writeThrough, bool randomAccess) {
  const XpResult assigned = Assign(path, size, access, shareMode, writeThrough, randomAccess);
  return assigned == kXpOk ? impl_->OpenMapping() : assigned;
}

XpResult XpMemoryMappedFile::Reopen() {
  return impl_ ? impl_->OpenMapping() : kXpErrWrongState;
}

XpResult XpMemoryMappedFile::Close() {
  if (!impl_) {
    return kXpErrWrongState;
  }
  impl_->CloseDescriptor();
  return kXpOk;
}

XpString XpMemoryMappedFile::GetPath() const { return impl_ ? impl_->path : XpString(); }

int64_t XpMemoryMappedFile::GetSize() const { return impl_ ? impl_->size : -1; }

bool XpMemoryMappedFile::IsOpen() const { return impl_ && impl_->fd >= 0; }
