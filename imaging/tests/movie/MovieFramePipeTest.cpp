#include "imaging/movie/MovieFramePipe.h"

#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

void PutLE(uint8_t* at, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(MovieFramePipe, TokensAreThreeUtf16LittleEndianCharacters) {
  const struct {
    MovieToken token;
    Bytes bytes;
  } cases[] = {
      {MovieToken::kOpen, {0x3C, 0, 0x4F, 0, 0x3E, 0}},
      {MovieToken::kClose, {0x3C, 0, 0x43, 0, 0x3E, 0}},
      {MovieToken::kFrame, {0x3C, 0, 0x4C, 0, 0x3E, 0}},
      {MovieToken::kProperties, {0x3C, 0, 0x50, 0, 0x3E, 0}},
      {MovieToken::kQuit, {0x3C, 0, 0x51, 0, 0x3E, 0}},
      {MovieToken::kBad, {0x3C, 0, 0x42, 0, 0x3E, 0}},
      {MovieToken::kError, {0x3C, 0, 0x45, 0, 0x3E, 0}},
  };
  for (const auto& entry : cases) {
    const MovieTokenBytes encoded = MovieFramePipe::EncodeToken(entry.token);
    EXPECT_EQ(Bytes(encoded.begin(), encoded.end()), entry.bytes);
    EXPECT_EQ(MovieFramePipe::DecodeToken(entry.bytes.data()), entry.token);
  }
  const Bytes others[] = {{0x3C, 0, 0x58, 0, 0x3E, 0}, {0, 0x3C, 0, 0x4F, 0, 0x3E},
                          {0x3C, 1, 0x4F, 0, 0x3E, 0}, {0, 0, 0, 0, 0, 0}};
  for (const Bytes& other : others) {
    EXPECT_EQ(MovieFramePipe::DecodeToken(other.data()), MovieToken::kUnknown);
  }
}

TEST(MovieFramePipe, FrameRequestByteForByte) {
  MovieFrameRequest request;
  request.position = 0x0102030405060708;
  request.width = 100;
  request.height = 50;
  request.keepAspect = 1;
  request.prepare = 0;
  const auto bytes = request.Serialize();
  const Bytes expected = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x64, 0, 0, 0,
                          0x32, 0,    0,    0,    0x01, 0,    0,    0,    0,    0, 0, 0};
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);

  request.position = -2;
  request.width = -1;
  request.prepare = 1;
  const auto negative = request.Serialize();
  const Bytes expectedNegative = {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0x32, 0,    0,    0,
                                  0x01, 0x01, 0,    0,    0,    0,    0,    0};
  EXPECT_EQ(Bytes(negative.begin(), negative.end()), expectedNegative);
}

