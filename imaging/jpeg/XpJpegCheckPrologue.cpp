#include "imaging/jpeg/XpJpegCheckPrologue.h"

#include <cstdint>

#include "platform/memory/XpByteOrder.h"

namespace {

constexpr uint16_t kStartOfImage = 0xFFD8;
constexpr uint16_t kFirstApp = 0xFFE0;
constexpr uint16_t kLastApp = 0xFFEF;
constexpr uint16_t kMarkerPrefixMask = 0xFF00;
constexpr int64_t kWordSize = 2;
// Bytes of the length field counted in a segment's length.
constexpr int64_t kLengthSize = 2;

}  // namespace

[[nodiscard]] XpResult XpJpegReadWord(XpAbstractFile& file, uint16_t& word) {
  uint8_t bytes[kWordSize] = {};
  uint64_t done = 0;
  const XpResult result = file.Read(bytes, sizeof bytes, &done);
  if (XpFailed(result)) {
    return result;
  }
  // Some files answer a short read with success.
  if (done != sizeof bytes) {
    return kXpErrEndOfFile;
  }
  word = XpLoadBig16(bytes);
  return kXpOk;
}

[[nodiscard]] XpResult XpJpegSkipForward(XpAbstractFile& file, int64_t count) {
  if (count < 0) {
    return kXpErrImageNoTiffBlock;
  }
  const int64_t position = file.Tell();
  const int64_t size = file.GetSize();
  if (position >= 0 && size >= 0 && count > size - position) {
    return kXpErrEndOfFile;
  }
  return file.Seek(count, kXpSeekCurrent);
}

bool XpJpegIsAppMarker(uint16_t marker) { return marker >= kFirstApp && marker <= kLastApp; }

[[nodiscard]] XpResult XpJpegCheckPrologue(XpAbstractFile& file) {
  XpJpegHeadReader head(file);
  const XpResult result = XpJpegCheckPrologue(head);
  return XpSucceeded(result) ? head.PlaceFile() : result;
}

[[nodiscard]] XpResult XpJpegCheckPrologue(XpJpegHeadReader& head) {
  uint16_t word = 0;
  XpResult result = head.ReadWord(word);
  if (XpFailed(result)) {
    return result;
  }
  if (word != kStartOfImage) {
    return kXpErrImageNoTiffBlock;
  }
  while (XpSucceeded(result)) {
    result = head.ReadWord(word);
    if (XpFailed(result)) {
      return result;
    }
    if ((word & kMarkerPrefixMask) != kMarkerPrefixMask) {
      return kXpErrImageNoTiffBlock;
    }
    if (!XpJpegIsAppMarker(word)) {
      return kXpOk;
    }
    result = head.ReadWord(word);
    if (XpSucceeded(result)) {
      result = head.SkipForward(int64_t{word} - kLengthSize);
    }
  }
  return result;
}
