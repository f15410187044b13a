#pragma once

#include "imaging/jpeg/XpJpegLib.h"

// Carries the marker segments of a source JPEG over to a transcoded copy:
// Setup asks the decompressor to keep them, Execute writes the kept ones to
// the compressor in file order, after jpeg_write_coefficients.
class XpJpegMarkerCopy {
 public:
  enum class Mode {
    // Comments and every APPn.
    kAll,
    // Comments, APP0 and APP2-APP15: every APP1 (Exif, XMP) is left out
    // for a rebuilt Exif block.
    kAllButApp1,
  };

  // Kept segments hold up to this many bytes: all of any segment.
  static constexpr unsigned int kLengthLimit = 0xFFFF;

  // Before jpeg_read_header.
  static void Setup(j_decompress_ptr source, Mode mode);
  // Writes every kept segment with jpeg_write_marker.
  static void Execute(j_decompress_ptr source, j_compress_ptr destination);
};
