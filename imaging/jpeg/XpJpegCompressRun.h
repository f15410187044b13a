#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/io/IXpImageProgress.h"
#include "imaging/jpeg/XpJpegLib.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// One baseline JPEG compression into an open file: the record, its error
// exit and its destination live and die inside XpJpegCompressRun::Run. The
// caller owns everything the run reads.
struct XpJpegCompressRun {
  // A marker segment holds at most this many bytes of payload.
  static constexpr size_t kMaxMarkerPayload = 65533;
  // An ICC APP2 segment: "ICC_PROFILE", its NUL, sequence and count bytes.
  static constexpr size_t kIccHeaderSize = 14;
  static constexpr size_t kIccChunkSize = kMaxMarkerPayload - kIccHeaderSize;
  // The segment count is one byte.
  static constexpr size_t kMaxIccSegments = 255;
  static constexpr size_t kMaxIccSize = kMaxIccSegments * kIccChunkSize;

  // Returns row y (width x 3 bytes of the input colour space), asked for
  // in order; null when the rows' own source failed.
  using RowSource = const uint8_t* (*)(void* context, int32_t y);

  XpAbstractFile* file = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  J_COLOR_SPACE colourSpace = JCS_EXT_BGR;
  int32_t quality = 0;
  // Y 2 x 1, Cb and Cr 1 x 1; otherwise the library's default sampling.
  bool sample422 = true;
  // The APP1 payload; null for none, left out when above kMaxMarkerPayload.
  const uint8_t* exif = nullptr;
  size_t exifSize = 0;
  // The profile for the APP2 segments; at most kMaxIccSize bytes.
  const uint8_t* icc = nullptr;
  size_t iccSize = 0;
  RowSource rows = nullptr;
  void* rowContext = nullptr;
  // Told the percentage of rows written, in steps of at least 5; non-zero
  // stops the run with kXpErrImageStopped. May be null.
  IXpImageProgress* observer = nullptr;

  // The first failure of the run: a library error kXpErrImaging, a failing
  // write of the file its result, a stop kXpErrImageStopped; else the
  // file's Flush. A null row ends the run with kXpErrImageNoTiffBlock.
  [[nodiscard]] XpResult Run() const;
};
