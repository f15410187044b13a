#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/memory/XpSharedPtr.h"

// Receives each frame of a batch; a non-zero answer stops the batch.
class IXpMovieFrameObserver {
 public:
  virtual ~IXpMovieFrameObserver() = default;
  // status is 0.
  virtual int32_t OnFrame(int32_t status, const XpSharedPtr<XpPixmapBase>& frame) = 0;
};