TEST(MovieFramePipe, OpenRequestCarriesKindLengthAndUtf16Path) {
  MovieOpenRequest request;
  request.fileType = 0x20031100;
  request.path = u"/m/\u00e9.mp4";
  const Bytes expected = {0x00, 0x11, 0x03, 0x20, 0x08, 0x00, 0x00, 0x00, '/', 0, 'm', 0,
                          '/',  0,    0xE9, 0,    '.',  0,    'm',  0,    'p', 0, '4', 0};
  EXPECT_EQ(request.Serialize(), expected);

  // Lengths count UTF-16 units: a character beyond the BMP is two.
  request.path = u"\U0001F600";
  const Bytes surrogates = {0x00, 0x11, 0x03, 0x20, 0x02, 0, 0, 0, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(request.Serialize(), surrogates);
}

TEST(MovieFramePipe, FrameHeaderIsParsedAndCheckedAgainstItsPicture) {
  uint8_t bytes[MovieFrameHeader::kBytes];
  const int32_t fields[] = {100, 50, 15000, 16, 9};
  for (int i = 0; i < 5; ++i) PutLE(bytes + 4 * i, static_cast<uint32_t>(fields[i]), 4);
  const MovieFrameHeader header = MovieFrameHeader::Parse(bytes);
  EXPECT_EQ(header.width, 100);
  EXPECT_EQ(header.height, 50);
  EXPECT_EQ(header.byteCount, 15000);
  EXPECT_EQ(header.aspectX, 16);
  EXPECT_EQ(header.aspectY, 9);

  const struct {
    int32_t width;
    int32_t height;
    int32_t byteCount;
    bool valid;
  } cases[] = {
      {100, 50, 15000, true},   {1, 1, 4, true},           {2, 3, 24, true},
      {5, 2, 32, true},         {65535, 1, 196608, true},  {1, 65535, 262140, true},
      {100, 50, 99999, false},  {100, 50, 14999, false},   {1, 1, 3, false},
      {-1, 50, 0, false},       {0, 50, 0, false},         {100, 0, 0, false},
      {65536, 1, 196608, false}, {1, 65536, 262144, false}, {100, -50, -15000, false},
  };
  for (const auto& entry : cases) {
    MovieFrameHeader candidate;
    candidate.width = entry.width;
    candidate.height = entry.height;
    candidate.byteCount = entry.byteCount;
    EXPECT_EQ(candidate.IsValid(), entry.valid)
        << entry.width << " x " << entry.height << ", " << entry.byteCount;
  }
}

TEST(MovieFramePipe, PropertyBlockEntriesReadTheirOwnBytes) {
  MoviePropertyBlock block;
  // Only the 64-bit file entry is present; its status is at byte 12, its
  // value at bytes 16-23. Every other status is non-zero.
  for (const MoviePropertyEntry& entry : MoviePropertyBlock::Entries()) {
    PutLE(block.Data() + entry.statusOffset, 1, 4);
  }
  PutLE(block.Data(), 1, 4);
  PutLE(block.Data() + 12, 0, 4);
  PutLE(block.Data() + 16, 0x1122334455667788ull, 8);
  EXPECT_TRUE(block.IsPresent(12));
  EXPECT_EQ(block.ReadUInt64(16), 0x1122334455667788ull);

  ::XpMovieProperties properties;
  block.StoreInto(properties);
  uint64_t size = 0;
  EXPECT_EQ(properties.GetUInt64(-1, 0x10002, &size), kXpOk);
  EXPECT_EQ(size, 0x1122334455667788ull);
  const std::vector<::XpMovieProperties::Key> keys = {{-1, 0x10002}, {-1, 0x20000}, {0, 0x20000}};
  EXPECT_EQ(properties.GetKeys(), keys);

  // A status other than 0 hides the value.
  PutLE(block.Data() + 12, 0x80000000u, 4);
  EXPECT_FALSE(block.IsPresent(12));
}

TEST(MovieFramePipe, PropertyEntriesLieInsideTheBlockWithAlignedWideValues) {
  EXPECT_EQ(MoviePropertyBlock::Entries().size(), 19u);
  uint32_t previousEnd = 4;
  for (const MoviePropertyEntry& entry : MoviePropertyBlock::Entries()) {
    const uint32_t valueBytes = entry.type == kXpAnyTypeUInt64 ? 8 : 4;
    EXPECT_GE(entry.statusOffset, previousEnd);
    EXPECT_EQ(entry.valueOffset % valueBytes, 0u);
    EXPECT_EQ(entry.valueOffset, (entry.statusOffset + 4 + valueBytes - 1) / valueBytes * valueBytes);
    previousEnd = entry.valueOffset + valueBytes;
  }
  EXPECT_EQ(previousEnd, MoviePropertyBlock::kBytes);
}

TEST(MovieFramePipe, OpenHeadGivesKindAndLengthAsSent) {
  struct Row {
    int32_t units;
    bool valid;
  };
  const Row rows[] = {{0, true}, {259, true}, {260, false}, {-1, false}, {INT32_MIN, false}};
  for (const Row& row : rows) {
    uint8_t head[MovieOpenRequest::kHeaderBytes];
    PutLE(head, 0x20001100u, 4);
    PutLE(head + 4, static_cast<uint32_t>(row.units), 4);
    int32_t units = 0;
    const MovieOpenRequest request = MovieOpenRequest::ParseHeader(head, &units);
    EXPECT_EQ(request.fileType, 0x20001100u);
    EXPECT_EQ(units, row.units);
    EXPECT_EQ(MovieOpenRequest::IsValidPathLength(units), row.valid) << row.units;
  }
}

TEST(MovieFramePipe, OpenRequestRoundTripsAndPathStopsAtNul) {
  MovieOpenRequest sent;
  sent.fileType = 0x01000000;
  sent.path = u"/m/\u00e9t\u00e9.mp4";
  const std::vector<uint8_t> bytes = sent.Serialize();
  int32_t units = 0;
  const MovieOpenRequest head = MovieOpenRequest::ParseHeader(bytes.data(), &units);
  EXPECT_EQ(head.fileType, sent.fileType);
  EXPECT_EQ(MovieOpenRequest::ParsePath(bytes.data() + MovieOpenRequest::kHeaderBytes, units),
            sent.path);
  const uint8_t withNul[] = {'a', 0, 0, 0, 'b', 0};
  EXPECT_EQ(MovieOpenRequest::ParsePath(withNul, 3), XpString(u"a"));
}

TEST(MovieFramePipe, FrameRequestParsesWhatItSerializes) {
  const MovieFrameRequest rows[] = {
      {0x0102030405060708LL, 160, 90, 1, 0},
      {-1, -1, -5, 0, 1},
      {INT64_MIN, INT32_MAX, INT32_MIN, 255, 255},
  };
  for (const MovieFrameRequest& row : rows) {
    auto bytes = row.Serialize();
    bytes[20] = 0xEE;  // padding is ignored
    const MovieFrameRequest parsed = MovieFrameRequest::Parse(bytes.data());
    EXPECT_EQ(parsed.position, row.position);
    EXPECT_EQ(parsed.width, row.width);
    EXPECT_EQ(parsed.height, row.height);
    EXPECT_EQ(parsed.keepAspect, row.keepAspect);
    EXPECT_EQ(parsed.prepare, row.prepare);
  }
}

TEST(MovieFramePipe, FrameHeaderSerializesLittleEndian) {
  const MovieFrameHeader header{160, 90, 43200, 16, 9};
  const auto bytes = header.Serialize();
  const Bytes expected = {160, 0, 0, 0, 90, 0, 0, 0, 0xC0, 0xA8, 0, 0, 16, 0, 0, 0, 9, 0, 0, 0};
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
  const MovieFrameHeader parsed = MovieFrameHeader::Parse(bytes.data());
  EXPECT_EQ(parsed.byteCount, 43200);
  EXPECT_TRUE(parsed.IsValid());
}

TEST(MovieFramePipe, EntryWritersFillOnlyTheirOwnBytes) {
  MoviePropertyBlock block;
  block.Data()[0] = 0xFF;
  block.SetStreamCount(2);
  EXPECT_EQ(block.GetStreamCount(), 2);
  for (const MoviePropertyEntry& entry : MoviePropertyBlock::Entries()) {
    MoviePropertyBlock one;
    one.SetEntry(entry, 0x1003, 0xA1A2A3A4B1B2B3B4ULL);
    const size_t valueBytes = entry.type == kXpAnyTypeUInt64 ? 8 : 4;
    for (size_t i = 0; i < MoviePropertyBlock::kBytes; ++i) {
      const bool status = i >= entry.statusOffset && i < entry.statusOffset + 4;
      const bool value = i >= entry.valueOffset && i < entry.valueOffset + valueBytes;
      if (!status && !value) {
        EXPECT_EQ(one.Data()[i], 0) << entry.statusOffset << " byte " << i;
      }
    }
    EXPECT_EQ(one.ReadUInt32(entry.statusOffset), 0x1003u);
    EXPECT_FALSE(one.IsPresent(entry.statusOffset));
    if (valueBytes == 8) {
      EXPECT_EQ(one.ReadUInt64(entry.valueOffset), 0xA1A2A3A4B1B2B3B4ULL);
    } else {
      EXPECT_EQ(one.ReadUInt32(entry.valueOffset), 0xB1B2B3B4u);
    }
  }
}

}  // namespace
