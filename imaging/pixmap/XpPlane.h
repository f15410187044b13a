#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixmap/XpPixmapLayout.h"

// One plane's pixel type, row alignment in bytes and subsampling: 1 full
// size, 2 half width and height (rounded down), kXpSubsamplingEmpty for an
// empty slot.
template <typename Pixel, int32_t Alignment, int32_t SubsamplingX, int32_t SubsamplingY>
struct XpPlaneDesc {
  static_assert(Alignment >= 1 && (Alignment & (Alignment - 1)) == 0,
                "row alignment must be a power of two");
  static_assert(SubsamplingX >= 1 && SubsamplingY >= 1, "subsampling must be positive");

  using PixelType = Pixel;
  static constexpr int32_t kBitsPerChannel = static_cast<int32_t>(sizeof(typename Pixel::Channel) * 8);
  static constexpr int32_t kBitsPerPixel = static_cast<int32_t>(sizeof(Pixel) * 8);
  static constexpr int32_t kChannels = Pixel::kChannels;
  static constexpr uint32_t kChannelSet = Pixel::kChannelSet;
  static constexpr XpPlaneFormat kFormat{static_cast<int32_t>(sizeof(Pixel)), Alignment,
                                         SubsamplingX, SubsamplingY};
};

// A plane inside a pixmap's block: where its first pixel is, its size and
// its stride. Rows are addressed through the stride only.
class XpPlaneBase {
 public:
  XpPlaneBase() = default;
  XpPlaneBase(const XpPlaneBase&) = default;
  XpPlaneBase& operator=(const XpPlaneBase&) = default;
  virtual ~XpPlaneBase() = default;

  virtual int32_t GetBitsPerPixel() const = 0;
  virtual int32_t GetBitsPerChannel() const = 0;
  virtual int32_t GetChannelCount() const = 0;
  virtual size_t GetStride() const = 0;
  virtual uint32_t GetChannelSet() const = 0;

  uint8_t* Row(int32_t y) const { return pixels + static_cast<size_t>(y) * stride; }

  uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  size_t stride = 0;
};

template <typename Desc>
class XpPlane final : public XpPlaneBase {
 public:
  using DescType = Desc;

  int32_t GetBitsPerPixel() const override { return Desc::kBitsPerPixel; }
  int32_t GetBitsPerChannel() const override { return Desc::kBitsPerChannel; }
  int32_t GetChannelCount() const override { return Desc::kChannels; }
  size_t GetStride() const override { return stride; }
  uint32_t GetChannelSet() const override { return Desc::kChannelSet; }
};
