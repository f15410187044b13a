#include "imaging/resample/XpPackedPixmap.h"

#include <cstring>
#include <memory>

#include "imaging/pixmap/XpPixel.h"

namespace {

constexpr int32_t kBitsPerByte = 8;

bool IsPacked(const XpPixmapBase& pixmap, int32_t channels, uint32_t channelSet) {
  return pixmap.GetPlaneCount() == 1 && pixmap.GetBitsPerChannel(0) == kBitsPerByte &&
         pixmap.GetBitsPerPixel(0) == channels * kBitsPerByte &&
         pixmap.GetChannelSet(0) == channelSet;
}

// Puts a saved copy back after the pixmap lost its block.
XpResult Restore(XpPixmapBase& pixmap, const XpPixmapBase& saved) {
  const XpResult result = pixmap.Allocate(saved.width, saved.height);
  if (XpFailed(result)) {
    return result;
  }
  std::memcpy(pixmap.block, saved.block, pixmap.blockSize);
  return kXpOk;
}

}  // namespace

int32_t XpPackedChannelCount(const XpPixmapBase& pixmap) {
  if (IsPacked(pixmap, kXpBgrChannels, XpPixelBGR<unsigned char>::kChannelSet)) {
    return kXpBgrChannels;
  }
  if (IsPacked(pixmap, kXpBgraChannels, XpPixelBGRA<unsigned char>::kChannelSet)) {
    return kXpBgraChannels;
  }
  return 0;
}

void XpCopyPackedRows(const XpPlaneBase& target, const XpPlaneBase& source, int32_t channels) {
  const size_t rowBytes = static_cast<size_t>(source.width) * static_cast<size_t>(channels);
  for (int32_t y = 0; y < source.height; ++y) {
    std::memcpy(target.Row(y), source.Row(y), rowBytes);
  }
}

XpResult XpReplacePixmapContents(XpPixmapBase& pixmap, const XpPixmapBase& replacement) {
  // Allocate gives the old block back first, so a copy of it is kept until
  // the new block is there.
  const std::unique_ptr<XpPixmapBase> saved(pixmap.Clone());
  if (!saved) {
    return kXpErrOutOfMemory;
  }
  const XpResult result = pixmap.Allocate(replacement.width, replacement.height);
  if (XpFailed(result)) {
    Restore(pixmap, *saved);
    return result;
  }
  XpCopyPackedRows(*pixmap.GetPlane(0), *replacement.GetPlane(0),
                   XpPackedChannelCount(replacement));
  return kXpOk;
}
