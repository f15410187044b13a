#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// A colour as 0x00BBGGRR.
using XpColorRef = uint32_t;

inline constexpr XpColorRef XpRgb(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<XpColorRef>(red) | (static_cast<XpColorRef>(green) << 8) |
         (static_cast<XpColorRef>(blue) << 16);
}
inline constexpr uint8_t XpRedOf(XpColorRef colour) { return static_cast<uint8_t>(colour); }
inline constexpr uint8_t XpGreenOf(XpColorRef colour) { return static_cast<uint8_t>(colour >> 8); }
inline constexpr uint8_t XpBlueOf(XpColorRef colour) { return static_cast<uint8_t>(colour >> 16); }

// A rectangle of surface pixels, right and bottom exclusive; the same four
// fields, in the same order, as the imaging library's XpRect.
struct XpSurfaceRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  bool operator==(const XpSurfaceRect&) const = default;

  bool IsEmpty() const { return left >= right || top >= bottom; }
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }

  // The part of this rectangle inside other; all zeros when they do not meet.
  XpSurfaceRect Intersect(const XpSurfaceRect& other) const {
    const XpSurfaceRect result{std::max(left, other.left), std::max(top, other.top),
                               std::min(right, other.right), std::min(bottom, other.bottom)};
    return result.IsEmpty() ? XpSurfaceRect{} : result;
  }
};

// Something to draw on: a clip box, 1:1 copies of blue-green-red rows and
// filled rectangles. Nothing is drawn outside the clip box.
class IXpDrawSurface {
 public:
  virtual ~IXpDrawSurface() = default;

  // The part of the surface that drawing may change; empty when none.
  virtual XpSurfaceRect GetClipBox() const = 0;
  // Copies width x height pixels of 3 bytes (blue, green, red) to (x, y).
  // rows points at the first pixel of the top row; each following row lies
  // stride bytes further. Only the pixels that land inside the clip box are
  // read.
  virtual void BlitBGR(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* rows,
                       size_t stride) = 0;
  virtual void FillRect(const XpSurfaceRect& rect, XpColorRef colour) = 0;
};
