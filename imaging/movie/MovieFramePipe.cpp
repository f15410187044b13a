#include "imaging/movie/MovieFramePipe.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kMovieTokenUnits = 3;

struct TokenText {
  MovieToken token;
  const char16_t* text;
};

constexpr TokenText kTokens[] = {
    {MovieToken::kOpen, u"<O>"},       {MovieToken::kClose, u"<C>"}, {MovieToken::kFrame, u"<L>"},
    {MovieToken::kProperties, u"<P>"}, {MovieToken::kQuit, u"<Q>"},  {MovieToken::kBad, u"<B>"},
    {MovieToken::kError, u"<E>"},
};

// The property that every stream carries: its kind.
constexpr int32_t kStreamKindId = 0x20000;
constexpr int32_t kStreamKindFile = 1;
constexpr int32_t kStreamKindVideo = 2;
constexpr int32_t kStreamKindAudio = 3;
// Audio entries are kept only when the movie has at least this many streams.
constexpr int32_t kStreamsWithAudio = 2;

constexpr uint32_t kBitsPerByte = 8;

// Field offsets of a frame request.
constexpr size_t kRequestWidthAt = 8;
constexpr size_t kRequestHeightAt = 12;
constexpr size_t kRequestKeepAspectAt = 16;
constexpr size_t kRequestPrepareAt = 17;
// Field offsets of a frame header.
constexpr size_t kHeaderHeightAt = 4;
constexpr size_t kHeaderByteCountAt = 8;
constexpr size_t kHeaderAspectXAt = 12;
constexpr size_t kHeaderAspectYAt = 16;

void PutLE(uint8_t* out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    out[i] = static_cast<uint8_t>(value >> (kBitsPerByte * i));
  }
}

uint64_t GetLE(const uint8_t* in, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value |= static_cast<uint64_t>(in[i]) << (kBitsPerByte * i);
  }
  return value;
}

int32_t GetInt32(const uint8_t* in) { return static_cast<int32_t>(GetLE(in, sizeof(int32_t))); }

// (status offset, value offset, stream, id, type) as the server lays them out.
constexpr std::array<MoviePropertyEntry, MoviePropertyBlock::kEntryCount> kEntries{{
    {4, 8, kXpMovieStreamFile, 0x10000, kXpAnyTypeInt32},
    {12, 16, kXpMovieStreamFile, 0x10002, kXpAnyTypeUInt64},
    {24, 28, kXpMovieStreamVideo, 0x20001, kXpAnyTypeInt32},
    {32, 36, kXpMovieStreamVideo, 0x30000, kXpAnyTypeUInt32},
    {40, 44, kXpMovieStreamVideo, 0x30001, kXpAnyTypeUInt32},
    {48, 52, kXpMovieStreamVideo, 0x30002, kXpAnyTypeUInt32},
    {56, 60, kXpMovieStreamVideo, 0x30003, kXpAnyTypeUInt32},
    {64, 68, kXpMovieStreamVideo, 0x30004, kXpAnyTypeUInt32},
    {72, 76, kXpMovieStreamVideo, 0x30005, kXpAnyTypeUInt32},
    {80, 88, kXpMovieStreamVideo, 0x30006, kXpAnyTypeUInt64},
    {96, 100, kXpMovieStreamVideo, 0x20003, kXpAnyTypeUInt32},
    {104, 108, kXpMovieStreamVideo, 0x30007, kXpAnyTypeUInt32},
    {112, 116, kXpMovieStreamAudio, 0x20001, kXpAnyTypeInt32},
    {120, 124, kXpMovieStreamAudio, 0x40000, kXpAnyTypeInt32},
    {128, 132, kXpMovieStreamAudio, 0x40001, kXpAnyTypeUInt32},
    {136, 140, kXpMovieStreamAudio, 0x40002, kXpAnyTypeUInt32},
    {144, 148, kXpMovieStreamAudio, 0x40003, kXpAnyTypeUInt32},
    {152, 156, kXpMovieStreamAudio, 0x40004, kXpAnyTypeUInt32},
    {160, 164, kXpMovieStreamAudio, 0x20003, kXpAnyTypeUInt32},
}};

}  // namespace

