#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/io/IXpImageProgress.h"
#include "imaging/jpeg/XpJpegError.h"
#include "imaging/jpeg/XpJpegLib.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// One libjpeg decompression from an open file, for the JPEG reader. Each
// step that may raise a library error catches it on its own setjmp and
// answers false (or kXpErrImageNoTiffBlock); no object with a destructor
// lives below those frames. The record is destroyed with the object.
class XpJpegDecompressor {
 public:
  // Marker data kept by KeepMarkers: up to the largest segment.
  static constexpr unsigned int kMarkerLimit = 0xFFFF;

  XpJpegDecompressor();
  XpJpegDecompressor(const XpJpegDecompressor&) = delete;
  XpJpegDecompressor& operator=(const XpJpegDecompressor&) = delete;
  ~XpJpegDecompressor();

  // Checks the prologue from the file's position, goes back there, then
  // creates the record over a source reading the file. The prologue's
  // failure as it is; kXpErrImageNoTiffBlock for a library error.
  [[nodiscard]] XpResult Open(XpAbstractFile& file);
  // Keeps the data of every marker with code (JPEG_APP0 + n).
  bool KeepMarkers(int code);
  // True when the header up to the first scan was read.
  bool ReadHeader();
  // BGR output, exact DCT, reduced by the denominator (1, 2, 4 or 8);
  // computes output_width and output_height. kXpErrImageMalformed when the
  // output does not have three components.
  [[nodiscard]] XpResult SetOutput(int32_t denominator);
  // Decodes every row into the BGR 24-bit pixmap of output_width x
  // output_height; the observer hears the percentage at every 256th row
  // and 100 at the end. kXpErrImageStopped when it asked to stop.
  [[nodiscard]] XpResult Decode(XpPixmapBase& pixmap, IXpImageProgress* observer);
  // Whether the stream has more than one scan, so that the library holds
  // the whole picture's coefficients while it decodes. After ReadHeader.
  bool HasMultipleScans();

  // Row by row, after SetOutput: StartRows, then ReadRow for each of the
  // output_height rows (output_width x 3 bytes each), then FinishRows.
  // Each is false on a library error.
  bool StartRows();
  bool ReadRow(uint8_t* row);
  bool FinishRows();

  const jpeg_decompress_struct& Info() const { return info_; }
  // The first kept marker with code whose data begins with the size bytes
  // of signature; null when there is none.
  const jpeg_marker_struct* FindMarker(int code, const char* signature, size_t size) const;

 private:
  [[nodiscard]] XpResult DecodeRows(XpPixmapBase& pixmap, IXpImageProgress* observer);

  XpJpegError error_;
  jpeg_decompress_struct info_;
  bool created_ = false;
};

// Whether the marker's data begins with the size bytes of signature.
bool XpJpegMarkerStartsWith(const jpeg_marker_struct& marker, const char* signature, size_t size);
