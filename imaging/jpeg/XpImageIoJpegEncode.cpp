#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/geometry/XpFitSize.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCompressRun.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tags/XpTiffTagManager.h"

namespace {

constexpr int32_t kBytesPerPixel = 3;
constexpr int32_t kDefaultThumbnailQuality = 80;
// Room for one thumbnail row (160 x 3 bytes used).
constexpr size_t kThumbnailRowBufferSize = 640;

const uint8_t* PlaneRow(void* context, int32_t y) {
  return static_cast<const XpPlaneBase*>(context)->Row(y);
}

// The rows of a thumbnail: the picture centred on black bars.
struct ThumbnailRows {
  const XpPlaneBase* picture;
  uint8_t* buffer;
  int32_t x0;
  int32_t y0;
  int32_t width;
  int32_t height;
};

const uint8_t* ThumbnailRow(void* context, int32_t y) {
  const auto& rows = *static_cast<const ThumbnailRows*>(context);
  if (y == 0 || y == rows.y0 + rows.height) {
    std::memset(rows.buffer, 0, kThumbnailRowBufferSize);
  }
  if (y >= rows.y0 && y < rows.y0 + rows.height) {
    std::memcpy(rows.buffer + static_cast<size_t>(rows.x0) * kBytesPerPixel,
                rows.picture->Row(y - rows.y0),
                static_cast<size_t>(rows.width) * kBytesPerPixel);
  }
  return rows.buffer;
}

[[nodiscard]] XpResult FirstFailure(XpResult first, XpResult second) {
  return first != kXpOk ? first : second;
}

}  // namespace

XpResult XpImageIoJpeg::EncodeWithMarkers(const Picture& picture, XpTiffTagManager& tags,
                                          XpAbstractFile& file, IXpImageProgress* observer,
                                          bool colourTagged, bool resetOrientation,
                                          XpMemoryFile& iccBytes) {
  XpMemoryFile exif;
  const XpResult built =
      BuildExifBlock(exif, picture, tags, colourTagged, resetOrientation, false, nullptr);
  if (built != kXpOk) {
    return built;
  }
  XpJpegCompressRun run;
  run.file = &file;
  run.width = picture.size.cx;
  run.height = picture.size.cy;
  run.colourSpace = picture.kind == PixmapKind::kBGR ? JCS_EXT_BGR : JCS_YCbCr;
  run.quality = quality_;
  run.exif = static_cast<const uint8_t*>(exif.GetBuffer());
  run.exifSize = exif.GetDataSize();
  run.icc = static_cast<const uint8_t*>(iccBytes.GetBuffer());
  run.iccSize = iccBytes.GetDataSize();
  run.rows = picture.rows;
  run.rowContext = picture.rowContext;
  run.observer = observer;
  return run.Run();
}

XpResult XpImageIoJpeg::EncodeThumbnail(XpAbstractFile& output, const XpPixmapBase& pixmap,
                                        const XpSize& size, bool keepAspect, bool withExif,
                                        const XpDateTime* date, int32_t quality) {
  int32_t width = kThumbnailWidth;
  int32_t height = kThumbnailHeight;
  if (keepAspect) {
    XpFitSizeInside(size.cx, size.cy, kThumbnailWidth, kThumbnailHeight, width, height);
    width = std::max(width, 1);
    height = std::max(height, 1);
  }
  XpPixmapBGR24NoHandle picture;
  XpResult result = picture.Allocate(width, height);
  if (result == kXpOk) {
    result = XpPixmapResizeInto(picture, pixmap);
  }
  if (result == kXpOk) {
    result = output.Open(kXpOpenWrite);
  }
  if (result != kXpOk) {
    return result;
  }
  const std::unique_ptr<uint8_t[]> rowBuffer(new (std::nothrow) uint8_t[kThumbnailRowBufferSize]);
  if (rowBuffer == nullptr) {
    (void)output.Close();
    return kXpErrOutOfMemory;
  }
  XpMemoryFile exif;
  XpResult blockResult = kXpOk;
  if (withExif) {
    const std::unique_ptr<XpTiffTagManager> tags(NewTagTree());
    blockResult = tags == nullptr ? kXpErrOutOfMemory
                                  : BuildExifBlock(exif,
                                                   {XpSize(picture.width, picture.height),
                                                    PixmapKind::kBGR, &picture, nullptr, nullptr},
                                                   *tags, false, true, true, date);
  }
  ThumbnailRows rows{picture.GetPlane(0), rowBuffer.get(), (kThumbnailWidth - width) / 2,
                     (kThumbnailHeight - height) / 2, width, height};
  XpJpegCompressRun run;
  run.file = &output;
  run.width = kThumbnailWidth;
  run.height = kThumbnailHeight;
  run.colourSpace = JCS_EXT_BGR;
  run.quality = quality >= 1 && quality <= kMaxQuality ? quality : kDefaultThumbnailQuality;
  if (withExif && blockResult == kXpOk) {
    run.exif = static_cast<const uint8_t*>(exif.GetBuffer());
    run.exifSize = exif.GetDataSize();
  }
  run.rows = ThumbnailRow;
  run.rowContext = &rows;
  result = FirstFailure(blockResult, run.Run());
  return FirstFailure(result, output.Close());
}

XpResult XpImageIoJpeg::EncodePlain(const XpPixmapBase* pixmap, XpAbstractFile& file,
                                    int32_t quality) {
  if (pixmap == nullptr || !pixmap->IsAllocated() || !XpPixmapIsBGR24(*pixmap)) {
    return kXpErrBadArgument;
  }
  XpJpegCompressRun run;
  run.file = &file;
  run.width = pixmap->width;
  run.height = pixmap->height;
  run.colourSpace = JCS_EXT_BGR;
  run.quality = quality;
  run.sample422 = false;
  run.rows = PlaneRow;
  run.rowContext = const_cast<XpPlaneBase*>(pixmap->GetPlane(0));
  return run.Run();
}
