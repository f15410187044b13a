#pragma once

#include "imaging/format/XpFormatKind.h"

// The reader family that the factory builds for a format kind.
enum class XpImageIoFamily {
  kNone,
  kJpeg,
  kMovie,
  kTiff,
  kZkp,
  kGif,
};

// In this order: the JPEG family ((kind & 0xFF00) is 0x100), any movie kind
// (bit 29), TIFF, the ZKP, ZK2 and ZKW raw kinds, GIF; every other kind,
// MRW included, has none.
XpImageIoFamily XpImageIoFamilyForKind(XpFormatKind kind);
