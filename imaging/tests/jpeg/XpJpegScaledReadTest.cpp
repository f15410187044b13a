// The scaled read decodes at the largest DCT scale that still covers the
// size asked for, so the decoded raster follows the output, not the source.

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

// The block a BGR picture of width x height takes.
size_t BgrBlockBytes(int32_t width, int32_t height) {
  XpPixmapBGR24NoHandle probe;
  EXPECT_EQ(probe.Allocate(width, height), kXpOk);
  return probe.blockSize;
}

class XpJpegScaledRead : public testsupport::HermeticTest {};

TEST_F(XpJpegScaledRead, ScaleCoveringIsTheLargestThatStillCovers) {
  struct Case {
    XpSize picture;
    XpSize wanted;
    int32_t scale;
  };
  const Case cases[] = {
      {XpSize(20000, 20000), XpSize(120, 120), 8},
      {XpSize(400, 300), XpSize(50, 38), 8},   // 50 x 38 at 1/8
      {XpSize(400, 300), XpSize(51, 38), 4},   // 1/8 is one column short
      {XpSize(400, 300), XpSize(50, 39), 4},   // and here one row
      {XpSize(401, 300), XpSize(51, 38), 8},   // 401 / 8 rounds up to 51
      {XpSize(400, 300), XpSize(101, 75), 2},
      {XpSize(400, 300), XpSize(201, 150), 1},
      {XpSize(400, 300), XpSize(800, 600), 1},
      {XpSize(400, 300), XpSize(0, 10), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.picture.cx << " x " << c.picture.cy << " to "
                                    << c.wanted.cx << " x " << c.wanted.cy);
    EXPECT_EQ(XpImageIoJpeg::ScaleCovering(c.picture, c.wanted), c.scale);
  }
}

TEST_F(XpJpegScaledRead, DecodesAtTheCoveringScaleThenResizes) {
  struct Case {
    XpSize wanted;
    // The raster decoded before the resize.
    XpSize decoded;
  };
  const Case cases[] = {
      {XpSize(50, 30), XpSize(50, 38)},
      {XpSize(60, 30), XpSize(100, 75)},
      {XpSize(390, 290), XpSize(400, 300)},
  };
  std::vector<uint8_t> bytes = BuildFrame(400, 300, FrameModel::kRgb, 200, 30, 60);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.wanted.cx << " x " << c.wanted.cy);
    const size_t expected = BgrBlockBytes(c.decoded.cx, c.decoded.cy);
    XpMemoryFile file(bytes.data(), bytes.size(), false);
    ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
    XpImageIoJpeg reader;
    XpScopedPixmapAllocationCount count;
    std::unique_ptr<XpPixmapBase> pixmap(
        reader.ReadPixmapScaled(file, 0, c.wanted, nullptr, true, true));
    ASSERT_NE(pixmap, nullptr);
    EXPECT_EQ(pixmap->width, c.wanted.cx);
    EXPECT_EQ(pixmap->height, c.wanted.cy);
    EXPECT_EQ(count.LargestBytes(), expected);
  }
}

TEST_F(XpJpegScaledRead, AStreamThatIsNotAJpegGivesNothing) {
  std::vector<uint8_t> bytes = {0x00, 0x01, 0x02, 0x03};
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
  XpImageIoJpeg reader;
  XpScopedPixmapAllocationCount count;
  std::unique_ptr<XpPixmapBase> pixmap(
      reader.ReadPixmapScaled(file, 0, XpSize(10, 10), nullptr, true, true));
  EXPECT_EQ(pixmap, nullptr);
  EXPECT_NE(reader.GetLastError(), kXpOk);
  EXPECT_EQ(count.Count(), 0);
}

}  // namespace
