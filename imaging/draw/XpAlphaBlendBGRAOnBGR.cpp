#include "imaging/draw/XpAlphaBlendBGRAOnBGR.h"

#include "imaging/draw/XpBlockClip.h"
#include "imaging/resample/XpPackedPixmap.h"

namespace {

constexpr int32_t kAlphaIndex = 3;
constexpr int32_t kTransparent = 0;
constexpr int32_t kOpaque = 255;
constexpr int32_t kAlphaShift = 8;

bool IsKind(const XpPixmapBase& pixmap, int32_t channels) {
  return pixmap.IsAllocated() && XpPackedChannelCount(pixmap) == channels;
}

void BlendPixel(uint8_t* to, const uint8_t* from) {
  const int32_t alpha = from[kAlphaIndex];
  if (alpha == kTransparent) {
    return;
  }
  for (int32_t c = 0; c < kXpBgrChannels; ++c) {
    if (alpha == kOpaque) {
      to[c] = from[c];
      continue;
    }
    const int32_t d = to[c];
    // C++20 shifts a negative value arithmetically.
    to[c] = static_cast<uint8_t>(d + (((from[c] - d) * alpha) >> kAlphaShift));
  }
}

}  // namespace

void XpAlphaBlendBGRAOnBGR(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t width,
                           int32_t height, const XpPixmapBase& source, int32_t sx, int32_t sy) {
  if (!IsKind(destination, kXpBgrChannels) || !IsKind(source, kXpBgraChannels)) {
    return;
  }
  XpBlock block{dx, dy, width, height, sx, sy};
  if (!XpClipBlock(destination, source, block)) {
    return;
  }
  const XpPlaneBase& target = *destination.GetPlane(0);
  const XpPlaneBase& from = *source.GetPlane(0);
  for (int32_t row = 0; row < block.height; ++row) {
    uint8_t* to = target.Row(block.dy + row) + static_cast<size_t>(block.dx) * kXpBgrChannels;
    const uint8_t* pixel = from.Row(block.sy + row) + static_cast<size_t>(block.sx) * kXpBgraChannels;
    for (int32_t x = 0; x < block.width; ++x) {
      BlendPixel(to, pixel);
      to += kXpBgrChannels;
      pixel += kXpBgraChannels;
    }
  }
}
