#include "imaging/pixmap/XpPixmapLayout.h"

namespace {

bool IsEmptyPlane(const XpPlaneFormat& format) {
  return format.subsamplingX == kXpSubsamplingEmpty || format.subsamplingY == kXpSubsamplingEmpty;
}

// Row length rounded up to the alignment. Width below 2^31 and at most a few
// bytes per pixel: no 64-bit wrap.
uint64_t AlignedRowBytes(const XpPlaneFormat& format, int32_t planeWidth) {
  const uint64_t alignment = static_cast<uint64_t>(format.alignment);
  const uint64_t bytes = static_cast<uint64_t>(planeWidth) * static_cast<uint64_t>(format.bytesPerPixel);
  return (bytes + alignment - 1) / alignment * alignment;
}

}  // namespace

[[nodiscard]] XpResult XpComputePixmapLayout(
    const std::array<XpPlaneFormat, kXpPlaneCount>& formats, int32_t width, int32_t height,
    XpPixmapLayout& layout) {
  if (width < 1 || height < 1) {
    return kXpErrGeneric;
  }
  XpPixmapLayout result;
  uint64_t offset = 0;
  for (int32_t i = 0; i < kXpPlaneCount; ++i) {
    const XpPlaneFormat& format = formats[i];
    XpPlaneLayout& plane = result.planes[i];
    plane.offset = static_cast<size_t>(offset);
    if (IsEmptyPlane(format)) {
      continue;
    }
    plane.width = width / format.subsamplingX;
    plane.height = height / format.subsamplingY;
    const uint64_t stride = AlignedRowBytes(format, plane.width);
    const uint64_t rows = static_cast<uint64_t>(plane.height);
    const uint64_t room = kXpMaxPixmapBlockSize - offset;
    if (rows != 0 && stride > room / rows) {
      return kXpErrOutOfMemory;
    }
    plane.stride = static_cast<size_t>(stride);
    offset += stride * rows;
  }
  result.blockSize = static_cast<size_t>(offset);
  layout = result;
  return kXpOk;
}
