#include "imaging/bitmap/XpBitmapDecoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/bitmap/BitmapBytes.h"

namespace {

using bitmaptest::BitmapParams;
using bitmaptest::BuildBitmap;
using bitmaptest::PutU32;
using bitmaptest::Value;

std::unique_ptr<XpPixmapBase> Decode(const std::vector<uint8_t>& bytes) {
  return std::unique_ptr<XpPixmapBase>(XpDecodeBitmap(bytes.data(), bytes.size()));
}

// Every pixel of pixmap holds the data's values, its rows turned over.
void ExpectPixels(const XpPixmapBase& pixmap, const BitmapParams& params) {
  ASSERT_EQ(pixmap.width, params.width);
  ASSERT_EQ(pixmap.height, params.height);
  const int32_t channels = params.bitCount / 8;
  for (int32_t y = 0; y < pixmap.height; ++y) {
    const uint8_t* row = pixmap.GetPlane(0)->Row(y);
    for (int32_t x = 0; x < pixmap.width; ++x) {
      for (int32_t c = 0; c < channels; ++c) {
        ASSERT_EQ(row[x * channels + c], Value(x, params.height - 1 - y, c))
            << x << ", " << y << " channel " << c;
      }
    }
  }
}

TEST(XpBitmapDecoder, TwentyFourBitsGiveATopDownBgrPixmapWithHandle) {
  for (const bool fileHeader : {false, true}) {
    SCOPED_TRACE(fileHeader ? "with file header" : "information header only");
    BitmapParams params;
    params.fileHeader = fileHeader;
    const std::unique_ptr<XpPixmapBase> pixmap = Decode(BuildBitmap(params));
    ASSERT_NE(pixmap, nullptr);
    ASSERT_NE(dynamic_cast<XpPixmapBGR24*>(pixmap.get()), nullptr);
    EXPECT_NE(pixmap->GetBitmapHandle(), nullptr);
    // The top row is the data's last row.
    EXPECT_EQ(pixmap->GetPlane(0)->Row(0)[0], Value(0, 1, 0));
    ExpectPixels(*pixmap, params);
  }
}

TEST(XpBitmapDecoder, ThirtyTwoBitsGiveABgraPixmap) {
  BitmapParams params;
  params.width = 3;
  params.height = 4;
  params.bitCount = 32;
  const std::unique_ptr<XpPixmapBase> pixmap = Decode(BuildBitmap(params));
  ASSERT_NE(pixmap, nullptr);
  ASSERT_NE(dynamic_cast<XpPixmapBGRA32*>(pixmap.get()), nullptr);
  ExpectPixels(*pixmap, params);
}

TEST(XpBitmapDecoder, PixelsStartAtTheFileOffsetWhenItIsSound) {
  const struct {
    std::string name;
    BitmapParams params;
  } cases[] = {
      // A 124-byte header: pixel offset 14 + 124 = 138.
      {"124-byte header", {true, 124, 3, 2, 24, 0, 0, 0, 0}},
      {"108-byte header, 32 bits with masks", {true, 108, 2, 3, 32, 3, 0, 0, 0}},
      // 200 - 54 = 146 bytes between the headers and the pixels.
      {"gap to offset 200", {true, 40, 3, 3, 24, 0, 146, 0, 0}},
      {"colour masks", {true, 40, 2, 2, 32, 3, 0, 0, 0}},
      // Without a file header the pixels follow the masks: byte 52.
      {"headerless masks", {false, 40, 2, 2, 32, 3, 0, 0, 0}},
      {"headerless 124-byte header", {false, 124, 2, 2, 24, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<XpPixmapBase> pixmap = Decode(BuildBitmap(c.params));
    ASSERT_NE(pixmap, nullptr);
    ExpectPixels(*pixmap, c.params);
  }
}

TEST(XpBitmapDecoder, UnsoundFileOffsetFallsBackToTheHeaderEnd) {
  for (const uint32_t offset : {13u, 53u, 55u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    BitmapParams params;
    params.width = 3;
    params.pixelOffset = offset;
    const std::unique_ptr<XpPixmapBase> pixmap = Decode(BuildBitmap(params));
    ASSERT_NE(pixmap, nullptr);
    ExpectPixels(*pixmap, params);
  }
}

TEST(XpBitmapDecoder, RefusesWhatItCannotRead) {
  const struct {
    std::string name;
    BitmapParams params;
  } cases[] = {
      {"16 bits", {true, 40, 2, 2, 16, 0, 0, 0, 0}},
      {"8 bits", {true, 40, 2, 2, 8, 0, 0, 0, 0}},
      {"no bit count", {true, 40, 2, 2, 0, 0, 0, 0, 0}},
      {"compression 1", {true, 40, 2, 2, 24, 1, 0, 0, 0}},
      {"compression 2", {false, 40, 2, 2, 24, 2, 0, 0, 0}},
      {"compression 4", {true, 40, 2, 2, 32, 4, 0, 0, 0}},
      {"top-down", {true, 40, 2, -2, 24, 0, 0, 0, 0}},
      {"width 0", {true, 40, 0, 2, 24, 0, 0, 0, 0}},
      {"header below 40", {false, 12, 2, 2, 24, 0, 0, 0, 0}},
      {"last row one byte short", {true, 40, 2, 2, 24, 0, 0, 0, 1}},
      {"headerless last row short", {false, 40, 3, 5, 32, 0, 0, 0, 1}},
      {"masks cut off", {false, 40, 2, 2, 32, 3, 0, 0, 13}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(BuildBitmap(c.params)), nullptr);
  }
}

TEST(XpBitmapDecoder, SizesFromTheHeadersNeverOverflowOrReadPastTheData) {
  std::vector<uint8_t> bytes = BuildBitmap(BitmapParams{});
  // Width 0x40000000, height 2: 3 GiB rows in 70 bytes.
  PutU32(bytes, 14 + 4, 0x40000000);
  EXPECT_EQ(Decode(bytes), nullptr);
  PutU32(bytes, 14 + 4, 0x7FFFFFFF);
  PutU32(bytes, 14 + 8, 0x7FFFFFFF);
  EXPECT_EQ(Decode(bytes), nullptr);

  // A header size beyond the data, or so large it wraps 32 bits.
  for (const uint32_t size : {57u, 0xFFFFFFFFu, 0xFFFFFFF8u}) {
    std::vector<uint8_t> header = BuildBitmap(BitmapParams{});
    PutU32(header, 14, size);
    EXPECT_EQ(Decode(header), nullptr) << size;
  }

  // Too short for the headers.
  const std::vector<uint8_t> whole = BuildBitmap(BitmapParams{});
  for (const size_t length : {size_t{0}, size_t{2}, size_t{39}, size_t{53}}) {
    const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(XpDecodeBitmap(prefix.data(), prefix.size()), nullptr) << length;
  }
  EXPECT_EQ(XpDecodeBitmap(nullptr, 100), nullptr);
}

}  // namespace
