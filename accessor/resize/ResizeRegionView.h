#pragma once

#include <cstdint>

#include "imaging/geometry/XpRect.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/pixmap/XpPlane.h"

// A read-only window onto a rectangle of a BGR 24-bit pixmap, so that the
// resize can read the part of a decoded picture that is kept without a copy
// of it. It owns no pixels: the pixmap must outlive the view and stay as it
// is. It cannot be allocated, freed or cloned, and its block is the
// pixmap's (for IsAllocated only: blockSize is 0). It is a source for a
// change of size only: XpPixmapResizeInto copies whole blocks, not planes,
// between pixmaps of one size.
class ResizeRegionView final : public XpPixmapBase {
 public:
  // rect lies inside pixmap, whose plane 0 is BGR 24-bit.
  ResizeRegionView(const XpPixmapBase& pixmap, const XpRect& rect);

  [[nodiscard]] XpResult Allocate(int32_t, int32_t) override { return kXpErrGeneric; }
  void Free() override {}
  XpPixmapBase* Clone() const override { return nullptr; }

  int32_t GetPlaneCount() const override { return 1; }
  XpPlaneBase* GetPlane(int32_t index) override { return index == 0 ? &plane_ : nullptr; }
  const XpPlaneBase* GetPlane(int32_t index) const override {
    return index == 0 ? &plane_ : nullptr;
  }

  int32_t GetBitsPerPixel(int32_t index) const override { return pixmap_.GetBitsPerPixel(index); }
  int32_t GetBitsPerChannel(int32_t index) const override {
    return pixmap_.GetBitsPerChannel(index);
  }
  int32_t GetChannelCount(int32_t index) const override { return pixmap_.GetChannelCount(index); }
  uint32_t GetChannelSet(int32_t index) const override { return pixmap_.GetChannelSet(index); }

  XpBitmapHandle GetBitmapHandle() const override { return nullptr; }
  const XpBitmapInfoHeader* GetBitmapInfo() const override { return nullptr; }

 private:
  const XpPixmapBase& pixmap_;
  XpPlane<XpPlaneDescBGR> plane_;
};
