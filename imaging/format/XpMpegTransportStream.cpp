#include "imaging/format/XpMpegTransportStream.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "imaging/format/XpByteWindow.h"
#include "imaging/format/XpFormatFile.h"
#include "imaging/format/XpMovieDateCodes.h"

namespace {

constexpr uint8_t kSync = 0x47;
constexpr uint8_t kUnitStartBit = 0x40;
constexpr uint16_t kProgramMapPid1 = 0x81;
constexpr uint16_t kProgramMapPid2 = 0x100;
constexpr uint16_t kDatePid = 0x811;
constexpr uint8_t kPayloadOnly = 1;
constexpr uint8_t kAdaptationAndPayload = 3;
constexpr uint64_t kHeaderBytes = 4;

constexpr uint8_t kProgramMapTable = 2;
constexpr uint64_t kSectionHeader = 3;
constexpr uint64_t kProgramInfoLengthAt = 10;
constexpr uint64_t kDescriptorsAt = 12;
constexpr uint16_t kTwelveBits = 0x0FFF;
constexpr uint8_t kRegistrationTag = 5;
constexpr uint8_t kTshvLength = 11;
constexpr uint8_t kHdmvLength = 4;

constexpr std::string_view kDatePayloadStart("\0\0\1\xBF", 4);
constexpr uint64_t kDateMarkAt = 6;
constexpr std::string_view kDateMark("\x44\x39", 2);
constexpr uint64_t kDateFieldsAt = 42;
constexpr uint64_t kDateFieldsBytes = 7;

uint16_t PidOf(const uint8_t* packet) {
  return static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

uint8_t AdaptationControl(const uint8_t* packet) { return (packet[3] >> 4) & 3; }

// The payload's position for control 1 or 3; false for anything else or an
// adaptation field that leaves the packet.
bool PayloadStart(const XpByteWindow& packet, uint64_t& payload) {
  const uint8_t control = AdaptationControl(packet.At(0, kHeaderBytes));
  if (control == kPayloadOnly) {
    payload = kHeaderBytes;
    return true;
  }
  uint8_t adaptationLength = 0;
  if (control != kAdaptationAndPayload || !packet.Byte(kHeaderBytes, adaptationLength)) {
    return false;
  }
  payload = kHeaderBytes + 1 + adaptationLength;
  return payload <= packet.Size();
}

// The kind of a registration descriptor; kXpKindUnknown for others.
XpFormatKind KindOfDescriptor(uint8_t tag, const XpByteWindow& body) {
  if (tag != kRegistrationTag) {
    return kXpKindUnknown;
  }
  if (body.Size() == kTshvLength && body.Matches(0, "TSHV")) {
    return kXpKindMpeg2Tshv;
  }
  if (body.Size() == kHdmvLength && body.Matches(0, "HDMV")) {
    return kXpKindMpeg2Hdmv;
  }
  return kXpKindUnknown;
}

// Walks the program-info descriptors of a program map section; the walk
// stays inside the program-info length, the section and the packet.
XpFormatKind KindOfSection(const XpByteWindow& packet, uint64_t sectionAt) {
  uint8_t tableId = 0;
  uint16_t sectionLength = 0;
  if (!packet.Byte(sectionAt, tableId) || tableId != kProgramMapTable ||
      !packet.Be16(sectionAt + 1, sectionLength)) {
    return kXpKindUnknown;
  }
  const uint64_t sectionSize = kSectionHeader + (sectionLength & kTwelveBits);
  const XpByteWindow section = packet.Sub(sectionAt, sectionSize);
  uint16_t infoLength = 0;
  if (section.Size() == 0 || !section.Be16(kProgramInfoLengthAt, infoLength)) {
    return kXpKindUnknown;
  }
  const uint64_t infoSize =
      std::min<uint64_t>(infoLength & kTwelveBits, section.Size() - kDescriptorsAt);
  const XpByteWindow descriptors = section.Sub(kDescriptorsAt, infoSize);
  uint64_t position = 0;
  uint8_t tag = 0;
  uint8_t length = 0;
  while (descriptors.Byte(position, tag) && descriptors.Byte(position + 1, length)) {
    if (!descriptors.Holds(position + 2, length)) {
      return kXpKindUnknown;
    }
    const XpFormatKind kind = KindOfDescriptor(tag, descriptors.Sub(position + 2, length));
    if (kind != kXpKindUnknown) {
      return kind;
    }
    position += 2 + uint64_t{length};
  }
  return kXpKindUnknown;
}

// The kind a program map packet gives; kXpKindUnknown for other packets.
XpFormatKind KindOfPacket(const XpByteWindow& packet) {
  const uint8_t* header = packet.At(0, kHeaderBytes);
  if (header == nullptr || header[0] != kSync || (header[1] & kUnitStartBit) == 0) {
    return kXpKindUnknown;
  }
  const uint16_t pid = PidOf(header);
  if (pid != kProgramMapPid1 && pid != kProgramMapPid2) {
    return kXpKindUnknown;
  }
  uint64_t pointerAt = 0;
  if (!PayloadStart(packet, pointerAt)) {
    return kXpKindUnknown;
  }
  uint8_t pointer = 0;
  if (!packet.Byte(pointerAt, pointer)) {
    return kXpKindUnknown;
  }
  return KindOfSection(packet, pointerAt + 1 + pointer);
}

// The date of the camera's private packet; false for other packets.
bool DateOfPacket(const XpByteWindow& packet, XpDateTime& date) {
  const uint8_t* header = packet.At(0, kHeaderBytes);
  uint64_t payloadAt = 0;
  if (header == nullptr || header[0] != kSync || PidOf(header) != kDatePid ||
      !PayloadStart(packet, payloadAt)) {
    return false;
  }
  const XpByteWindow payload = packet.Sub(payloadAt, packet.Size() - payloadAt);
  if (!payload.Matches(0, kDatePayloadStart) || !payload.Matches(kDateMarkAt, kDateMark)) {
    return false;
  }
  const uint8_t* fields = payload.At(kDateFieldsAt, kDateFieldsBytes);
  if (fields == nullptr) {
    return false;
  }
  return XpSetDateFromParts(date, XpDecodeBcdYear(fields[2]), XpDecodeMonth(fields[1]),
                            XpDecodeDayOrHour(fields[0]), XpDecodeDayOrHour(fields[6]),
                            XpDecodeMinuteOrSecond(fields[5]), XpDecodeMinuteOrSecond(fields[4]));
}

bool SyncAt(const std::vector<uint8_t>& bytes, uint64_t position) {
  return position < bytes.size() && bytes[position] == kSync;
}

}  // namespace

bool XpMpegTransportStream::FindPacketSize(const XpString& path, uint64_t& packetSize,
                                           uint64_t& start) {
  XpFormatFile file;
  std::vector<uint8_t> bytes;
  if (!file.Open(path) || !file.ReadExactly(0, kSizeProbeBytes, bytes)) {
    return false;
  }
  for (uint64_t offset = 0; offset < kSyncSearchLimit; ++offset) {
    if (!SyncAt(bytes, offset)) {
      continue;
    }
    for (const uint64_t size : {kPacketSize, kTimedPacketSize}) {
      if (SyncAt(bytes, offset + size) && SyncAt(bytes, offset + 2 * size)) {
        packetSize = size;
        start = offset;
        return true;
      }
    }
  }
  return false;
}

XpFormatKind XpMpegTransportStream::DetectKind(const XpString& path) {
  uint64_t packetSize = 0;
  uint64_t position = 0;
  XpFormatFile file;
  if (!FindPacketSize(path, packetSize, position) || !file.Open(path)) {
    return kXpKindUnknown;
  }
  std::vector<uint8_t> bytes;
  for (; position < kKindSearchLimit; position += packetSize) {
    if (!file.ReadExactly(position, packetSize, bytes)) {
      return kXpKindUnknown;
    }
    // A timed packet's last four bytes belong to the next packet.
    const XpFormatKind kind = KindOfPacket(XpByteWindow(bytes.data(), kPacketSize));
    if (kind != kXpKindUnknown) {
      return kind;
    }
  }
  return kXpKindUnknown;
}

bool XpMpegTransportStream::ReadDate(const XpString& path, XpDateTime& date) {
  XpFormatFile file;
  std::vector<uint8_t> bytes;
  if (!file.Open(path) || !file.ReadExactly(0, kPacketSize, bytes)) {
    return false;
  }
  uint64_t position = kPacketSize;
  for (uint64_t index = 0; index < kPacketSize; ++index) {
    if (bytes[index] == kSync) {
      position = index;
      break;
    }
  }
  for (; position < kDateSearchLimit; position += kPacketSize) {
    if (!file.ReadExactly(position, kPacketSize, bytes)) {
      return false;
    }
    if (DateOfPacket(XpByteWindow(bytes.data(), bytes.size()), date)) {
      return true;
    }
  }
  return false;
}
