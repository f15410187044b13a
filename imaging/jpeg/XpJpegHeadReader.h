#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// Reads the marker segments at the head of a JPEG stream through one
// buffer: the file is read kBufferSize bytes at a time, and again only when
// a read reaches past what the buffer holds. A short read counts as the end
// of the file. Skips move forward only and stay within the file (when its
// size is known). The file's own position is left wherever the last fill
// put it until PlaceFile.
class XpJpegHeadReader {
 public:
  // Room for a whole segment with the marker after it.
  static constexpr size_t kBufferSize = 65536 + 8;

  // Starts at the file's position.
  explicit XpJpegHeadReader(XpAbstractFile& file);
  XpJpegHeadReader(const XpJpegHeadReader&) = delete;
  XpJpegHeadReader& operator=(const XpJpegHeadReader&) = delete;

  int64_t Start() const { return start_; }
  int64_t Position() const { return position_; }

  // A two-byte marker or segment length, big-endian.
  [[nodiscard]] XpResult ReadWord(uint16_t& word);
  // Exactly count bytes; kXpErrEndOfFile when fewer are left.
  [[nodiscard]] XpResult Read(uint8_t* bytes, size_t count);
  // As XpJpegSkipForward: kXpErrImageNoTiffBlock for a negative count,
  // kXpErrEndOfFile for a target past the end of the file.
  [[nodiscard]] XpResult SkipForward(int64_t count);
  // Moves to position for another walk over the same head.
  void MoveTo(int64_t position) { position_ = position; }
  // Seeks the file to the reader's position.
  [[nodiscard]] XpResult PlaceFile();

 private:
  // Makes count bytes from the position available in the buffer.
  [[nodiscard]] XpResult Fill(size_t count);
  int64_t FileSize();

  XpAbstractFile& file_;
  int64_t start_;
  int64_t position_;
  std::unique_ptr<uint8_t[]> buffer_;
  // The file offset of the buffer's first byte and the bytes it holds.
  int64_t bufferStart_ = 0;
  size_t filled_ = 0;
  // Where the file stands.
  int64_t filePosition_;
  // -2 until asked for; -1 when the file does not tell.
  int64_t size_ = -2;
};
