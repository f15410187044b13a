#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/result/XpResult.h"
#include "platform/screen/IXpDrawSurface.h"

// A drawing surface in memory: 24-bit blue-green-red pixels, rows top-down
// and padded to 4 bytes, black at first. Every write is clipped to the clip
// box and to the buffer.
class XpMemorySurface final : public IXpDrawSurface {
 public:
  // Value of GetPixel outside the buffer.
  static constexpr XpColorRef kInvalidColour = 0xFFFFFFFF;

  XpMemorySurface() = default;
  XpMemorySurface(const XpMemorySurface&) = delete;
  XpMemorySurface& operator=(const XpMemorySurface&) = delete;

  // A black buffer of width x height; the clip box becomes the whole of it.
  // kXpErrBadArgument for a side below 1, kXpErrOutOfMemory when it cannot
  // be had; the surface is then empty.
  [[nodiscard]] XpResult Create(int32_t width, int32_t height);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  size_t Stride() const { return stride_; }
  // The top row; null while empty.
  const uint8_t* Pixels() const { return pixels_.get(); }

  // Taken as given; GetClipBox answers its part inside the buffer.
  void SetClipBox(const XpSurfaceRect& clip) { clip_ = clip; }
  XpSurfaceRect GetClipBox() const override;
  void BlitBGR(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* rows,
               size_t stride) override;
  void FillRect(const XpSurfaceRect& rect, XpColorRef colour) override;

  // The pixel at (x, y); kInvalidColour outside the buffer.
  XpColorRef GetPixel(int32_t x, int32_t y) const;

 private:
  uint8_t* PixelAt(int32_t x, int32_t y) const;

  std::unique_ptr<uint8_t[]> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t stride_ = 0;
  XpSurfaceRect clip_;
};
