#include "imaging/jpeg/XpJpegHeadReader.h"

#include <cstring>
#include <new>

#include "platform/memory/XpByteOrder.h"

namespace {

constexpr size_t kWordSize = 2;
constexpr int64_t kSizeNotAsked = -2;

}  // namespace

XpJpegHeadReader::XpJpegHeadReader(XpAbstractFile& file)
    : file_(file), start_(file.Tell()), position_(start_), filePosition_(start_) {}

XpResult XpJpegHeadReader::ReadWord(uint16_t& word) {
  uint8_t bytes[kWordSize] = {};
  const XpResult result = Read(bytes, sizeof bytes);
  if (XpSucceeded(result)) {
    word = XpLoadBig16(bytes);
  }
  return result;
}

XpResult XpJpegHeadReader::Read(uint8_t* bytes, size_t count) {
  const XpResult result = Fill(count);
  if (XpFailed(result)) {
    return result;
  }
  std::memcpy(bytes, buffer_.get() + (position_ - bufferStart_), count);
  position_ += static_cast<int64_t>(count);
  return kXpOk;
}

XpResult XpJpegHeadReader::SkipForward(int64_t count) {
  if (count < 0) {
    return kXpErrImageNoTiffBlock;
  }
  const int64_t size = FileSize();
  if (position_ >= 0 && size >= 0 && count > size - position_) {
    return kXpErrEndOfFile;
  }
  position_ += count;
  return kXpOk;
}

XpResult XpJpegHeadReader::PlaceFile() { return file_.Seek(position_, kXpSeekBegin); }

XpResult XpJpegHeadReader::Fill(size_t count) {
  const int64_t held = bufferStart_ + static_cast<int64_t>(filled_);
  if (position_ >= bufferStart_ && position_ + static_cast<int64_t>(count) <= held) {
    return kXpOk;
  }
  if (!buffer_) {
    buffer_.reset(new (std::nothrow) uint8_t[kBufferSize]);
    if (!buffer_) {
      return kXpErrOutOfMemory;
    }
  }
  filled_ = 0;
  bufferStart_ = position_;
  if (position_ != filePosition_) {
    const XpResult sought = file_.Seek(position_, kXpSeekBegin);
    if (XpFailed(sought)) {
      return sought;
    }
    filePosition_ = position_;
  }
  uint64_t done = 0;
  const XpResult result = file_.Read(buffer_.get(), kBufferSize, &done);
  filled_ = static_cast<size_t>(done);
  filePosition_ += static_cast<int64_t>(done);
  if (XpFailed(result) && result != kXpErrEndOfFile) {
    return result;
  }
  // Some files answer a short read with success.
  return filled_ >= count ? kXpOk : kXpErrEndOfFile;
}

int64_t XpJpegHeadReader::FileSize() {
  if (size_ == kSizeNotAsked) {
    size_ = file_.GetSize();
  }
  return size_;
}
