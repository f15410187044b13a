#pragma once

#include <cstdint>

#include <tiffio.h>

#include "platform/fs/XpAbstractFile.h"

// What libtiff is given as client data: the file and the position at which
// the TIFF block starts. Every offset libtiff asks for counts from there.
struct TiffClientHandle {
  XpAbstractFile* file = nullptr;
  int64_t blockOffset = 0;
};

// The client procedures over a TiffClientHandle. Nothing is written or
// mapped; close frees the handle.
tmsize_t TiffClientRead(thandle_t handle, void* buffer, tmsize_t count);
tmsize_t TiffClientWrite(thandle_t handle, void* buffer, tmsize_t count);
// From the end, offset o goes to the file size + o.
toff_t TiffClientSeek(thandle_t handle, toff_t offset, int whence);
int TiffClientClose(thandle_t handle);
toff_t TiffClientSize(thandle_t handle);
int TiffClientMap(thandle_t handle, void** base, toff_t* size);
void TiffClientUnmap(thandle_t handle, void* base, toff_t size);
