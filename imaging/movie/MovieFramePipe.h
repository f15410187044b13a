#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/format/XpFormatKind.h"
#include "imaging/movie/XpMovieProperties.h"
#include "platform/text/XpString.h"

// The byte records of the pipe protocol between the movie frame client and
// the movie frame server. Every message begins with a token of three UTF-16
// characters; all numbers and characters are little-endian.

inline constexpr size_t kMovieTokenBytes = 6;
using MovieTokenBytes = std::array<uint8_t, kMovieTokenBytes>;

enum class MovieToken : int32_t {
  kUnknown = 0,
  kOpen,        // "<O>" open a movie
  kClose,       // "<C>" close the opened movie
  kFrame,       // "<L>" a frame: request and reply
  kProperties,  // "<P>" the properties: request and reply
  kQuit,        // "<Q>" end the server
  kBad,         // "<B>" no reader could open the movie
  kError,       // "<E>" the server failed
};

// Paths of an open request hold fewer UTF-16 units than this.
inline constexpr int32_t kMovieMaxPathUnits = 260;

class MovieFramePipe {
 public:
  // The token's 6 bytes; zeros for kUnknown.
  static MovieTokenBytes EncodeToken(MovieToken token);
  // The token of 6 bytes; kUnknown for any other text.
  static MovieToken DecodeToken(const uint8_t* bytes);
};

// After "<O>": int32 file type, int32 path length in UTF-16 units, then the
// path's units without a terminator. No reply.
struct MovieOpenRequest {
  static constexpr size_t kHeaderBytes = 8;

  XpFormatKind fileType = 0;
  XpString path;

  std::vector<uint8_t> Serialize() const;

  // The server's half: the 8-byte head gives the file type and the path
  // length as sent, which may lie outside 0..kMovieMaxPathUnits - 1.
  static MovieOpenRequest ParseHeader(const uint8_t* bytes, int32_t* pathUnits);
  static bool IsValidPathLength(int32_t pathUnits);
  // The path from units x 2 bytes.
  static XpString ParsePath(const uint8_t* bytes, int32_t units);
};

// After "<L>": int64 position, int32 width, int32 height, uint8 keep-aspect
// flag, uint8 prepare flag, six zero bytes.
struct MovieFrameRequest {
  static constexpr size_t kBytes = 24;

  int64_t position = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint8_t keepAspect = 0;
  uint8_t prepare = 0;

  std::array<uint8_t, kBytes> Serialize() const;
  // The padding is ignored.
  static MovieFrameRequest Parse(const uint8_t* bytes);
};

// After the "<L>" reply: int32 width, height, pixel byte count, aspect x,
// aspect y; then the pixels: 24-bit BGR, top row first, rows padded to 4
// bytes.
struct MovieFrameHeader {
  static constexpr size_t kBytes = 20;
  // Largest width and height taken from the server.
  static constexpr int32_t kMaxSide = 65535;

  int32_t width = 0;
  int32_t height = 0;
  int32_t byteCount = 0;
  int32_t aspectX = 0;
  int32_t aspectY = 0;

  static MovieFrameHeader Parse(const uint8_t* bytes);
  std::array<uint8_t, kBytes> Serialize() const;

  // A size within 1..kMaxSide both ways and a byte count of exactly
  // stride x height, stride being 3 x width rounded up to 4.
  bool IsValid() const;
};

// One entry of the property block: where its status word and its value
// stand, its key and its type (kXpAnyTypeInt32, UInt32 or UInt64).
struct MoviePropertyEntry {
  uint32_t statusOffset;
  uint32_t valueOffset;
  int32_t stream;
  int32_t id;
  int32_t type;
};

// The 168-byte reply to "<P>": the stream count at byte 0, then 19 entries
// of a status word (0 = value present) and a value.
class MoviePropertyBlock {
 public:
  static constexpr size_t kBytes = 168;
  static constexpr size_t kEntryCount = 19;
  // The frame size: the values of the entries at these offsets.
  static constexpr uint32_t kWidthStatusOffset = 24;
  static constexpr uint32_t kWidthValueOffset = 28;
  static constexpr uint32_t kHeightStatusOffset = 32;
  static constexpr uint32_t kHeightValueOffset = 36;

  static const std::array<MoviePropertyEntry, kEntryCount>& Entries();

  uint8_t* Data() { return bytes_.data(); }
  const uint8_t* Data() const { return bytes_.data(); }
  void Clear() { bytes_.fill(0); }

  int32_t GetStreamCount() const;
  void SetStreamCount(int32_t streams);
  // Writes the entry's status word and its value: the low 4 bytes of value
  // for the 32-bit types, all 8 for UInt64.
  void SetEntry(const MoviePropertyEntry& entry, int32_t status, uint64_t value);
  bool IsPresent(uint32_t statusOffset) const;
  uint32_t ReadUInt32(uint32_t offset) const;
  uint64_t ReadUInt64(uint32_t offset) const;

  // Stores the two fixed stream kinds, the stream count and every present
  // entry; the audio stream only when the block counts at least 2 streams.
  void StoreInto(XpMovieProperties& properties) const;

 private:
  std::array<uint8_t, kBytes> bytes_{};
};
