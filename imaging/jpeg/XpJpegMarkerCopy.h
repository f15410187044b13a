#pragma once

#include "imaging/jpeg/XpJpegLib.h"

// Carries the marker segments of a source JPEG over to a transcoded copy:
// Setup asks the decompressor to keep them, Execute writes the ones the
// mode copies to the compressor in file order, after
// jpeg_write_coefficients.
class XpJpegMarkerCopy {
 public:
  enum class Mode {
    // Comments and every APPn.
    kAll,
    // Comments and every APPn but the first Exif APP1, which a rebuilt
    // Exif block replaces; XMP and any other APP1 stay.
    kAllButExif,
  };

  // Kept segments hold up to this many bytes: all of any segment.
  static constexpr unsigned int kLengthLimit = 0xFFFF;

  // Before jpeg_read_header: every comment and APPn segment is kept.
  static void Setup(j_decompress_ptr source);
  // Writes every kept segment with jpeg_write_marker, in file order.
  static void Execute(j_decompress_ptr source, j_compress_ptr destination, Mode mode);
};
