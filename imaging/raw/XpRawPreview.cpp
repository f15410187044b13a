#include "imaging/raw/XpRawPreview.h"

#include "imaging/geometry/XpFitSize.h"
#include "imaging/geometry/XpRect.h"
#include "imaging/resample/XpPixmapCrop.h"
#include "imaging/resample/XpPixmapResize.h"

namespace {

constexpr uint32_t kFirstSwappingOrientation = 5;
constexpr uint32_t kLastSwappingOrientation = 8;

}  // namespace

bool XpRawOrientationSwaps(uint32_t orientation) {
  return orientation >= kFirstSwappingOrientation && orientation <= kLastSwappingOrientation;
}

[[nodiscard]] XpResult XpRawCropToPicture(XpPixmapBase& preview, const XpSize& picture) {
  if (picture.cx <= 0 || picture.cy <= 0) {
    return kXpOk;
  }
  int32_t fittedWidth = 0;
  int32_t fittedHeight = 0;
  XpFitSizeInside(picture.cx, picture.cy, preview.width, preview.height, fittedWidth,
                  fittedHeight);
  if (fittedWidth <= 0 || fittedHeight <= 0) {
    return kXpOk;
  }
  if (fittedWidth >= preview.width && fittedHeight >= preview.height) {
    return kXpOk;
  }
  const int32_t left = (preview.width - fittedWidth) / 2;
  const int32_t top = (preview.height - fittedHeight) / 2;
  return XpPixmapCrop(preview, XpRect(left, top, left + fittedWidth, top + fittedHeight));
}

[[nodiscard]] XpResult XpRawReadExactly(XpAbstractFile& file, void* buffer, uint64_t count) {
  uint64_t done = 0;
  const XpResult result = file.Read(buffer, count, &done);
  if (XpFailed(result)) {
    return result;
  }
  return done == count ? kXpOk : kXpErrEndOfFile;
}

[[nodiscard]] XpResult XpRawApplyScale(XpPixmapBase& pixmap, int32_t scale) {
  if (scale == 1) {
    return kXpOk;
  }
  const int32_t width = pixmap.width / scale;
  const int32_t height = pixmap.height / scale;
  if (width < 1 || height < 1) {
    return kXpOk;
  }
  return XpPixmapResize(pixmap, width, height);
}

[[nodiscard]] XpResult XpRawShrinkIntoBox(XpPixmapBase& pixmap, const XpSize& box) {
  if (pixmap.width <= box.cx && pixmap.height <= box.cy) {
    return kXpOk;
  }
  int32_t width = 0;
  int32_t height = 0;
  XpFitSizeInside(pixmap.width, pixmap.height, box.cx, box.cy, width, height);
  return XpPixmapResize(pixmap, width, height);
}
