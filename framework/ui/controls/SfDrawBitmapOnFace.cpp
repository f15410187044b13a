#include "framework/ui/controls/SfDrawBitmapOnFace.h"

#include "imaging/draw/XpAlphaBlendBGRAOnBGR.h"
#include "imaging/draw/XpPixmapCopyRect24.h"

namespace {

constexpr int32_t kBgraBitsPerPixel = 32;
constexpr int32_t kBgrBytesPerPixel = 3;

void Fill(XpPixmapBase& pixmap, XfColour colour) {
  const uint8_t bgr[kBgrBytesPerPixel] = {static_cast<uint8_t>(colour >> 16),
                                          static_cast<uint8_t>(colour >> 8),
                                          static_cast<uint8_t>(colour)};
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < plane.height; ++y) {
    uint8_t* pixel = plane.Row(y);
    for (int32_t x = 0; x < plane.width; ++x) {
      pixel[0] = bgr[0];
      pixel[1] = bgr[1];
      pixel[2] = bgr[2];
      pixel += kBgrBytesPerPixel;
    }
  }
}

}  // namespace

void SfDrawBitmapOnFace(XpPixmapBase& picture, const XpPixmapBase& bitmap, int32_t top,
                        XfColour face) {
  if (bitmap.GetBitsPerPixel(0) == kBgraBitsPerPixel) {
    Fill(picture, face);
    XpAlphaBlendBGRAOnBGR(picture, 0, 0, bitmap.width, picture.height, bitmap, 0, top);
    return;
  }
  XpPixmapCopyRect24(picture, 0, 0, bitmap.width, picture.height, bitmap, 0, top);
}
