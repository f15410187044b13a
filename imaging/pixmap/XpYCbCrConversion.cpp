#include "imaging/pixmap/XpYCbCrConversion.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

constexpr size_t kYCbCrPixelBytes = 3;
constexpr uint8_t kNeutralChroma = 128;
constexpr int64_t kPackedBytesPerPixel = 2;
constexpr size_t kPackedGroupBytes = 4;
constexpr size_t kPackedCbOffset = 1;
constexpr size_t kPackedCrOffset = 3;

// A new pixmap of the given size, or null.
template <typename Pixmap>
Pixmap* NewAllocated(int32_t width, int32_t height) {
  auto* pixmap = new (std::nothrow) Pixmap();
  if (pixmap == nullptr) {
    return nullptr;
  }
  if (XpFailed(pixmap->Allocate(width, height))) {
    delete pixmap;
    return nullptr;
  }
  return pixmap;
}

XpRect ClampTo(XpRect rect, int32_t width, int32_t height) {
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, width);
  rect.bottom = std::min(rect.bottom, height);
  return rect;
}

// Chroma index of a full-size position: x / 2, at most the last one.
int32_t ChromaIndex(int32_t position, int32_t chromaSize) {
  return std::min(position / 2, chromaSize - 1);
}

void FillRowWithChroma(uint8_t* out, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                       int32_t width, int32_t chromaWidth) {
  for (int32_t x = 0; x < width; ++x) {
    const int32_t cx = ChromaIndex(x, chromaWidth);
    out[0] = luma[x];
    out[1] = cb[cx];
    out[2] = cr[cx];
    out += kYCbCrPixelBytes;
  }
}

void FillRowNeutral(uint8_t* out, const uint8_t* luma, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    out[0] = luma[x];
    out[1] = kNeutralChroma;
    out[2] = kNeutralChroma;
    out += kYCbCrPixelBytes;
  }
}

}  // namespace

XpPixmapYCbCr444* XpPixmapCropCopy(const XpPixmapYCbCr444& source, XpRect rect) {
  rect = ClampTo(rect, source.width, source.height);
  if (rect.IsEmpty()) {
    return nullptr;
  }
  auto* result = NewAllocated<XpPixmapYCbCr444>(rect.Width(), rect.Height());
  if (result == nullptr) {
    return nullptr;
  }
  const XpPlaneBase& from = *source.GetPlane(0);
  const XpPlaneBase& to = *result->GetPlane(0);
  const size_t rowBytes = static_cast<size_t>(rect.Width()) * kYCbCrPixelBytes;
  const size_t leftBytes = static_cast<size_t>(rect.left) * kYCbCrPixelBytes;
  for (int32_t y = 0; y < rect.Height(); ++y) {
    std::memcpy(to.Row(y), from.Row(rect.top + y) + leftBytes, rowBytes);
  }
  return result;
}

XpPixmapYCbCr444* XpPixmapYCbCr420To444(const XpPixmapYCbCr420& source) {
  if (!source.IsAllocated()) {
    return nullptr;
  }
  auto* result = NewAllocated<XpPixmapYCbCr444>(source.width, source.height);
  if (result == nullptr) {
    return nullptr;
  }
  const XpPlaneBase& luma = *source.GetPlane(0);
  const XpPlaneBase& cb = *source.GetPlane(1);
  const XpPlaneBase& cr = *source.GetPlane(2);
  const XpPlaneBase& out = *result->GetPlane(0);
  const bool hasChroma = cb.width > 0 && cb.height > 0;
  for (int32_t y = 0; y < source.height; ++y) {
    if (!hasChroma) {
      FillRowNeutral(out.Row(y), luma.Row(y), source.width);
      continue;
    }
    const int32_t cy = ChromaIndex(y, cb.height);
    FillRowWithChroma(out.Row(y), luma.Row(y), cb.Row(cy), cr.Row(cy), source.width, cb.width);
  }
  return result;
}

XpPixmapYCbCr420* XpPixmapYCbCr422To420(const uint8_t* bytes, int32_t width, int32_t height,
                                        int32_t pitch) {
  if (bytes == nullptr || width < 1 || height < 1 || pitch < 0) {
    return nullptr;
  }
  const int64_t rowBytes = kPackedBytesPerPixel * width;
  const int64_t rowPitch = pitch == 0 ? rowBytes : pitch;
  if (rowPitch < rowBytes) {
    return nullptr;
  }
  auto* result = NewAllocated<XpPixmapYCbCr420>(width, height);
  if (result == nullptr) {
    return nullptr;
  }
  const XpPlaneBase& luma = *result->GetPlane(0);
  const XpPlaneBase& cb = *result->GetPlane(1);
  const XpPlaneBase& cr = *result->GetPlane(2);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bytes + static_cast<size_t>(y) * static_cast<size_t>(rowPitch);
    uint8_t* lumaRow = luma.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      lumaRow[x] = row[static_cast<size_t>(x) * kPackedBytesPerPixel];
    }
    if (y % 2 != 0 || y / 2 >= cb.height) {
      continue;
    }
    uint8_t* cbRow = cb.Row(y / 2);
    uint8_t* crRow = cr.Row(y / 2);
    for (int32_t cx = 0; cx < cb.width; ++cx) {
      const uint8_t* group = row + static_cast<size_t>(cx) * kPackedGroupBytes;
      cbRow[cx] = group[kPackedCbOffset];
      crRow[cx] = group[kPackedCrOffset];
    }
  }
  return result;
}
