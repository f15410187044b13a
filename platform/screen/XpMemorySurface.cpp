#include "platform/screen/XpMemorySurface.h"

#include <cstring>
#include <new>

namespace {

constexpr uint64_t kBytesPerPixel = 3;
constexpr uint64_t kRowAlignment = 4;
// Keeps every offset inside the buffer within the signed 64-bit range and
// the buffer within what a 24-bit bitmap header can describe.
constexpr uint64_t kMaxBufferBytes = 0xFFFFFFFFu;

}  // namespace

XpResult XpMemorySurface::Create(int32_t width, int32_t height) {
  pixels_.reset();
  width_ = 0;
  height_ = 0;
  stride_ = 0;
  clip_ = {};
  if (width < 1 || height < 1) {
    return kXpErrBadArgument;
  }
  const uint64_t stride =
      (static_cast<uint64_t>(width) * kBytesPerPixel + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  if (stride > kMaxBufferBytes / static_cast<uint64_t>(height)) {
    return kXpErrOutOfMemory;
  }
  const uint64_t size = stride * static_cast<uint64_t>(height);
  pixels_.reset(new (std::nothrow) uint8_t[size]());
  if (!pixels_) {
    return kXpErrOutOfMemory;
  }
  width_ = width;
  height_ = height;
  stride_ = static_cast<size_t>(stride);
  clip_ = {0, 0, width, height};
  return kXpOk;
}

XpSurfaceRect XpMemorySurface::GetClipBox() const {
  return clip_.Intersect(XpSurfaceRect{0, 0, width_, height_});
}

uint8_t* XpMemorySurface::PixelAt(int32_t x, int32_t y) const {
  return pixels_.get() + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * kBytesPerPixel;
}

void XpMemorySurface::BlitBGR(int32_t x, int32_t y, int32_t width, int32_t height,
                              const uint8_t* rows, size_t stride) {
  if (rows == nullptr || width < 1 || height < 1) {
    return;
  }
  // 64-bit edges: x + width may pass the 32-bit range.
  const int64_t right = static_cast<int64_t>(x) + width;
  const int64_t bottom = static_cast<int64_t>(y) + height;
  const XpSurfaceRect box = GetClipBox();
  const int64_t left = std::max<int64_t>(x, box.left);
  const int64_t top = std::max<int64_t>(y, box.top);
  const int64_t clippedRight = std::min<int64_t>(right, box.right);
  const int64_t clippedBottom = std::min<int64_t>(bottom, box.bottom);
  if (left >= clippedRight || top >= clippedBottom) {
    return;
  }
  const size_t rowBytes = static_cast<size_t>(clippedRight - left) * kBytesPerPixel;
  const size_t firstByte = static_cast<size_t>(left - x) * kBytesPerPixel;
  for (int64_t row = top; row < clippedBottom; ++row) {
    const uint8_t* source = rows + static_cast<size_t>(row - y) * stride + firstByte;
    std::memcpy(PixelAt(static_cast<int32_t>(left), static_cast<int32_t>(row)), source, rowBytes);
  }
}

void XpMemorySurface::FillRect(const XpSurfaceRect& rect, XpColorRef colour) {
  const XpSurfaceRect area = rect.Intersect(GetClipBox());
  if (area.IsEmpty()) {
    return;
  }
  const uint8_t bgr[kBytesPerPixel] = {XpBlueOf(colour), XpGreenOf(colour), XpRedOf(colour)};
  for (int32_t row = area.top; row < area.bottom; ++row) {
    uint8_t* pixel = PixelAt(area.left, row);
    for (int32_t column = area.left; column < area.right; ++column) {
      std::memcpy(pixel, bgr, kBytesPerPixel);
      pixel += kBytesPerPixel;
    }
  }
}

XpColorRef XpMemorySurface::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) {
    return kInvalidColour;
  }
  const uint8_t* pixel = PixelAt(x, y);
  return XpRgb(pixel[2], pixel[1], pixel[0]);
}
