#pragma once

#include <cstddef>

#include "imaging/jpeg/XpJpegLib.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// The libjpeg destination manager that writes to an open file in blocks of
// kBufferSize bytes. The compress record's client_data points at the run's
// XpResult: the first failing write stores its result there (a later one
// never replaces it) and ends the run at once through the error exit.
struct XpJpegFileDestination {
  static constexpr size_t kBufferSize = 65536;

  jpeg_destination_mgr manager;
  XpAbstractFile* file;
  JOCTET* buffer;
};

// Installs the destination on info, allocating it in the permanent pool when
// info has none yet. client_data must point at an XpResult.
void XpJpegFileDestinationInstall(j_compress_ptr info, XpAbstractFile& file);
