#pragma once

#include <cstdint>

#include "imaging/io/XpImageIo.h"
#include "imaging/pixmap/XpReaderPixelLimit.h"

class TiffLibrary;
class XpTiffTagIFD;

// The TIFF reader. Pixels come from libtiff, bound at run time and driven
// over the reader's file; tags, orientation and the colour profile come
// from the tag model. Pictures come out as BGR 24-bit pixmaps, as stored
// (Orientations 3 and 4 upright), and with the apply-orientation flag
// Orientations 6 and 8 are turned upright too.
class XpImageIoTiff : public XpImageIo {
 public:
  // Pictures beyond this many pixels (a 1 GiB raster) are not read.
  static constexpr uint64_t kMaxTiffPixels = kXpMaxReaderPixels;

  // The process-wide libtiff binding.
  XpImageIoTiff();
  // The given binding, which must outlive the reader.
  explicit XpImageIoTiff(const TiffLibrary* library);
  ~XpImageIoTiff() override;

  // scale is the divisor 1, 2, 4, 8, 16 or 32 (else kXpErrImageBadRegion):
  // every scale-th row is read, then the width is resized once.
  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override;
  // The profile of IFD 0.
  XpSharedPtr<icc_profile> ReadIccProfile(XpAbstractFile& file, int64_t offset) override;
  // Sets maker-note tag 0x2002: patched in place when present, otherwise
  // IFD 0 is written again at the end of the file, linked to what followed
  // the old one, and the header is pointed at it last.
  [[nodiscard]] XpResult RewriteTagsInPlace(const XpString& path, uint32_t value) override;
  // No preview exists: null, kXpErrImageNotSupported.
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override;
  // "II" or "MM" at offset; the file is left at offset.
  [[nodiscard]] XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override;
  [[nodiscard]] XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                       bool keepStoredOrientation) override;

  // The whole picture at the file's position, every divisor-th row.
  virtual XpPixmapBase* ReadPixmapLibTiff(XpAbstractFile& file, int32_t divisor,
                                          IXpImageProgress* observer);
  // TIFF files have no preview: null.
  virtual XpPixmapBase* ReadPreviewPixmap(XpAbstractFile& file);

 private:
  // Appends IFD 0 with tag 0x2002 set and points the header at it.
  [[nodiscard]] XpResult AppendIFD0(XpAbstractFile& file, XpTiffTagManager& tags,
                                    XpTiffTagIFD& makerNote, uint32_t value);

  const TiffLibrary* library_;
};
