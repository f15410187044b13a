#include <gtest/gtest.h>

#include <memory>

#include "imaging/gif/GifLibrary.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/gif/XpImageIoGIF.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/gif/GifBuilder.h"
#include "imaging/tests/gif/GifTestSupport.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Rgb = GifBuilder::Rgb;
using Bgr = std::array<uint8_t, 3>;

const Rgb kRed{200, 10, 20};
const Rgb kGreen{30, 180, 40};
const Rgb kBlue{50, 60, 170};
const Rgb kWhite{255, 255, 255};
const Bgr kBlack{0, 0, 0};

Bgr BgrOf(const Rgb& colour) { return {colour.blue, colour.green, colour.red}; }

class XpImageIoGIF : public testsupport::HermeticTest {
 protected:
  XpString Write(const std::vector<uint8_t>& bytes, const char* name = "picture.gif") {
    const auto path = Dir("gifs") / name;
    WriteBytes(path, bytes);
    return PathText(path);
  }

  // Decodes up to image imageIndex from bytes held in memory.
  std::unique_ptr<XpPixmapBase> Decode(const std::vector<uint8_t>& bytes, int32_t imageIndex = 0) {
    XpMemoryFile file(const_cast<uint8_t*>(bytes.data()), bytes.size(), false);
    EXPECT_EQ(file.Open(kXpOpenRead), kXpOk);
    XpFormatKind kind = 0;
    return std::unique_ptr<XpPixmapBase>(reader_.DecodeGif(file, 0, false, kind, imageIndex));
  }

  ::XpImageIoGIF reader_;
};

TEST_F(XpImageIoGIF, KindLooksAtTheDelaysUpToTheSecondImage) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    XpFormatKind kind;
  };
  const std::vector<uint8_t> pixel = {0};
  const Case cases[] = {
      {"delay only before the second image",
       GifBuilder()
           .Screen(1, 1, {kRed, kGreen}, 0)
           .GraphicControl(0, -1)
           .Image(0, 0, 1, 1, pixel)
           .GraphicControl(10, -1)
           .Image(0, 0, 1, 1, pixel)
           .Trailer()
           .Bytes(),
       kXpKindAnimatedGif},
      {"delay only after the second image",
       GifBuilder()
           .Screen(1, 1, {kRed, kGreen}, 0)
           .Image(0, 0, 1, 1, pixel)
           .Image(0, 0, 1, 1, pixel)
           .GraphicControl(10, -1)
           .Image(0, 0, 1, 1, pixel)
           .Trailer()
           .Bytes(),
       kXpKindGif},
      {"one still image",
       GifBuilder().Screen(1, 1, {kRed}, 0).Image(0, 0, 1, 1, pixel).Trailer().Bytes(),
       kXpKindGif},
      {"not a GIF", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0}, kXpKindUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reader_.GetKindOfPath(Write(c.bytes)), c.kind) << c.name;
  }
  EXPECT_EQ(reader_.GetKindOfPath(u"/no/such/file.gif"), kXpKindUnknown);
  EXPECT_NE(reader_.GetLastError(), kXpOk);
}

TEST_F(XpImageIoGIF, InterlacedImageEqualsItsPlainTwin) {
  std::vector<uint8_t> pixels(7 * 19);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<uint8_t>((i / 7 * 3 + i % 7) % 4);
  }
  const std::vector<Rgb> map = {kRed, kGreen, kBlue, kWhite};
  const auto plain =
      Decode(GifBuilder().Screen(7, 19, map, 0).Image(0, 0, 7, 19, pixels).Trailer().Bytes());
  const auto interlaced = Decode(
      GifBuilder().Screen(7, 19, map, 0).Image(0, 0, 7, 19, pixels, {}, true).Trailer().Bytes());
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(interlaced, nullptr);
  EXPECT_EQ(AllPixels(*interlaced), AllPixels(*plain));
  // Rows differ: row y begins with entry 3y mod 4.
  EXPECT_EQ(PixelAt(*plain, 0, 1), BgrOf(kWhite));
  EXPECT_EQ(PixelAt(*plain, 0, 2), BgrOf(kBlue));
  EXPECT_EQ(PixelAt(*plain, 1, 0), BgrOf(kGreen));
}

TEST_F(XpImageIoGIF, BackgroundAndTransparency) {
  // Screen 3 x 1, background entry 2; the image's index 1 is transparent.
  const auto transparent = Decode(GifBuilder()
                                      .Screen(3, 1, {kRed, kGreen, kBlue, kWhite}, 2)
                                      .GraphicControl(0, 1)
                                      .Image(0, 0, 3, 1, {0, 1, 3})
                                      .Trailer()
                                      .Bytes());
  ASSERT_NE(transparent, nullptr);
  EXPECT_EQ(AllPixels(*transparent),
            (std::vector<Bgr>{BgrOf(kRed), BgrOf(kBlue), BgrOf(kWhite)}));

  const auto noMap =
      Decode(GifBuilder().Screen(2, 2, {}, 0).Image(0, 0, 2, 2, {1, 2, 3, 4}).Trailer().Bytes());
  ASSERT_NE(noMap, nullptr);
  EXPECT_EQ(AllPixels(*noMap), std::vector<Bgr>(4, kBlack));
}

