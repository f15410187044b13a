#pragma once

#include <cstdint>

#include "imaging/format/XpFormatKind.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// The AVI and DV AVI content tests and shooting dates. RIFF fields are
// little-endian; chunk padding is ignored. Every failure is
// kXpKindUnknown or false, the date untouched.
class XpAviContainer {
 public:
  // The content tests look at this many bytes from the start.
  static constexpr uint64_t kHeadBytes = 1000;

  // kXpKindDvAvi for a "dvsd" video stream, kXpKindCameraMjpegAvi for a
  // Motion JPEG stream with the camera's mark in its stream name or in the
  // software tag of the info list, else kXpKindUnknown.
  static XpFormatKind DetectKind(const XpString& path);
  // The date and time packs of the first DIF block of the first video
  // chunk in the movie list that holds both.
  static bool ReadDvDate(const XpString& path, XpDateTime& date);
  // The IDIT text of the camera's Motion JPEG files,
  // "Tue mar 03 10:20:30 2009\n\0".
  static bool ReadIditDate(const XpString& path, XpDateTime& date);
  // The IDIT text alone: weekday and month names of at most three letters,
  // day, hour:minute:second and year.
  static bool ParseIditText(const char* text, uint64_t length, XpDateTime& date);
};
