#include "imaging/bitmap/XpBitmapDecoder.h"

#include <cstring>
#include <memory>
#include <new>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/memory/XpByteOrder.h"

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kFileHeaderPixelOffset = 10;
constexpr uint8_t kFileMagic0 = 0x42;  // 'B'
constexpr uint8_t kFileMagic1 = 0x4D;  // 'M'

constexpr uint64_t kInfoHeaderSize = 40;
constexpr size_t kInfoWidth = 4;
constexpr size_t kInfoHeight = 8;
constexpr size_t kInfoBitCount = 14;
constexpr size_t kInfoCompression = 16;

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionMasks = 3;
constexpr uint64_t kMasksSize = 12;

constexpr uint16_t kBitsBgr = 24;
constexpr uint16_t kBitsBgra = 32;
constexpr uint64_t kBitsPerByte = 8;
constexpr uint64_t kRowAlignmentBits = 32;
constexpr uint64_t kRowAlignmentBytes = 4;

int32_t ReadI32(const uint8_t* at) { return static_cast<int32_t>(XpLoadLittle32(at)); }

// What the headers say, checked against the byte count.
struct Layout {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bitCount = 0;
  uint64_t stride = 0;
  uint64_t pixelOffset = 0;
};

// Whether height rows of stride bytes from offset lie within count; no
// product is formed that could overflow.
bool RowsFit(uint64_t offset, uint64_t stride, int32_t height, size_t count) {
  return offset <= count && stride != 0 &&
         static_cast<uint64_t>(height) <= (count - offset) / stride;
}

bool ReadLayout(const uint8_t* bytes, size_t count, Layout& layout) {
  if (bytes == nullptr || count < kInfoHeaderSize) {
    return false;
  }
  const bool isFile = bytes[0] == kFileMagic0 && bytes[1] == kFileMagic1;
  const uint64_t infoStart = isFile ? kFileHeaderSize : 0;
  if (count - infoStart < kInfoHeaderSize) {
    return false;
  }
  const uint8_t* info = bytes + infoStart;
  const uint64_t infoSize = XpLoadLittle32(info);
  if (infoSize < kInfoHeaderSize || infoStart + infoSize > count) {
    return false;
  }
  layout.width = ReadI32(info + kInfoWidth);
  layout.height = ReadI32(info + kInfoHeight);
  layout.bitCount = XpLoadLittle16(info + kInfoBitCount);
  const uint32_t compression = XpLoadLittle32(info + kInfoCompression);
  if (layout.width < 1 || layout.height < 1) {
    return false;
  }
  if (compression != kCompressionNone && compression != kCompressionMasks) {
    return false;
  }
  if (layout.bitCount != kBitsBgr && layout.bitCount != kBitsBgra) {
    return false;
  }
  layout.stride = (static_cast<uint64_t>(layout.bitCount) * static_cast<uint64_t>(layout.width) +
                   kRowAlignmentBits - 1) /
                  kRowAlignmentBits * kRowAlignmentBytes;
  uint64_t headersEnd = infoStart + infoSize;
  if (infoSize == kInfoHeaderSize && compression == kCompressionMasks) {
    headersEnd += kMasksSize;
  }
  if (isFile) {
    const uint64_t fileOffset = XpLoadLittle32(bytes + kFileHeaderPixelOffset);
    if (fileOffset >= headersEnd && RowsFit(fileOffset, layout.stride, layout.height, count)) {
      layout.pixelOffset = fileOffset;
      return true;
    }
  }
  layout.pixelOffset = headersEnd;
  return RowsFit(headersEnd, layout.stride, layout.height, count);
}

std::unique_ptr<XpPixmapBase> NewPixmap(uint16_t bitCount) {
  if (bitCount == kBitsBgra) {
    return std::unique_ptr<XpPixmapBase>(new (std::nothrow) XpPixmapBGRA32());
  }
  return std::unique_ptr<XpPixmapBase>(new (std::nothrow) XpPixmapBGR24());
}

}  // namespace

XpPixmapBase* XpDecodeBitmap(const uint8_t* bytes, size_t count) {
  Layout layout;
  if (!ReadLayout(bytes, count, layout)) {
    return nullptr;
  }
  std::unique_ptr<XpPixmapBase> pixmap = NewPixmap(layout.bitCount);
  if (!pixmap || XpFailed(pixmap->Allocate(layout.width, layout.height))) {
    return nullptr;
  }
  const XpPlaneBase& plane = *pixmap->GetPlane(0);
  const size_t rowBytes =
      static_cast<size_t>(layout.width) * static_cast<size_t>(layout.bitCount / kBitsPerByte);
  const uint8_t* row = bytes + layout.pixelOffset;
  // The data is bottom-up, the pixmap top-down.
  for (int32_t i = 0; i < layout.height; ++i) {
    std::memcpy(plane.Row(layout.height - 1 - i), row, rowBytes);
    row += layout.stride;
  }
  return pixmap.release();
}
