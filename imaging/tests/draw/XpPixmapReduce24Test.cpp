#include "imaging/draw/XpPixmapReduce24.h"

#include <algorithm>
#include <cstdint>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::AllocateFilled;
using resampletest::Paint;
using resampletest::Pattern;
using resampletest::PixelAt;

// The floor of the block's mean, computed the plain way.
int BlockMean(const XpPixmapBase& source, int32_t factor, int32_t x, int32_t y, int32_t c) {
  int sum = 0;
  int count = 0;
  for (int32_t row = y * factor; row < std::min(source.height, (y + 1) * factor); ++row) {
    for (int32_t column = x * factor; column < std::min(source.width, (x + 1) * factor); ++column) {
      sum += PixelAt(source, column, row)[c];
      ++count;
    }
  }
  return sum / count;
}

TEST(XpPixmapReduce24, FiveByFiveByTwo) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 5, 5);
  // Odd sums everywhere, so that a rounding division would show.
  Paint(source, [](int32_t x, int32_t y, int32_t c) { return 10 * x + 50 * y + c + (x == 4 && y == 1); });
  XpPixmapBGR24 destination;
  ASSERT_EQ(XpPixmapReduce24(source, destination, 2), kXpOk);
  ASSERT_EQ(destination.width, 3);
  ASSERT_EQ(destination.height, 3);
  // A full block: its sum >> 2.
  EXPECT_EQ(PixelAt(destination, 0, 0)[0], (0 + 10 + 50 + 60) >> 2);
  // A right-edge block of 2 pixels: floor(sum / 2) = floor(181 / 2).
  EXPECT_EQ(PixelAt(destination, 2, 0)[0], (40 + 91) / 2);
  EXPECT_EQ(PixelAt(destination, 2, 0)[0], 65);
  // The corner block of 1 pixel is that pixel.
  EXPECT_EQ(PixelAt(destination, 2, 2)[2], 10 * 4 + 50 * 4 + 2);
}

TEST(XpPixmapReduce24, EveryFactorAveragesItsBlocks) {
  const struct {
    int32_t width, height, factor, reducedWidth, reducedHeight;
  } cases[] = {
      {17, 3, 4, 5, 1}, {33, 20, 8, 5, 3}, {32, 16, 16, 2, 1}, {1, 1, 16, 1, 1}, {47, 49, 16, 3, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " by " << c.factor);
    XpPixmapBGR24NoHandle source;
    AllocateFilled(source, c.width, c.height);
    Paint(source, Pattern);
    XpPixmapBGR24NoHandle destination;
    ASSERT_EQ(XpPixmapReduce24(source, destination, c.factor), kXpOk);
    ASSERT_EQ(destination.width, c.reducedWidth);
    ASSERT_EQ(destination.height, c.reducedHeight);
    for (int32_t y = 0; y < destination.height; ++y) {
      for (int32_t x = 0; x < destination.width; ++x) {
        for (int32_t channel = 0; channel < 3; ++channel) {
          ASSERT_EQ(PixelAt(destination, x, y)[channel], BlockMean(source, c.factor, x, y, channel))
              << x << ", " << y << " channel " << channel;
        }
      }
    }
  }
}

TEST(XpPixmapReduce24, RefusesOtherFactorsAndKinds) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 8, 8);
  XpPixmapBGR24NoHandle destination;
  for (const int32_t factor : {-2, 0, 1, 3, 6, 32}) {
    EXPECT_EQ(XpPixmapReduce24(source, destination, factor), kXpErrGeneric) << factor;
  }
  EXPECT_EQ(XpPixmapReduce24(source, source, 2), kXpErrGeneric);
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 8, 8);
  EXPECT_EQ(XpPixmapReduce24(bgra, destination, 2), kXpErrGeneric);
  EXPECT_EQ(XpPixmapReduce24(source, bgra, 2), kXpErrGeneric);
  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(XpPixmapReduce24(empty, destination, 2), kXpErrGeneric);
  EXPECT_FALSE(destination.IsAllocated());

  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(XpPixmapReduce24(source, destination, 2), kXpErrOutOfMemory);
}

}  // namespace
