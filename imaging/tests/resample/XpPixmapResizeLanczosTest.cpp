#include "imaging/resample/XpPixmapResizeLanczos.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::Along;
using resampletest::AllocateFilled;
using resampletest::IsFlat;
using resampletest::MakeLine;
using resampletest::Paint;
using resampletest::Pixels;
using resampletest::ReadLine;

// The line resized in both orientations, in place and into a destination.
void ExpectLine(const std::vector<int>& values, int32_t length, const std::vector<int>& expected) {
  for (const Along along : {Along::kRow, Along::kColumn}) {
    SCOPED_TRACE(resampletest::Name(along));
    const bool row = along == Along::kRow;
    const int32_t width = row ? length : 1;
    const int32_t height = row ? 1 : length;
    XpPixmapBGR24NoHandle pixmap;
    MakeLine(pixmap, values, along);
    XpPixmapBGR24 destination;
    AllocateFilled(destination, width, height);
    ASSERT_EQ(XpPixmapResizeLanczosInto(destination, pixmap), kXpOk);
    EXPECT_EQ(ReadLine(destination), expected);
    ASSERT_EQ(XpPixmapResizeLanczos(pixmap, width, height), kXpOk);
    EXPECT_EQ(ReadLine(pixmap), expected);
  }
}

TEST(XpPixmapResizeLanczos, Lines) {
  ExpectLine({10, 20, 30, 40}, 2, {15, 35});
  // The outer targets overshoot to -26 and 281 before clamping.
  ExpectLine({0, 255}, 4, {0, 54, 201, 255});
  // -15, -26, 281 and 270 are clamped.
  ExpectLine({0, 0, 255, 255}, 8, {8, 0, 0, 54, 201, 255, 255, 247});
}

TEST(XpPixmapResizeLanczos, BothDirections) {
  // Rows 0, 255 enlarged to four columns, then the rows 10, 20, 30, 40
  // of each column reduced to two.
  XpPixmapBGR24NoHandle pixmap;
  AllocateFilled(pixmap, 2, 4);
  Paint(pixmap, [](int32_t x, int32_t y, int32_t c) { return c == 0 ? x * 255 : 10 * (y + 1); });
  ASSERT_EQ(XpPixmapResizeLanczos(pixmap, 4, 2), kXpOk);
  const int blue[] = {0, 54, 201, 255};
  const int others[] = {15, 35};
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      const uint8_t* pixel = resampletest::PixelAt(pixmap, x, y);
      EXPECT_EQ(pixel[0], blue[x]) << x << ", " << y;
      EXPECT_EQ(pixel[1], others[y]) << x << ", " << y;
      EXPECT_EQ(pixel[2], others[y]) << x << ", " << y;
    }
  }
}

TEST(XpPixmapResizeLanczos, ArgumentChecksComeFirst) {
  XpPixmapBGR24NoHandle pixmap;
  AllocateFilled(pixmap, 5, 4);
  Paint(pixmap, resampletest::Pattern);
  const uint8_t* block = pixmap.block;
  const std::vector<uint8_t> before = Pixels(pixmap);
  EXPECT_EQ(XpPixmapResizeLanczos(pixmap, 5, 4), kXpOk);
  EXPECT_EQ(XpPixmapResizeLanczos(pixmap, 0, 4), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResizeLanczos(pixmap, 5, -2), kXpErrGeneric);
  EXPECT_EQ(pixmap.block, block);
  EXPECT_EQ(Pixels(pixmap), before);

  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(XpPixmapResizeLanczos(empty, 0, 0), kXpErrGeneric);
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 4, 4);
  EXPECT_EQ(XpPixmapResizeLanczos(bgra, 2, 2), kXpErrGeneric);

  XpPixmapBGR24NoHandle destination;
  EXPECT_EQ(XpPixmapResizeLanczosInto(destination, empty), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResizeLanczosInto(destination, pixmap), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResizeLanczosInto(bgra, pixmap), kXpErrGeneric);
  AllocateFilled(destination, 5, 4);
  ASSERT_EQ(XpPixmapResizeLanczosInto(destination, pixmap), kXpOk);
  EXPECT_EQ(std::memcmp(destination.block, pixmap.block, pixmap.blockSize), 0);
}

TEST(XpPixmapResizeLanczos, FlatFieldsStayFlat) {
  std::vector<std::vector<int32_t>> changes{{2000, 3, 1920, 2}, {640, 2, 1920, 3}};
  for (int32_t w = 1; w <= 9; ++w) {
    for (int32_t h = 1; h <= 9; ++h) {
      for (int32_t nw = 1; nw <= 9; ++nw) {
        for (int32_t nh = 1; nh <= 9; ++nh) {
          changes.push_back({w, h, nw, nh});
        }
      }
    }
  }
  // Each channel sees 0, 128 and 255 once.
  const std::vector<std::vector<uint8_t>> levels{{0, 128, 255}, {128, 255, 0}, {255, 0, 128}};
  for (const std::vector<int32_t>& c : changes) {
    for (const std::vector<uint8_t>& level : levels) {
      XpPixmapBGR24NoHandle pixmap;
      AllocateFilled(pixmap, c[0], c[1]);
      Paint(pixmap, [&](int32_t, int32_t, int32_t channel) { return level[channel]; });
      XpPixmapBGR24NoHandle destination;
      AllocateFilled(destination, c[2], c[3]);
      ASSERT_EQ(XpPixmapResizeLanczosInto(destination, pixmap), kXpOk);
      ASSERT_EQ(XpPixmapResizeLanczos(pixmap, c[2], c[3]), kXpOk);
      ASSERT_TRUE(IsFlat(destination, level) && IsFlat(pixmap, level))
          << c[0] << " x " << c[1] << " to " << c[2] << " x " << c[3] << ", blue "
          << int{level[0]};
    }
  }
}

TEST(XpPixmapResizeLanczos, FailedAllocationKeepsThePixmap) {
  const auto resize = [](XpPixmapBase& pixmap, int32_t width, int32_t height) {
    return XpPixmapResizeLanczos(pixmap, width, height);
  };
  resampletest::ExpectAllocationFailuresKeepThePixmap<XpPixmapBGR24NoHandle>(7, 5, 7, 2, resize);
  resampletest::ExpectAllocationFailuresKeepThePixmap<XpPixmapBGR24NoHandle>(7, 5, 3, 9, resize);
  resampletest::ExpectAllocationFailuresKeepThePixmap<XpPixmapBGR24>(3, 2, 8, 6, resize);
}

}  // namespace
