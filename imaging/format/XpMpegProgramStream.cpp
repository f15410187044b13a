#include "imaging/format/XpMpegProgramStream.h"

#include <vector>

#include "imaging/format/XpByteWindow.h"
#include "imaging/format/XpFormatFile.h"
#include "imaging/format/XpMovieDateCodes.h"

namespace {

constexpr uint8_t kMpeg1Bit = 0x20;
constexpr uint8_t kMpeg2Bit = 0x40;

constexpr uint64_t kPacketHeader = 6;
constexpr uint8_t kPackHeader = 0xBA;
constexpr uint64_t kPackSkip = 8;
constexpr uint8_t kPrivateStream1 = 0xBD;
constexpr uint8_t kPrivateStream2 = 0xBF;
constexpr uint64_t kPrivate1Skip = 4;
constexpr uint64_t kPrivate2Skip = 60;

constexpr uint64_t kAriBlockSize = 170;
constexpr std::string_view kAriMark("ARI_DATA\x01", 9);
constexpr uint64_t kAriVersionAt = 9;
constexpr uint8_t kAriVersionLimit = 16;
constexpr uint64_t kAriDateAt = 162;
constexpr uint64_t kAriDateBytes = 5;

bool IsStartCode(const XpByteWindow& header) {
  return header.Matches(0, std::string_view("\0\0\1", 3));
}

// Year 14 bits, month 4, day 5, hour 5, minute 6, second 6, big-endian.
bool DateOfAriBlock(const XpByteWindow& block, XpDateTime& date) {
  uint8_t version = 0;
  if (!block.Matches(0, kAriMark) || !block.Byte(kAriVersionAt, version) ||
      version >= kAriVersionLimit) {
    return false;
  }
  const uint8_t* bytes = block.At(kAriDateAt, kAriDateBytes);
  if (bytes == nullptr) {
    return false;
  }
  uint64_t bits = 0;
  for (uint64_t index = 0; index < kAriDateBytes; ++index) {
    bits = (bits << 8) | bytes[index];
  }
  const auto field = [&bits](int shift, int width) {
    return static_cast<int32_t>((bits >> shift) & ((uint64_t{1} << width) - 1));
  };
  return XpSetDateFromParts(date, field(26, 14), field(22, 4), field(17, 5), field(12, 5),
                            field(6, 6), field(0, 6));
}

}  // namespace

XpFormatKind XpMpegProgramStream::DetectKind(const XpString& path) {
  constexpr uint64_t kHeadBytes = 5;
  XpFormatFile file;
  std::vector<uint8_t> bytes;
  if (!file.Open(path) || !file.ReadExactly(0, kHeadBytes, bytes)) {
    return kXpKindUnknown;
  }
  const XpByteWindow head(bytes.data(), bytes.size());
  if (!head.Matches(0, std::string_view("\0\0\1\xBA", 4))) {
    return kXpKindUnknown;
  }
  if ((bytes[4] & kMpeg1Bit) != 0) {
    return kXpKindMpeg1;
  }
  if ((bytes[4] & kMpeg2Bit) != 0) {
    return kXpKindMpeg2;
  }
  return kXpKindUnknown;
}

bool XpMpegProgramStream::ReadDate(const XpString& path, XpDateTime& date) {
  XpFormatFile file;
  std::vector<uint8_t> bytes;
  if (!file.Open(path) || !file.ReadExactly(0, kPacketHeader, bytes)) {
    return false;
  }
  uint64_t start = 0;
  std::vector<uint8_t> block;
  while (IsStartCode(XpByteWindow(bytes.data(), bytes.size()))) {
    const uint8_t id = bytes[3];
    const uint64_t length = (uint64_t{bytes[4]} << 8) | bytes[5];
    uint64_t next = start + kPacketHeader + length;
    if (id == kPackHeader) {
      next = start + kPacketHeader + kPackSkip;
    } else if (id == kPrivateStream1 || id == kPrivateStream2) {
      const uint64_t skip = id == kPrivateStream1 ? kPrivate1Skip : kPrivate2Skip;
      if (file.ReadExactly(start + kPacketHeader + skip, kAriBlockSize, block) &&
          DateOfAriBlock(XpByteWindow(block.data(), block.size()), date)) {
        return true;
      }
    }
    start = next;
    if (start >= kDateSearchLimit || !file.ReadExactly(start, kPacketHeader, bytes)) {
      return false;
    }
  }
  return false;
}
