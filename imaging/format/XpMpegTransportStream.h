#pragma once

#include <cstdint>

#include "imaging/format/XpFormatKind.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// The MPEG transport stream content test and shooting date. Fields are
// big-endian; nothing is read outside the packet it belongs to. Every
// failure is kXpKindUnknown or false, the date untouched.
class XpMpegTransportStream {
 public:
  static constexpr uint64_t kPacketSize = 188;
  static constexpr uint64_t kTimedPacketSize = 192;
  // Bytes looked at for the packet size, and the sync bytes tried.
  static constexpr uint64_t kSizeProbeBytes = 960;
  static constexpr uint64_t kSyncSearchLimit = 576;
  // The kind and date searches stop once they reach these positions.
  static constexpr uint64_t kKindSearchLimit = 409600;
  static constexpr uint64_t kDateSearchLimit = 20000000;

  // The packet size (188 or 192) and the first sync byte's offset; false
  // when no run of three sync bytes is found.
  static bool FindPacketSize(const XpString& path, uint64_t& packetSize, uint64_t& start);
  // kXpKindMpeg2Tshv or kXpKindMpeg2Hdmv by the program map's registration
  // descriptor.
  static XpFormatKind DetectKind(const XpString& path);
  // The recording date of the camera's private packet (PID 0x811).
  static bool ReadDate(const XpString& path, XpDateTime& date);
};
