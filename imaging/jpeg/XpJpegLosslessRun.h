#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// One transcoding of a JPEG from an open file into another without
// decoding the picture: the DCT coefficients are copied, turned by a
// transform code of XpJpegCoefficientTransform, and written with the
// source's marker segments. The destination writes no JFIF or Adobe marker
// of its own.
//
// With an Exif block the copy begins with it as APP1 (right after SOI) and
// keeps every source segment but the Exif APP1 it replaces (XMP and other
// APP1 segments included), in file order; without one every source segment
// is kept, in file order.
struct XpJpegLosslessRun {
  // Read from its start.
  XpAbstractFile* source = nullptr;
  // Written from its current position.
  XpAbstractFile* destination = nullptr;
  // The APP1 payload; null or empty for none. At most 65533 bytes.
  const uint8_t* exif = nullptr;
  size_t exifSize = 0;
  int32_t transform = 0;

  // kXpErrImageNoTiffBlock for an unreadable header, a library error or a
  // damaged source stream (the decoder's warnings count: a truncated scan
  // must not pass as a copy); kXpErrImageNotSupported for a transform of a
  // picture with partial iMCUs (nothing written); the failing seek or write
  // its own result.
  [[nodiscard]] XpResult Run() const;
};
