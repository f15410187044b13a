#pragma once

#include <cstdint>
#include <string_view>

// ISO base media boxes of one file, read with pread. A size of 1 means a
// 64-bit size after the type, 0 "to the end of the enclosing range"; a size
// below the box's header ends a walk, and so does the box limit.
class Mp4BoxReader {
 public:
  static constexpr int kMaxBoxesPerLevel = 1024;

  struct Box {
    char type[4];
    uint64_t start;
    uint64_t headerSize;
    // Clamped to the enclosing range.
    uint64_t end;
  };

  explicit Mp4BoxReader(const char* path);
  ~Mp4BoxReader();
  Mp4BoxReader(const Mp4BoxReader&) = delete;
  Mp4BoxReader& operator=(const Mp4BoxReader&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  uint64_t FileSize() const { return fileSize_; }

  // The box at position inside [position, end); false when none can be
  // read there.
  bool ReadBox(uint64_t position, uint64_t end, Box& box) const;
  // The first box of type among the boxes of [begin, end).
  bool FindBox(uint64_t begin, uint64_t end, std::string_view type, Box& found) const;
  // Exactly count bytes at position.
  bool ReadAt(uint64_t position, void* buffer, uint64_t count) const;

 private:
  int fd_ = -1;
  uint64_t fileSize_ = 0;
};
