#pragma once

#include "framework/ui/dialog/XfUiGeometry.h"

// A picture a dialog shows (a pixmap of the imaging library behind an
// adapter); the layer only needs its size.
class IXfPicture {
 public:
  virtual ~IXfPicture() = default;
  virtual XfUiSize Size() const = 0;
};
