#include "imaging/resample/XpPackedPixmap.h"

#include <cstring>

#include "imaging/pixmap/XpPixel.h"
#include "imaging/pixmap/XpPixmapTypes.h"

namespace {

constexpr int32_t kBitsPerByte = 8;

bool IsPacked(const XpPixmapBase& pixmap, int32_t channels, uint32_t channelSet) {
  return pixmap.GetPlaneCount() == 1 && pixmap.GetBitsPerChannel(0) == kBitsPerByte &&
         pixmap.GetBitsPerPixel(0) == channels * kBitsPerByte &&
         pixmap.GetChannelSet(0) == channelSet;
}

// Builds the new contents in a fresh pixmap of pixmap's own type and swaps
// them in, so the old pixels stay where they are until the new ones are
// complete. False when pixmap is not of type Pixmap.
template <typename Pixmap>
bool ReplaceAs(XpPixmapBase& pixmap, const XpPixmapBase& replacement, XpResult& result) {
  auto* typed = dynamic_cast<Pixmap*>(&pixmap);
  if (typed == nullptr) {
    return false;
  }
  Pixmap fresh;
  result = fresh.Allocate(replacement.width, replacement.height);
  if (XpFailed(result)) {
    return true;
  }
  XpCopyPackedRows(*fresh.GetPlane(0), *replacement.GetPlane(0),
                   XpPackedChannelCount(replacement));
  typed->Swap(fresh);
  return true;
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

[[nodiscard]] XpResult XpReplacePixmapContents(XpPixmapBase& pixmap,
                                               const XpPixmapBase& replacement) {
  XpResult result = kXpErrGeneric;
  if (ReplaceAs<XpPixmapBGR24NoHandle>(pixmap, replacement, result) ||
      ReplaceAs<XpPixmapBGR24>(pixmap, replacement, result) ||
      ReplaceAs<XpPixmapBGRA32>(pixmap, replacement, result)) {
    return result;
  }
  return kXpErrGeneric;
}
