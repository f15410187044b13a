#pragma once

#include <cstddef>

#include "imaging/jpeg/XpJpegLib.h"
#include "platform/fs/XpAbstractFile.h"

// The libjpeg source manager that reads an open file from its current
// position in blocks of kBufferSize bytes. A refill that yields no bytes,
// at the end of the file or on a failing read, supplies an end-of-image
// marker (FF D9) instead, so a truncated stream ends its picture and the
// library is never handed an empty buffer.
struct XpJpegFileSource {
  static constexpr size_t kBufferSize = 65536;

  jpeg_source_mgr manager;
  XpAbstractFile* file;
  JOCTET* buffer;
};

// Installs the source on info, allocating it in the permanent pool when
// info has none yet; the buffer comes from the image pool at init_source.
void XpJpegFileSourceInstall(j_decompress_ptr info, XpAbstractFile& file);