TEST_F(XpImageIoGIF, SizeIsTheLogicalScreen) {
  XpSize size;
  const auto bytes = GifBuilder()
                         .Screen(33, 17, {kRed}, 0)
                         .Image(2, 2, 4, 4, std::vector<uint8_t>(16))
                         .Trailer()
                         .Bytes();
  EXPECT_EQ(reader_.ReadImageSizeFlag0FromPath(Write(bytes), &size), kXpOk);
  EXPECT_EQ(size.cx, 33);
  EXPECT_EQ(size.cy, 17);
  EXPECT_EQ(reader_.ReadImageSizeFlag0FromPath(Write({0xFF, 0xD8, 0xFF, 0xD9}, "jpeg.gif"), &size),
            kXpErrImageNoTiffBlock);
}

TEST_F(XpImageIoGIF, ScaledReadFitsAndEnlarges) {
  const auto path = Write(GifBuilder()
                              .Screen(4, 2, {kRed}, 0)
                              .Image(0, 0, 4, 2, std::vector<uint8_t>(8))
                              .Trailer()
                              .Bytes());
  std::unique_ptr<XpPixmapBase> fitted(
      reader_.ReadPixmapScaledFromPath(path, XpSize(16, 16), nullptr, false, false));
  ASSERT_NE(fitted, nullptr);
  EXPECT_EQ(fitted->width, 16);
  EXPECT_EQ(fitted->height, 8);
  std::unique_ptr<XpPixmapBase> whole(reader_.ReadPixmapFromPath(path, 1, nullptr, false, false));
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->width, 4);
  EXPECT_EQ(whole->height, 2);
  EXPECT_EQ(reader_.ReadOrientedPixmapFromPath(path), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpErrImageNotSupported);
}

// Hostile files: each draws only inside the pixmap and reads only inside
// the maps (checked under ASan), with the pixels the reader promises.
TEST_F(XpImageIoGIF, HostileImagesStayInsideTheirBuffers) {
  // 10 x 10 at (5, 5) on an 8 x 8 screen: only the 3 x 3 corner shows.
  const auto clipped = Decode(GifBuilder()
                                  .Screen(8, 8, {kRed, kGreen}, 0)
                                  .Image(5, 5, 10, 10, std::vector<uint8_t>(100, 1))
                                  .Trailer()
                                  .Bytes());
  ASSERT_NE(clipped, nullptr);
  EXPECT_EQ(PixelAt(*clipped, 7, 7), BgrOf(kGreen));
  EXPECT_EQ(PixelAt(*clipped, 5, 5), BgrOf(kGreen));
  EXPECT_EQ(PixelAt(*clipped, 4, 7), BgrOf(kRed));

  // Index 7 against a 2-entry local map leaves the background.
  const auto beyondMap = Decode(GifBuilder()
                                    .Screen(2, 1, {kRed, kGreen}, 0)
                                    .Image(0, 0, 2, 1, {7, 1}, {kBlue, kWhite})
                                    .Trailer()
                                    .Bytes());
  ASSERT_NE(beyondMap, nullptr);
  EXPECT_EQ(AllPixels(*beyondMap), (std::vector<Bgr>{BgrOf(kRed), BgrOf(kWhite)}));

  // Background 200 with a 4-entry global map is black.
  const auto farBackground = Decode(GifBuilder()
                                        .Screen(2, 1, {kRed, kGreen, kBlue, kWhite}, 200)
                                        .Image(0, 0, 1, 1, {1})
                                        .Trailer()
                                        .Bytes());
  ASSERT_NE(farBackground, nullptr);
  EXPECT_EQ(AllPixels(*farBackground), (std::vector<Bgr>{BgrOf(kGreen), kBlack}));

  // A graphic-control block of length 2 sets no transparency.
  const auto shortControl = Decode(GifBuilder()
                                       .Screen(2, 1, {kRed, kGreen}, 1)
                                       .GraphicControl(0, 0, 2)
                                       .Image(0, 0, 2, 1, {0, 0})
                                       .Trailer()
                                       .Bytes());
  ASSERT_NE(shortControl, nullptr);
  EXPECT_EQ(AllPixels(*shortControl), (std::vector<Bgr>{BgrOf(kRed), BgrOf(kRed)}));
}

