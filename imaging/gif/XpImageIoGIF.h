#pragma once

#include <cstdint>

#include <gif_lib.h>

#include "imaging/format/XpFormatKind.h"
#include "imaging/io/XpImageIo.h"

class GifLibrary;

// The GIF reader: the first image drawn on the logical screen as a BGR
// 24-bit pixmap, the screen size, and whether the file is animated. giflib
// is bound at run time; without it reads answer kXpErrImaging.
//
// Hostile files stay inside their buffers: an image reaching past the
// screen is clipped, a pixel index beyond the map in use leaves the
// background, and a background index beyond the global map (or no global
// map) gives black. A screen of more than kXpMaxReaderPixels is not decoded
// (kXpErrOutOfMemory, nothing allocated).
class XpImageIoGIF : public XpImageIo {
 public:
  // The process-wide giflib binding.
  XpImageIoGIF();
  // The given binding, which must outlive the reader.
  explicit XpImageIoGIF(const GifLibrary* library);
  ~XpImageIoGIF() override;

  // ReadPixmapScaled with an empty target.
  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override;
  // Image 0; when both target sides are set, fitted inside the target
  // keeping its aspect, small pictures enlarged.
  XpPixmapBase* ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                 IXpImageProgress* observer, bool convertToSRGB,
                                 bool applyOrientation) override;
  // Not supported: null, kXpErrImageNotSupported.
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override;
  // The logical screen size; kXpErrImageNoTiffBlock when the file is not a
  // GIF.
  [[nodiscard]] XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                       bool keepStoredOrientation) override;

  // kXpKindGif, kXpKindAnimatedGif (a non-zero delay before the second
  // image), or kXpKindUnknown when the file does not open or read.
  XpFormatKind GetKindOfPath(const XpString& path);

  // Decodes up to image imageIndex, each image drawn over the ones before;
  // kind receives what the records seen tell. Null in header-only mode.
  XpPixmapBase* DecodeGif(XpAbstractFile& file, int64_t offset, bool headerOnly,
                          XpFormatKind& kind, int32_t imageIndex);

 private:
  // Opens giflib on the file at offset; null with the result kept when it
  // cannot.
  GifFileType* OpenGif(XpAbstractFile& file, int64_t offset);
  void CloseGif(GifFileType* gif) const;
  // Reads the records; false when a failure ended them early.
  void ReadRecords(GifFileType* gif, XpPixmapBase* pixmap, XpFormatKind& kind,
                   int32_t imageIndex) const;
  // One extension record; false when the decode must end.
  bool ReadExtension(GifFileType* gif, XpFormatKind& kind, int32_t& transparent) const;
  // The lines of the current image; false when a line failed.
  bool ReadLines(GifFileType* gif, XpPixmapBase* pixmap, int32_t transparent) const;

  const GifLibrary* library_;
};
