#include "imaging/resample/XpPixmapCrop.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "imaging/resample/XpPackedPixmap.h"

namespace {

bool IsBgr(const XpPixmapBase& pixmap) {
  return XpPackedChannelCount(pixmap) == kXpBgrChannels;
}

bool Contains(const XpPixmapBase& pixmap, const XpRect& rect) {
  return rect.left >= 0 && rect.top >= 0 && rect.right <= pixmap.width &&
         rect.bottom <= pixmap.height;
}

XpRect ClampTo(const XpPixmapBase& pixmap, XpRect rect) {
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, pixmap.width);
  rect.bottom = std::min(rect.bottom, pixmap.height);
  return rect;
}

// Copies the pixels of rect, which lies inside source, to the top left of
// target.
void CopyRect(const XpPlaneBase& target, const XpPlaneBase& source, const XpRect& rect) {
  const size_t rowBytes = static_cast<size_t>(rect.Width()) * kXpBgrChannels;
  const size_t firstByte = static_cast<size_t>(rect.left) * kXpBgrChannels;
  for (int32_t y = 0; y < rect.Height(); ++y) {
    std::memcpy(target.Row(y), source.Row(rect.top + y) + firstByte, rowBytes);
  }
}

}  // namespace

[[nodiscard]] XpResult XpPixmapCrop(XpPixmapBase& pixmap, XpRect rect) {
  if (!IsBgr(pixmap) || !Contains(pixmap, rect) || rect.IsEmpty()) {
    return kXpErrGeneric;
  }
  XpPixmapBGR24NoHandle cropped;
  XpResult result = cropped.Allocate(rect.Width(), rect.Height());
  if (XpFailed(result)) {
    return result;
  }
  CopyRect(*cropped.GetPlane(0), *pixmap.GetPlane(0), rect);
  result = pixmap.Allocate(rect.Width(), rect.Height());
  if (XpFailed(result)) {
    return result;
  }
  std::memcpy(pixmap.block, cropped.block, pixmap.blockSize);
  return kXpOk;
}

XpPixmapBGR24NoHandle* XpPixmapCropCopy(const XpPixmapBase& source, XpRect rect) {
  if (!IsBgr(source) || !source.IsAllocated()) {
    return nullptr;
  }
  rect = ClampTo(source, rect);
  if (rect.IsEmpty()) {
    return nullptr;
  }
  auto* copy = new (std::nothrow) XpPixmapBGR24NoHandle();
  if (copy == nullptr) {
    return nullptr;
  }
  if (XpFailed(copy->Allocate(rect.Width(), rect.Height()))) {
    delete copy;
    return nullptr;
  }
  CopyRect(*copy->GetPlane(0), *source.GetPlane(0), rect);
  return copy;
}
