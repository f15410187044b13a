#include "Mp4BoxReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr uint64_t kHeaderSize = 8;
constexpr uint64_t kLargeHeaderSize = 16;
constexpr uint32_t kLargeSize = 1;
constexpr uint32_t kToTheEnd = 0;

uint64_t BigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int index = 0; index < count; ++index) {
    value = (value << 8) | bytes[index];
  }
  return value;
}

}  // namespace

Mp4BoxReader::Mp4BoxReader(const char* path) {
  if (path == nullptr) {
    return;
  }
  do {
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  struct stat status {};
  if (fd_ >= 0 && (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode))) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ >= 0) {
    fileSize_ = static_cast<uint64_t>(status.st_size);
  }
}

Mp4BoxReader::~Mp4BoxReader() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool Mp4BoxReader::ReadAt(uint64_t position, void* buffer, uint64_t count) const {
  if (fd_ < 0 || position > fileSize_ || count > fileSize_ - position) {
    return false;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t moved =
        ::pread(fd_, bytes + done, count - done, static_cast<off_t>(position + done));
    if (moved < 0 && errno == EINTR) {
      continue;
    }
    if (moved <= 0) {
      return false;
    }
    done += static_cast<uint64_t>(moved);
  }
  return true;
}

bool Mp4BoxReader::ReadBox(uint64_t position, uint64_t end, Box& box) const {
  unsigned char header[kLargeHeaderSize];
  if (position >= end || end - position < kHeaderSize || !ReadAt(position, header, kHeaderSize)) {
    return false;
  }
  uint64_t size = BigEndian(header, 4);
  uint64_t headerSize = kHeaderSize;
  if (size == kLargeSize) {
    if (end - position < kLargeHeaderSize ||
        !ReadAt(position + kHeaderSize, header + kHeaderSize, kHeaderSize)) {
      return false;
    }
    size = BigEndian(header + kHeaderSize, 8);
    headerSize = kLargeHeaderSize;
  } else if (size == kToTheEnd) {
    size = end - position;
  }
  if (size < headerSize) {
    return false;
  }
  std::memcpy(box.type, header + 4, sizeof box.type);
  box.start = position;
  box.headerSize = headerSize;
  box.end = size > end - position ? end : position + size;
  return true;
}

bool Mp4BoxReader::FindBox(uint64_t begin, uint64_t end, std::string_view type,
                           Box& found) const {
  uint64_t position = begin;
  for (int count = 0; count < kMaxBoxesPerLevel; ++count) {
    Box box{};
    if (!ReadBox(position, end, box)) {
      return false;
    }
    if (std::string_view(box.type, sizeof box.type) == type) {
      found = box;
      return true;
    }
    position = box.end;
  }
  return false;
}
