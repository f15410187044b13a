#pragma once

#include <cstdint>

#include "imaging/format/XpFormatKind.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// The MPEG program stream content test and shooting date. Fields are
// big-endian. Every failure is kXpKindUnknown or false, the date untouched.
class XpMpegProgramStream {
 public:
  // The date search stops once it reaches this position.
  static constexpr uint64_t kDateSearchLimit = 2000000;

  // By the pack header's first byte: kXpKindMpeg1 or kXpKindMpeg2.
  static XpFormatKind DetectKind(const XpString& path);
  // The recording date of the camera's private "ARI_DATA" packet.
  static bool ReadDate(const XpString& path, XpDateTime& date);
};