MovieTokenBytes MovieFramePipe::EncodeToken(MovieToken token) {
  MovieTokenBytes bytes{};
  for (const TokenText& entry : kTokens) {
    if (entry.token != token) continue;
    for (int32_t i = 0; i < kMovieTokenUnits; ++i) {
      PutLE(bytes.data() + i * sizeof(char16_t), entry.text[i], sizeof(char16_t));
    }
  }
  return bytes;
}

MovieToken MovieFramePipe::DecodeToken(const uint8_t* bytes) {
  for (const TokenText& entry : kTokens) {
    const MovieTokenBytes encoded = EncodeToken(entry.token);
    if (std::memcmp(encoded.data(), bytes, kMovieTokenBytes) == 0) {
      return entry.token;
    }
  }
  return MovieToken::kUnknown;
}

std::vector<uint8_t> MovieOpenRequest::Serialize() const {
  const int32_t units = path.GetLength();
  std::vector<uint8_t> bytes(kHeaderBytes + static_cast<size_t>(units) * sizeof(char16_t));
  PutLE(bytes.data(), fileType, sizeof(int32_t));
  PutLE(bytes.data() + sizeof(int32_t), static_cast<uint32_t>(units), sizeof(int32_t));
  const char16_t* chars = path.CStr();
  for (int32_t i = 0; i < units; ++i) {
    PutLE(bytes.data() + kHeaderBytes + i * sizeof(char16_t), chars[i], sizeof(char16_t));
  }
  return bytes;
}

MovieOpenRequest MovieOpenRequest::ParseHeader(const uint8_t* bytes, int32_t* pathUnits) {
  MovieOpenRequest request;
  request.fileType = static_cast<XpFormatKind>(GetLE(bytes, sizeof(int32_t)));
  *pathUnits = GetInt32(bytes + sizeof(int32_t));
  return request;
}

bool MovieOpenRequest::IsValidPathLength(int32_t pathUnits) {
  return pathUnits >= 0 && pathUnits < kMovieMaxPathUnits;
}

XpString MovieOpenRequest::ParsePath(const uint8_t* bytes, int32_t units) {
  std::u16string text(static_cast<size_t>(std::max(units, 0)), u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(GetLE(bytes + i * sizeof(char16_t), sizeof(char16_t)));
  }
  return XpString(text.c_str());
}

std::array<uint8_t, MovieFrameRequest::kBytes> MovieFrameRequest::Serialize() const {
  std::array<uint8_t, kBytes> bytes{};
  PutLE(bytes.data(), static_cast<uint64_t>(position), sizeof(int64_t));
  PutLE(bytes.data() + kRequestWidthAt, static_cast<uint32_t>(width), sizeof(int32_t));
  PutLE(bytes.data() + kRequestHeightAt, static_cast<uint32_t>(height), sizeof(int32_t));
  bytes[kRequestKeepAspectAt] = keepAspect;
  bytes[kRequestPrepareAt] = prepare;
  return bytes;
}

MovieFrameRequest MovieFrameRequest::Parse(const uint8_t* bytes) {
  MovieFrameRequest request;
  request.position = static_cast<int64_t>(GetLE(bytes, sizeof(int64_t)));
  request.width = GetInt32(bytes + kRequestWidthAt);
  request.height = GetInt32(bytes + kRequestHeightAt);
  request.keepAspect = bytes[kRequestKeepAspectAt];
  request.prepare = bytes[kRequestPrepareAt];
  return request;
}

MovieFrameHeader MovieFrameHeader::Parse(const uint8_t* bytes) {
  MovieFrameHeader header;
  header.width = GetInt32(bytes);
  header.height = GetInt32(bytes + kHeaderHeightAt);
  header.byteCount = GetInt32(bytes + kHeaderByteCountAt);
  header.aspectX = GetInt32(bytes + kHeaderAspectXAt);
  header.aspectY = GetInt32(bytes + kHeaderAspectYAt);
  return header;
}