TEST_F(XpImageIoGIF, CutFileReturnsWhatWasDrawn) {
  auto bytes = GifBuilder()
                   .Screen(4, 4, {kRed, kGreen}, 0)
                   .Image(0, 0, 4, 4, std::vector<uint8_t>(16, 1))
                   .Trailer()
                   .Bytes();
  for (size_t length = 0; length <= bytes.size(); ++length) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(length));
    const auto pixmap = Decode(cut);
    if (pixmap != nullptr) {
      EXPECT_EQ(pixmap->width, 4) << length;
      EXPECT_EQ(reader_.GetLastError(), kXpOk) << length;
    }
  }
  bytes.resize(30);
  const auto cut = Decode(bytes);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(PixelAt(*cut, 0, 0), BgrOf(kRed));
}

// The second image's descriptor replaces the first one's local map, which
// giflib frees itself (ASan sees a second free).
TEST_F(XpImageIoGIF, SecondImageWithLocalMapsDrawsOverTheFirst) {
  const auto pixmap = Decode(GifBuilder()
                                 .Screen(2, 1, {kRed, kGreen}, 0)
                                 .Image(0, 0, 2, 1, {1, 1}, {kBlue, kWhite})
                                 .Image(1, 0, 1, 1, {0}, {kGreen, kRed})
                                 .Trailer()
                                 .Bytes(),
                             1);
  ASSERT_NE(pixmap, nullptr);
  EXPECT_EQ(AllPixels(*pixmap), (std::vector<Bgr>{BgrOf(kWhite), BgrOf(kGreen)}));
}

TEST_F(XpImageIoGIF, CheckerClassifiesGifsThroughTheReader) {
  const std::vector<uint8_t> pixel = {0};
  const XpString animated = Write(GifBuilder()
                                      .Screen(1, 1, {kRed}, 0)
                                      .GraphicControl(7, -1)
                                      .Image(0, 0, 1, 1, pixel)
                                      .Image(0, 0, 1, 1, pixel)
                                      .Trailer()
                                      .Bytes(),
                                  "animated.gif");
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(animated), kXpKindAnimatedGif);
  const XpString still =
      Write(GifBuilder().Screen(1, 1, {kRed}, 0).Image(0, 0, 1, 1, pixel).Trailer().Bytes(),
            "still.gif");
  EXPECT_EQ(XpFormatChecker::DetectFormatKind(still), kXpKindGif);
}

// The allocator's seam is armed to fail the next pixmap allocation; a
// reader that refuses the screen leaves it armed for the probe after it.
TEST_F(XpImageIoGIF, ScreensBeyondThePixelLimitAreRefusedBeforeAllocating) {
  struct Case {
    uint16_t width;
    uint16_t height;
    bool refused;
  };
  // The limit is 2^28 pixels.
  const Case cases[] = {
      {37000, 37000, true},
      {16384, 16385, true},
      {65535, 4097, true},
      {16384, 16384, false},
      {65535, 4096, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    const std::vector<uint8_t> bytes =
        GifBuilder().Screen(c.width, c.height, {kRed}, 0).Image(0, 0, 1, 1, {0}).Trailer().Bytes();
    XpMemoryFile file(const_cast<uint8_t*>(bytes.data()), bytes.size(), false);
    ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
    XpScopedPixmapAllocationFailure nextFails(1);
    std::unique_ptr<XpPixmapBase> pixmap(reader_.ReadPixmap(file, 0, 1, nullptr, false, false));
    EXPECT_EQ(pixmap, nullptr);
    EXPECT_EQ(reader_.GetLastError(), kXpErrOutOfMemory);
    XpPixmapBGR24NoHandle probe;
    EXPECT_EQ(probe.Allocate(1, 1), c.refused ? kXpErrOutOfMemory : kXpOk);
  }
}

TEST_F(XpImageIoGIF, AScreenBeyondTheLimitStillReportsItsSizeAndKind) {
  const std::vector<uint8_t> bytes =
      GifBuilder().Screen(37000, 37000, {kRed}, 0).Image(0, 0, 1, 1, {0}).Trailer().Bytes();
  EXPECT_LE(bytes.size(), 40u);
  XpMemoryFile file(const_cast<uint8_t*>(bytes.data()), bytes.size(), false);
  ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
  XpSize size;
  EXPECT_EQ(reader_.ReadImageSize(file, 0, &size, false), kXpOk);
  EXPECT_EQ(size, XpSize(37000, 37000));
  EXPECT_EQ(reader_.GetKindOfPath(Write(bytes)), kXpKindGif);
  std::unique_ptr<XpPixmapBase> scaled(
      reader_.ReadPixmapScaled(file, 0, XpSize(160, 120), nullptr, false, false));
  EXPECT_EQ(scaled, nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpErrOutOfMemory);
}

}  // namespace
