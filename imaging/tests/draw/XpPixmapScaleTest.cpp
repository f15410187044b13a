#include "imaging/draw/XpPixmapScale.h"

#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::Along;
using resampletest::AllocateFilled;
using resampletest::MakeLine;
using resampletest::Paint;
using resampletest::PixelAt;
using resampletest::Pixels;
using resampletest::ReadLine;

constexpr int kUntouched = resampletest::kPadding;

std::vector<int> Row(const XpPixmapBase& pixmap, int32_t y) {
  std::vector<int> values;
  for (int32_t x = 0; x < pixmap.width; ++x) {
    const uint8_t* pixel = PixelAt(pixmap, x, y);
    values.push_back(pixel[0] == pixel[1] && pixel[1] == pixel[2] ? pixel[0] : -1);
  }
  return values;
}

TEST(XpPixmapScale, NearestTakesTheSourceColumnOfEachStep) {
  XpPixmapBGR24NoHandle source;
  MakeLine(source, {10, 20, 30}, Along::kRow);
  XpPixmapBGR24NoHandle destination;
  AllocateFilled(destination, 7, 1);
  XpPixmapScaleNearest24(destination, 0, 0, 7, 1, source, 0, 0, 3, 1);
  // Source columns 0, 0, 0, 1, 1, 2, 2.
  EXPECT_EQ(ReadLine(destination), (std::vector<int>{10, 10, 10, 20, 20, 30, 30}));
}

TEST(XpPixmapScale, NearestStepsOfWideSourcesDoNotOverflow) {
  // 40000 x 65536 passes 32 bits.
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 40000, 1);
  Paint(source, [](int32_t x, int32_t, int32_t) { return x % 10000 == 0 ? 1 + x / 10000 : 0; });
  XpPixmapBGR24NoHandle destination;
  AllocateFilled(destination, 4, 1);
  XpPixmapScaleNearest24(destination, 0, 0, 4, 1, source, 0, 0, 40000, 1);
  EXPECT_EQ(ReadLine(destination), (std::vector<int>{1, 2, 3, 4}));

  // The mapping of the source edge, 70000 x 40000, passes 32 bits too: the
  // whole destination is written.
  XpPixmapBGR24NoHandle wide;
  AllocateFilled(wide, 70000, 1);
  Paint(wide, [](int32_t x, int32_t, int32_t) { return x % 251; });
  XpPixmapBGR24NoHandle narrower;
  AllocateFilled(narrower, 40000, 1);
  XpPixmapScaleNearest24(narrower, 0, 0, 40000, 1, wide, 0, 0, 70000, 1);
  const int64_t step = (int64_t{70000} << 16) / 40000;
  for (const int32_t x : {0, 1, 20000, 39998, 39999}) {
    EXPECT_EQ(PixelAt(narrower, x, 0)[0], ((x * step) >> 16) % 251) << x;
  }
}

TEST(XpPixmapScale, BilinearWeightsWithOffsetAndEdgeClamp) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 2, 2);
  Paint(source, [](int32_t x, int32_t, int32_t) { return x == 0 ? 0 : 255; });
  XpPixmapBGR24NoHandle destination;
  AllocateFilled(destination, 4, 2);
  XpPixmapScaleBilinear24(destination, 0, 0, 4, 2, source, 0, 0, 2, 2);
  for (int32_t y = 0; y < 2; ++y) {
    EXPECT_EQ(Row(destination, y), (std::vector<int>{0, 128, 254, 254})) << "row " << y;
  }
}

TEST(XpPixmapScale, BilinearFromOnePixelAcrossReadsThatPixel) {
  const struct {
    int32_t sourceWidth, sourceHeight, width, height;
  } cases[] = {{1, 2, 3, 2}, {2, 1, 2, 3}, {1, 1, 4, 4}, {1, 3, 5, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sourceWidth << " x " << c.sourceHeight << " to " << c.width
                                    << " x " << c.height);
    XpPixmapBGR24NoHandle source;
    AllocateFilled(source, c.sourceWidth, c.sourceHeight);
    Paint(source, [](int32_t, int32_t, int32_t) { return 50; });
    XpPixmapBGR24NoHandle destination;
    AllocateFilled(destination, c.width, c.height);
    XpPixmapScaleBilinear24(destination, 0, 0, c.width, c.height, source, 0, 0, c.sourceWidth,
                            c.sourceHeight);
    EXPECT_TRUE(resampletest::IsFlat(destination, {50, 50, 50}));
  }
}