std::array<uint8_t, MovieFrameHeader::kBytes> MovieFrameHeader::Serialize() const {
  std::array<uint8_t, kBytes> bytes{};
  PutLE(bytes.data(), static_cast<uint32_t>(width), sizeof(int32_t));
  PutLE(bytes.data() + kHeaderHeightAt, static_cast<uint32_t>(height), sizeof(int32_t));
  PutLE(bytes.data() + kHeaderByteCountAt, static_cast<uint32_t>(byteCount), sizeof(int32_t));
  PutLE(bytes.data() + kHeaderAspectXAt, static_cast<uint32_t>(aspectX), sizeof(int32_t));
  PutLE(bytes.data() + kHeaderAspectYAt, static_cast<uint32_t>(aspectY), sizeof(int32_t));
  return bytes;
}

bool MovieFrameHeader::IsValid() const {
  constexpr int64_t kBytesPerPixel = 3;
  constexpr int64_t kRowAlignment = 4;
  if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) {
    return false;
  }
  const int64_t stride =
      (kBytesPerPixel * width + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  return static_cast<int64_t>(byteCount) == stride * height;
}

const std::array<MoviePropertyEntry, MoviePropertyBlock::kEntryCount>&
MoviePropertyBlock::Entries() {
  return kEntries;
}

int32_t MoviePropertyBlock::GetStreamCount() const { return GetInt32(bytes_.data()); }

void MoviePropertyBlock::SetStreamCount(int32_t streams) {
  PutLE(bytes_.data(), static_cast<uint32_t>(streams), sizeof(int32_t));
}

void MoviePropertyBlock::SetEntry(const MoviePropertyEntry& entry, int32_t status,
                                  uint64_t value) {
  PutLE(bytes_.data() + entry.statusOffset, static_cast<uint32_t>(status), sizeof(int32_t));
  const size_t valueBytes = entry.type == kXpAnyTypeUInt64 ? sizeof(uint64_t) : sizeof(uint32_t);
  PutLE(bytes_.data() + entry.valueOffset, value, valueBytes);
}

bool MoviePropertyBlock::IsPresent(uint32_t statusOffset) const {
  return ReadUInt32(statusOffset) == 0;
}

uint32_t MoviePropertyBlock::ReadUInt32(uint32_t offset) const {
  return static_cast<uint32_t>(GetLE(bytes_.data() + offset, sizeof(uint32_t)));
}

uint64_t MoviePropertyBlock::ReadUInt64(uint32_t offset) const {
  return GetLE(bytes_.data() + offset, sizeof(uint64_t));
}

void MoviePropertyBlock::StoreInto(XpMovieProperties& properties) const {
  const int32_t streams = GetStreamCount();
  const bool withAudio = streams >= kStreamsWithAudio;
  properties.SetStreamCount(streams);
  properties.SetInt32(kXpMovieStreamFile, kStreamKindId, kStreamKindFile);
  properties.SetInt32(kXpMovieStreamVideo, kStreamKindId, kStreamKindVideo);
  if (withAudio) {
    properties.SetInt32(kXpMovieStreamAudio, kStreamKindId, kStreamKindAudio);
  }
  for (const MoviePropertyEntry& entry : kEntries) {
    if (!IsPresent(entry.statusOffset) || (entry.stream == kXpMovieStreamAudio && !withAudio)) {
      continue;
    }
    switch (entry.type) {
      case kXpAnyTypeInt32:
        properties.SetInt32(entry.stream, entry.id,
                            static_cast<int32_t>(ReadUInt32(entry.valueOffset)));
        break;
      case kXpAnyTypeUInt32:
        properties.SetUInt32(entry.stream, entry.id, ReadUInt32(entry.valueOffset));
        break;
      default:
        properties.SetUInt64(entry.stream, entry.id, ReadUInt64(entry.valueOffset));
        break;
    }
  }
}
