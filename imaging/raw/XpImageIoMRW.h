#pragma once

#include <cstdint>

#include "imaging/geometry/XpSize.h"
#include "imaging/io/XpImageIo.h"

// The reader of MRW raw files: a header block of named blocks, numbers in
// the byte order of header byte 3. Pictures are the JPEG preview of the
// maker note inside the "TTW" block's TIFF data, cropped to the "PRD"
// block's picture size; tags and in-place edits go through the TTW block.
// The format flag is always 1 (maker note kept raw) for the inherited tag
// reads; the preview's own parses keep a marked maker note as an IFD.
class XpImageIoMRW : public XpImageIo {
 public:
  XpImageIoMRW();
  ~XpImageIoMRW() override;

  // kXpErrImageBadRegion, before anything is read, for a scale below 1.
  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override;
  // Shrunk to its aspect fit when larger than size.
  XpPixmapBase* ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                 IXpImageProgress* observer, bool convertToSRGB,
                                 bool applyOrientation) override;
  // The preview's size: ReadPreviewSizeFromPath.
  [[nodiscard]] XpResult ReadImageSizeFromPathCopy(XpString path, XpSize* size) override;
  // The preview with colour conversion; anything larger than 160 x 120 is
  // stretched to exactly 160 x 120; then turned upright.
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override;
  int32_t GetFormatFlag() override;
  // Leaves the file just behind the TTW block's header. kXpErrImageTagNotFound
  // when the header block holds no TTW block.
  [[nodiscard]] XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override;
  // The PRD size, swapped for IFD 0 orientations 5 to 8 unless
  // keepStoredOrientation. kXpErrImageTagNotFound without a PRD block.
  [[nodiscard]] XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                       bool keepStoredOrientation) override;

  // The preview's own size, swapped for orientations 5 to 8.
  [[nodiscard]] XpResult ReadPreviewSizeFromPath(const XpString& path, XpSize* size);

 private:
  XpPixmapBase* DecodePreviewFromFile(XpAbstractFile& file, int64_t offset,
                                      uint32_t& orientation, bool convertToSRGB);
  XpPixmapBase* TurnOrDrop(XpPixmapBase* pixmap, uint32_t orientation);
  XpPixmapBase* KeepOrDrop(XpPixmapBase* pixmap, XpResult result);
};

// The header at offset: "\0MR" and "M" (big-endian) or "I" (little-endian),
// then the length of the header block's data. kXpErrImageNoTiffBlock for
// another magic.
[[nodiscard]] XpResult MrwReadHeader(XpAbstractFile& file, int64_t offset, bool* bigEndian,
                                     uint32_t* length);

// The picture size of the PRD block (width at data offset 14, height at
// 12). kXpErrImageTagNotFound without the block, kXpErrImageNoTiffBlock for
// a block shorter than 24 bytes.
[[nodiscard]] XpResult MrwReadPrdSize(XpAbstractFile& file, int64_t offset, XpSize* size);

// Decodes the preview JPEG in bytes, whose first byte is forced to 0xFF
// (the buffer is changed and must belong to the caller). *result is kXpOk,
// kXpErrImageNoTiffBlock for fewer than 2 bytes, or the JPEG reader's
// result when no pixmap came out.
XpPixmapBase* MrwDecodePreview(uint8_t* bytes, uint64_t length, XpResult* result);

// The size of the preview JPEG in bytes, first byte forced as above.
[[nodiscard]] XpResult MrwReadPreviewSize(uint8_t* bytes, uint64_t length, XpSize* size);
