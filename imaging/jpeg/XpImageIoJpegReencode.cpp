// The streamed re-encode of XpImageIoJpeg: a JPEG stream written as the
// writer writes its decoded picture, one row at a time.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "imaging/geometry/XpFitSize.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegDecompressor.h"
#include "imaging/pixmap/XpReaderPixelLimit.h"
#include "imaging/tags/XpTiffTagManager.h"

namespace {

constexpr int32_t kBytesPerPixel = 3;
constexpr int32_t kFullScale = 1;

// The rows of a running decode, one at a time in one buffer.
struct StreamedRows {
  XpJpegDecompressor* decompressor;
  uint8_t* row;
  bool failed;
};

const uint8_t* StreamedRow(void* context, int32_t /*y*/) {
  auto& rows = *static_cast<StreamedRows*>(context);
  if (!rows.decompressor->ReadRow(rows.row)) {
    rows.failed = true;
    return nullptr;
  }
  return rows.row;
}

// Opens the decode of the stream at offset at full scale, BGR output.
[[nodiscard]] XpResult OpenFullScale(XpAbstractFile& source, int64_t offset,
                                     XpJpegDecompressor& decompressor) {
  if (XpFailed(source.Seek(offset, kXpSeekBegin)) || XpFailed(decompressor.Open(source)) ||
      !decompressor.ReadHeader() || XpFailed(decompressor.SetOutput(kFullScale))) {
    return kXpErrImageNoTiffBlock;
  }
  // A multi-scan stream makes the library hold the whole picture's
  // coefficients: such a stream stays within the reader's pixel limit.
  const jpeg_decompress_struct& info = decompressor.Info();
  const uint64_t pixels = uint64_t{info.output_width} * uint64_t{info.output_height};
  if (pixels > kXpMaxReaderPixels && decompressor.HasMultipleScans()) {
    return kXpErrImageNoTiffBlock;
  }
  return kXpOk;
}

// The size of the stream's full-scale output.
[[nodiscard]] XpResult StreamSize(XpAbstractFile& source, int64_t offset, XpSize& size) {
  XpJpegDecompressor decompressor;
  const XpResult result = OpenFullScale(source, offset, decompressor);
  size = XpSize(static_cast<int32_t>(decompressor.Info().output_width),
                static_cast<int32_t>(decompressor.Info().output_height));
  return result;
}

// The size a thumbnail of a picture of size takes inside the thumbnail's
// frame.
XpSize FittedThumbnailSize(const XpSize& size, int32_t width, int32_t height) {
  XpSize fitted;
  XpFitSizeInside(size.cx, size.cy, width, height, fitted.cx, fitted.cy);
  return XpSize(std::max(fitted.cx, 1), std::max(fitted.cy, 1));
}

}  // namespace

XpResult XpImageIoJpeg::EncodeStreamed(XpAbstractFile& source, int64_t offset,
                                       XpTiffTagManager* sourceTags, XpAbstractFile& file) {
  if (name_.IsEmpty()) {
    return kXpErrImageNoWriterName;
  }
  XpMemoryFile iccBytes;
  XpResult result = kXpOk;
  const std::unique_ptr<XpTiffTagManager> tags = PrepareTags(sourceTags, false, iccBytes, result);
  if (tags == nullptr) {
    return result;
  }
  XpSize size;
  result = StreamSize(source, offset, size);
  if (result != kXpOk) {
    return result;
  }
  // The thumbnail's pixels come from a reduced decode that still covers it.
  const XpSize thumbnailSize = FittedThumbnailSize(size, kThumbnailWidth, kThumbnailHeight);
  const std::unique_ptr<XpPixmapBase> reduced(ReadPixmap(
      source, offset, ScaleCovering(size, thumbnailSize), nullptr, false, false));
  if (reduced == nullptr) {
    return kXpErrImageNoTiffBlock;
  }

  XpJpegDecompressor decompressor;
  result = OpenFullScale(source, offset, decompressor);
  if (result != kXpOk) {
    return result;
  }
  const std::unique_ptr<uint8_t[]> row(
      new (std::nothrow) uint8_t[static_cast<size_t>(size.cx) * kBytesPerPixel]);
  if (row == nullptr) {
    return kXpErrOutOfMemory;
  }
  if (!decompressor.StartRows()) {
    return kXpErrImageNoTiffBlock;
  }
  StreamedRows rows{&decompressor, row.get(), false};
  const Picture picture{size, PixmapKind::kBGR, reduced.get(), StreamedRow, &rows};
  const bool colourTagged = iccBytes.GetDataSize() > 0;
  result = EncodeWithMarkers(picture, *tags, file, nullptr, colourTagged, false, iccBytes);
  if (rows.failed) {
    return kXpErrImageNoTiffBlock;
  }
  if (result != kXpOk) {
    return result;
  }
  return decompressor.FinishRows() ? kXpOk : kXpErrImageNoTiffBlock;
}
