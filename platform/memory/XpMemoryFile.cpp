#include "platform/memory/XpMemoryFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr uint64_t kMaxPosition = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

void SetDone(uint64_t* done, uint64_t count) {
  if (done != nullptr) {
    *done = count;
  }
}

}  // namespace

XpMemoryFile::XpMemoryFile() = default;

XpMemoryFile::XpMemoryFile(void* buffer, uint64_t size, bool takeOwnership) {
  Attach(buffer, size, takeOwnership);
}

XpMemoryFile::XpMemoryFile(XpByteOrder byteOrder) : XpAbstractFile(byteOrder) {}

XpMemoryFile::XpMemoryFile(void* buffer, uint64_t size, XpByteOrder byteOrder,
                           bool takeOwnership)
    : XpAbstractFile(byteOrder) {
  Attach(buffer, size, takeOwnership);
}

XpMemoryFile::~XpMemoryFile() { FreeOwnedBuffer(); }

XpString XpMemoryFile::GetName() const {
  XpString name;
  (void)name.Format(u"Memory File(%32p)",
                    static_cast<const void*>(buffer_));  // a pointer always formats
  return name;
}

int64_t XpMemoryFile::GetSize() { return static_cast<int64_t>(size_); }

XpResult XpMemoryFile::GetTimes(XpDateTime* created, XpDateTime* modified,
                                XpDateTime* accessed) const {
  if (created != nullptr) {
    *created = GetCreatedTime();
  }
  if (modified != nullptr) {
    *modified = GetModifiedTime();
  }
  if (accessed != nullptr) {
    *accessed = GetAccessedTime();
  }
  return kXpOk;
}

XpResult XpMemoryFile::Open(XpOpenMode mode) {
  const XpResult opened = XpAbstractFile::Open(mode);
  if (opened != kXpOk) {
    return opened;
  }
  TouchAll();
  if ((mode & kXpOpenWrite) != 0) {
    return SetLength(0);
  }
  return kXpOk;
}

XpResult XpMemoryFile::Close() {
  ResetCharacterState();
  TouchAccessed();
  return kXpOk;
}

XpResult XpMemoryFile::Read(void* buffer, uint64_t count, uint64_t* done) {
  SetDone(done, 0);
  const uint64_t position = static_cast<uint64_t>(position_);
  if (position >= size_) {
    return kXpErrEndOfFile;
  }
  const uint64_t available = std::min(count, size_ - position);
  if (available > 0 && buffer == nullptr) {
    return kXpErrBadArgument;
  }
  if (available > 0) {
    std::memcpy(buffer, buffer_ + position, available);
  }
  position_ += static_cast<int64_t>(available);
  TouchAccessed();
  SetDone(done, available);
  return kXpOk;
}

XpResult XpMemoryFile::Write(const void* buffer, uint64_t count, uint64_t* done) {
  SetDone(done, 0);
  if (count == 0) {
    return kXpOk;
  }
  const uint64_t position = static_cast<uint64_t>(position_);
  if (buffer == nullptr || count > kMaxPosition - position) {
    return kXpErrBadArgument;
  }
  const uint64_t end = position + count;
  if (!Reserve(end)) {
    return kXpErrDiskFull;
  }
  if (position > size_) {
    std::memset(buffer_ + size_, 0, position - size_);
  }
  std::memcpy(buffer_ + position, buffer, count);
  position_ = static_cast<int64_t>(end);
  size_ = std::max(size_, end);
  TouchModified();
  SetDone(done, count);
  return kXpOk;
}

XpResult XpMemoryFile::Seek(int64_t offset, int32_t origin) {
  int64_t base = 0;
  switch (origin) {
    case kXpSeekBegin:
      base = 0;
      break;
    case kXpSeekCurrent:
      base = position_;
      break;
    case kXpSeekEnd:
      base = static_cast<int64_t>(size_);
      break;
    default:
      return kXpErrBadArgument;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) {
    return kXpErrBadArgument;
  }
  position_ = target;
  ResetCharacterState();
  return kXpOk;
}

XpResult XpMemoryFile::SetLength(uint64_t length) {
  if (buffer_ == nullptr) {
    return length == 0 ? kXpOk : kXpErrWrongState;
  }
  if (length > kMaxPosition) {
    return kXpErrBadArgument;
  }
  if (!Reserve(length)) {
    return kXpErrOutOfMemory;
  }
  // Give back what an owned buffer no longer needs; keep it when that fails.
  const uint64_t wanted = GetCapacityFor(length);
  if (ownership_ == Ownership::kOwned && wanted < capacity_) {
    if (void* smaller = std::realloc(buffer_, wanted)) {
      buffer_ = static_cast<uint8_t*>(smaller);
      capacity_ = wanted;
    }
  }
  if (length > size_) {
    std::memset(buffer_ + size_, 0, length - size_);
  }
  size_ = length;
  position_ = std::min(position_, static_cast<int64_t>(length));
  return kXpOk;
}

void XpMemoryFile::Attach(void* buffer, uint64_t size, bool takeOwnership) {
  if (buffer != buffer_) {
    FreeOwnedBuffer();
  }
  if (buffer == nullptr) {
    Reset();
    return;
  }
  buffer_ = static_cast<uint8_t*>(buffer);
  size_ = size;
  capacity_ = size;
  position_ = 0;
  ownership_ = takeOwnership ? Ownership::kOwned : Ownership::kBorrowed;
  ResetCharacterState();
}

void* XpMemoryFile::Detach() {
  void* borrowed = ownership_ == Ownership::kBorrowed ? buffer_ : nullptr;
  FreeOwnedBuffer();
  Reset();
  return borrowed;
}

void XpMemoryFile::Reset() {
  buffer_ = nullptr;
  size_ = 0;
  capacity_ = 0;
  position_ = 0;
  ownership_ = Ownership::kNone;
  ResetCharacterState();
  TouchAll();
}

uint64_t XpMemoryFile::GetCapacityFor(uint64_t size) const {
  return size - size % kGrowthBlock + kGrowthBlock;
}

bool XpMemoryFile::Reserve(uint64_t needed) {
  if (buffer_ != nullptr && needed <= capacity_) {
    return true;
  }
  const uint64_t capacity = GetCapacityFor(needed);
  if (ownership_ == Ownership::kOwned) {
    void* grown = std::realloc(buffer_, capacity);
    if (grown == nullptr) {
      return false;
    }
    buffer_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
    return true;
  }
  // No buffer yet, or a borrowed one: the file takes a buffer of its own.
  auto* fresh = static_cast<uint8_t*>(std::malloc(capacity));
  if (fresh == nullptr) {
    return false;
  }
  if (size_ > 0) {
    std::memcpy(fresh, buffer_, size_);
  }
  buffer_ = fresh;
  capacity_ = capacity;
  ownership_ = Ownership::kOwned;
  return true;
}

void XpMemoryFile::FreeOwnedBuffer() {
  if (ownership_ == Ownership::kOwned) {
    std::free(buffer_);
  }
  buffer_ = nullptr;
  ownership_ = Ownership::kNone;
}
