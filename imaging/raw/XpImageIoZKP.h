#pragma once

#include <cstdint>

#include "imaging/format/XpFormatKind.h"
#include "imaging/io/XpImageIo.h"

// The reader of the ZKP, ZK2 and ZKW raw files. It never decodes sensor
// data: pictures are the embedded JPEG preview (offset in tag 513 of IFD 0,
// else IFD 1), cropped to the picture's aspect ratio, turned by the Exif
// orientation and scaled on request. Sizes come from IFD 0, the single
// SubIFD or fixed values of some camera models. ZK2 and ZKW files take
// in-place orientation and date edits; ZKP files and early-model ZKW files
// refuse them.
//
// The format flag, handed to the tag parser as its maker-note mode, is 2
// (maker note always an IFD) for ZK2 and ZKW kinds and 1 (maker note kept
// raw) for every other kind. It starts with the kind given here; the
// path-based size and tag reads set it from the path's kind first.
class XpImageIoZKP : public XpImageIo {
 public:
  explicit XpImageIoZKP(XpFormatKind kind = kXpKindZkp);
  ~XpImageIoZKP() override;

  // kXpErrImageBadRegion, before anything is read, for a scale below 1.
  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override;
  // Shrunk to its aspect fit when larger than size.
  XpPixmapBase* ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                 IXpImageProgress* observer, bool convertToSRGB,
                                 bool applyOrientation) override;
  [[nodiscard]] XpResult ReadImageSizeFlag0FromPath(const XpString& path, XpSize* size) override;
  [[nodiscard]] XpResult ReadImageSizeFlag1FromPath(const XpString& path, XpSize* size) override;
  // The preview's displayed size: ReadPreviewSizeFromPath.
  [[nodiscard]] XpResult ReadImageSizeFromPathCopy(XpString path, XpSize* size) override;
  XpSharedPtr<XpTiffTagManager> ReadTagsFromPath(const XpString& path) override;
  // Turns the stored orientation in place; nothing else changes.
  [[nodiscard]] XpResult UpdateTagFromPath(const XpString& path, int32_t quarterTurns,
                                           bool fromUpright) override;
  // kXpErrImageNotSupported: edits go by path only.
  [[nodiscard]] XpResult UpdateTag(XpAbstractFile& file, int32_t quarterTurns,
                                   bool fromUpright) override;
  // DateTimeOriginal := date; when that succeeded, DateTime and the file
  // time become now.
  [[nodiscard]] XpResult WriteDateTimeFromPath(const XpString& path,
                                               const XpDateTime& date) override;
  [[nodiscard]] XpResult WriteDateTime(XpAbstractFile& file, const XpDateTime& date) override;
  // The preview with colour conversion, fitted into 160 x 120 (small
  // previews are enlarged), then turned upright.
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override;
  int32_t GetFormatFlag() override { return formatFlag_; }
  // kXpOk at a byte-order mark ("II" or "MM"), else kXpErrImageNoTiffBlock
  // or the read's result; the file is left at offset.
  [[nodiscard]] XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override;
  // kXpErrImageNoTiffBlock when no usable size is found.
  [[nodiscard]] XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                       bool keepStoredOrientation) override;

  // The preview's own size with the picture's aspect fitted inside it,
  // swapped for orientations 5 to 8. kXpErrImageTagNotFound without a
  // preview offset.
  [[nodiscard]] XpResult ReadPreviewSizeFromPath(const XpString& path, XpSize* size);

  // 2 for the ZK2 and ZKW kinds, 1 for every other kind.
  static int32_t FormatFlagForKind(XpFormatKind kind);

 private:
  struct PreviewFacts;

  void SetFlagFromPath(const XpString& path);
  // Reads the facts of the preview from the tags at offset; the last
  // result says whether a preview offset was found.
  bool ReadPreviewFacts(XpAbstractFile& file, int64_t offset, PreviewFacts& facts);
  XpPixmapBase* DecodePreview(XpAbstractFile& file, int64_t offset, uint32_t& orientation,
                              bool convertToSRGB);
  // Turns the pixmap by orientation; frees it and answers null on error.
  XpPixmapBase* TurnOrDrop(XpPixmapBase* pixmap, uint32_t orientation);
  // Frees the pixmap and answers null when result failed.
  XpPixmapBase* KeepOrDrop(XpPixmapBase* pixmap, XpResult result);
  // kXpOk when the path's kind accepts edits.
  [[nodiscard]] XpResult CheckEditable(const XpString& path);

  int32_t formatFlag_;
};

// Whether the ".zkw" file (extension without case) comes from the early
// camera model: its tags parse and IFD 0's Software begins "RQX-K4000 v".
// A file that cannot be read counts as not early.
bool XpZkwIsEarlyModelFile(const XpString& path);
