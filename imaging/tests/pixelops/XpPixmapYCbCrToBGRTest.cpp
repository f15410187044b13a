#include "imaging/pixelops/XpPixmapYCbCrToBGR.h"

#include <cstdint>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"

namespace {

struct ConversionCase {
  uint8_t y, cb, cr;
  uint8_t b, g, r;
};

TEST(XpPixmapYCbCrToBGR, ConvertsEachPixel) {
  const ConversionCase cases[] = {
      // Neutral grey stays grey with the chroma centre at 128 x 257.
      {128, 128, 128, 128, 128, 128},
      {255, 128, 128, 255, 255, 255},
      {0, 128, 128, 0, 0, 0},
      {76, 85, 255, 0, 0, 255},
      {255, 255, 255, 255, 121, 255},
      {150, 44, 21, 1, 255, 0},
  };
  constexpr int32_t kCount = static_cast<int32_t>(std::size(cases));
  // One case per pixel, over two rows, so each row is addressed on its own.
  XpPixmapYCbCr444 source;
  ASSERT_EQ(source.Allocate(kCount, 2), kXpOk);
  for (int32_t row = 0; row < 2; ++row) {
    for (int32_t i = 0; i < kCount; ++i) {
      const ConversionCase& c = cases[row == 0 ? i : kCount - 1 - i];
      uint8_t* p = source.GetPlane(0)->Row(row) + i * 3;
      p[0] = c.y;
      p[1] = c.cb;
      p[2] = c.cr;
    }
  }
  std::unique_ptr<XpPixmapBGR24NoHandle> result(XpPixmapYCbCrToBGR(source));
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->width, kCount);
  ASSERT_EQ(result->height, 2);
  for (int32_t row = 0; row < 2; ++row) {
    for (int32_t i = 0; i < kCount; ++i) {
      const ConversionCase& c = cases[row == 0 ? i : kCount - 1 - i];
      SCOPED_TRACE(testing::Message() << "Y, Cb, Cr = " << int{c.y} << ", " << int{c.cb} << ", "
                                      << int{c.cr});
      const uint8_t* p = result->GetPlane(0)->Row(row) + i * 3;
      EXPECT_EQ(p[0], c.b);
      EXPECT_EQ(p[1], c.g);
      EXPECT_EQ(p[2], c.r);
    }
  }
}

TEST(XpPixmapYCbCrToBGR, NullWhenNoPixmapCanBeMade) {
  XpPixmapYCbCr444 empty;
  EXPECT_EQ(XpPixmapYCbCrToBGR(empty), nullptr);
  XpPixmapYCbCr444 source;
  ASSERT_EQ(source.Allocate(2, 2), kXpOk);
  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(XpPixmapYCbCrToBGR(source), nullptr);
}

}  // namespace