using ScaleFunction = void (*)(XpPixmapBase&, int32_t, int32_t, int32_t, int32_t,
                               const XpPixmapBase&, int32_t, int32_t, int32_t, int32_t);

TEST(XpPixmapScale, SidesBelowOneDoNothingAndEqualSizesCopyTheBlock) {
  for (const ScaleFunction scale : {&XpPixmapScaleNearest24, &XpPixmapScaleBilinear24}) {
    XpPixmapBGR24NoHandle source;
    MakeLine(source, {10, 20, 30, 40}, Along::kRow);
    const struct {
      int32_t dw, dh, sw, sh;
    } refused[] = {{0, 1, 4, 1}, {4, 0, 4, 1}, {4, 1, 0, 1}, {4, 1, 4, -1}};
    for (const auto& c : refused) {
      XpPixmapBGR24NoHandle destination;
      AllocateFilled(destination, 4, 1);
      scale(destination, 0, 0, c.dw, c.dh, source, 0, 0, c.sw, c.sh);
      EXPECT_EQ(ReadLine(destination), (std::vector<int>(4, kUntouched)));
    }
    // The block copy's clipping: a negative source start cuts both.
    XpPixmapBGR24NoHandle destination;
    AllocateFilled(destination, 4, 1);
    scale(destination, 0, 0, 3, 1, source, -1, 0, 3, 1);
    EXPECT_EQ(ReadLine(destination), (std::vector<int>{kUntouched, 10, 20, kUntouched}));
  }
}

TEST(XpPixmapScale, WritesOnlyWhereTheClippedSourceMapsInsideTheDestination) {
  XpPixmapBGR24NoHandle source;
  MakeLine(source, {10, 20, 30}, Along::kRow);
  // Source columns -1 to 1 to 7 pixels: the part of the source inside the
  // pixmap maps from pixel 2 on; nothing left of it is written, nothing
  // left of column 0 is read.
  XpPixmapBGR24NoHandle nearest;
  AllocateFilled(nearest, 7, 1);
  XpPixmapScaleNearest24(nearest, 0, 0, 7, 1, source, -1, 0, 3, 1);
  EXPECT_EQ(ReadLine(nearest), (std::vector<int>{kUntouched, kUntouched, 10, 10, 10, 20, 20}));

  XpPixmapBGR24NoHandle bilinear;
  AllocateFilled(bilinear, 7, 1);
  XpPixmapScaleBilinear24(bilinear, 0, 0, 7, 1, source, -1, 0, 3, 1);
  const std::vector<int> line = ReadLine(bilinear);
  EXPECT_EQ(line[0], kUntouched);
  EXPECT_EQ(line[1], kUntouched);
  EXPECT_EQ(line[2], 10);

  // A destination rectangle hanging over the destination pixmap's edges.
  XpPixmapBGR24NoHandle clipped;
  AllocateFilled(clipped, 3, 1);
  XpPixmapScaleNearest24(clipped, -2, 0, 6, 1, source, 0, 0, 3, 1);
  EXPECT_EQ(ReadLine(clipped), (std::vector<int>{20, 20, 30}));
  XpPixmapScaleNearest24(clipped, INT32_MAX - 2, 0, 6, 1, source, 0, 0, 3, 1);
  XpPixmapScaleBilinear24(clipped, INT32_MIN, 0, INT32_MAX, 1, source, 0, 0, 3, 1);
  EXPECT_EQ(ReadLine(clipped), (std::vector<int>{20, 20, 30}));
}

}  // namespace
