#include "imaging/draw/XpPixmapCopyRect24.h"

#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::AllocateFilled;
using resampletest::Paint;
using resampletest::PixelAt;

// Source pixel (x, y) holds x + 1, y + 1, 200; the destination starts at
// 0, 0, 0 so every written pixel shows where it came from.
void MakeSource(XpPixmapBase& source, int32_t width, int32_t height) {
  AllocateFilled(source, width, height);
  Paint(source, [](int32_t x, int32_t y, int32_t c) { return c == 0 ? x + 1 : c == 1 ? y + 1 : 200; });
}

void MakeBlank(XpPixmapBase& destination, int32_t width, int32_t height) {
  AllocateFilled(destination, width, height);
  Paint(destination, [](int32_t, int32_t, int32_t) { return 0; });
}

// Destination pixels inside written (left, top, right, bottom) came from
// source (x + shiftX, y + shiftY); all others are untouched, padding too.
void ExpectWritten(const XpPixmapBase& destination, const int32_t written[4], int32_t shiftX,
                   int32_t shiftY) {
  for (int32_t y = 0; y < destination.height; ++y) {
    for (int32_t x = 0; x < destination.width; ++x) {
      const uint8_t* pixel = PixelAt(destination, x, y);
      const bool inside = x >= written[0] && x < written[2] && y >= written[1] && y < written[3];
      const std::vector<int> expected =
          inside ? std::vector<int>{x + shiftX + 1, y + shiftY + 1, 200} : std::vector<int>{0, 0, 0};
      EXPECT_EQ((std::vector<int>{pixel[0], pixel[1], pixel[2]}), expected) << x << ", " << y;
    }
    const size_t used = static_cast<size_t>(destination.width) * 3;
    const XpPlaneBase& plane = *destination.GetPlane(0);
    for (size_t i = used; i < plane.stride; ++i) {
      EXPECT_EQ(plane.Row(y)[i], resampletest::kPadding) << "padding of row " << y;
    }
  }
}

TEST(XpPixmapCopyRect24, NegativeDestinationCutsTheLargerOverhangOffBoth) {
  XpPixmapBGR24NoHandle source;
  XpPixmapBGR24 destination;
  MakeSource(source, 8, 5);
  MakeBlank(destination, 6, 5);
  XpPixmapCopyRect24(destination, -3, 0, 5, 5, source, 1, 0);
  // Destination columns 0-1 from source columns 4-5.
  const int32_t written[4] = {0, 0, 2, 5};
  ExpectWritten(destination, written, 4, 0);
}

TEST(XpPixmapCopyRect24, ClipsToBothPixmaps) {
  const struct {
    int32_t dx, dy, width, height, sx, sy;
    int32_t written[4];
    int32_t shiftX, shiftY;
  } cases[] = {
      // Source overhang larger than the destination's.
      {-1, -1, 4, 4, -2, -3, {1, 2, 3, 3}, -1, -2},
      // The right and bottom cut by the narrower of the two pixmaps.
      {3, 2, 10, 10, 5, 6, {3, 2, 6, 3}, 2, 4},
      {0, 0, 100, 100, 0, 0, {0, 0, 6, 5}, 0, 0},
      // Nothing left.
      {6, 0, 3, 3, 0, 0, {0, 0, 0, 0}, 0, 0},
      {0, 0, 3, 3, 8, 0, {0, 0, 0, 0}, 0, 0},
      {-5, 0, 5, 3, 0, 0, {0, 0, 0, 0}, 0, 0},
      {0, 0, 0, 3, 0, 0, {0, 0, 0, 0}, 0, 0},
      // Sums past the 32-bit range.
      {INT32_MIN, 0, INT32_MAX, 3, 0, 0, {0, 0, 0, 0}, 0, 0},
      {2, 1, INT32_MAX, INT32_MAX, INT32_MAX, 0, {0, 0, 0, 0}, 0, 0},
      {1, 1, INT32_MAX, INT32_MAX, 0, 0, {1, 1, 6, 5}, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dy << ", " << c.width << " x " << c.height
                                    << " from " << c.sx << ", " << c.sy);
    XpPixmapBGR24NoHandle source;
    XpPixmapBGR24NoHandle destination;
    MakeSource(source, 8, 7);
    MakeBlank(destination, 6, 5);
    XpPixmapCopyRect24(destination, c.dx, c.dy, c.width, c.height, source, c.sx, c.sy);
    ExpectWritten(destination, c.written, c.shiftX, c.shiftY);
  }
}

TEST(XpPixmapCopyRect24, OverlappingBlockWithinOnePixmap) {
  XpPixmapBGR24NoHandle pixmap;
  MakeSource(pixmap, 4, 6);
  XpPixmapCopyRect24(pixmap, 1, 2, 3, 4, pixmap, 0, 0);
  for (int32_t y = 2; y < 6; ++y) {
    for (int32_t x = 1; x < 4; ++x) {
      EXPECT_EQ(PixelAt(pixmap, x, y)[0], x) << x << ", " << y;
      EXPECT_EQ(PixelAt(pixmap, x, y)[1], y - 1) << x << ", " << y;
    }
  }
}

TEST(XpPixmapCopyRect24, OtherKindsCopyNothing) {
  XpPixmapBGR24NoHandle source;
  MakeSource(source, 4, 4);
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 4, 4);
  XpPixmapCopyRect24(bgra, 0, 0, 4, 4, source, 0, 0);
  EXPECT_EQ(PixelAt(bgra, 0, 0)[0], resampletest::kPadding);
  XpPixmapBGR24NoHandle empty;
  XpPixmapCopyRect24(empty, 0, 0, 4, 4, source, 0, 0);
  EXPECT_FALSE(empty.IsAllocated());
}

}  // namespace
