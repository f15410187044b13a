#include "imaging/resample/XpCubicPass.h"

#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPixmapResize.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::Along;
using resampletest::AllocateFilled;
using resampletest::MakeLine;
using resampletest::ReadLine;

using Weights = std::array<int32_t, 4>;

// The line enlarged by the pass itself, horizontally from a row or
// vertically from a column.
template <typename Pixmap>
std::vector<int> Enlarge(const std::vector<int>& values, int32_t length, Along along) {
  Pixmap source;
  MakeLine(source, values, along);
  Pixmap target;
  const bool row = along == Along::kRow;
  AllocateFilled(target, row ? length : 1, row ? 1 : length);
  const XpResult result =
      XpCubicPass(*source.GetPlane(0), *target.GetPlane(0), target.GetChannelCount(0),
                  row ? XpResampleDirection::kHorizontal : XpResampleDirection::kVertical);
  EXPECT_EQ(result, kXpOk);
  return ReadLine(target);
}

void ExpectLine(const std::vector<int>& values, int32_t length, const std::vector<int>& expected) {
  for (const Along along : {Along::kRow, Along::kColumn}) {
    SCOPED_TRACE(resampletest::Name(along));
    EXPECT_EQ(Enlarge<XpPixmapBGR24NoHandle>(values, length, along), expected);
    EXPECT_EQ(Enlarge<XpPixmapBGRA32>(values, length, along), expected);
  }
}

TEST(XpCubicPass, WeightsAreTruncatedAsComputed) {
  // Each negative weight is trunc(0.5 - x): at 0.25 the true -3584 and
  // -2560 are stored as -3583 and -2559.
  EXPECT_EQ(XpCubicWeights(0.0), (Weights{0, 65536, 0, 0}));
  EXPECT_EQ(XpCubicWeights(0.25), (Weights{-3583, 53760, 17920, -2559}));
  EXPECT_EQ(XpCubicWeights(0.5), (Weights{-4095, 36864, 36864, -4095}));
  EXPECT_EQ(XpCubicWeights(0.75), (Weights{-2559, 17920, 53760, -3583}));
  // 4 -> 10, target 1: f = 3 / 9. True weights -4045.43, 48545.19,
  // 24272.59, -3236.35; stored, they sum to 65539.
  EXPECT_EQ(XpCubicWeights(3.0 / 9.0), (Weights{-4044, 48545, 24273, -3235}));
}

TEST(XpCubicPass, InnerIntervalsCubicOuterOnesLinear) {
  // Positions 0, 0.5, 1, 1.5, 2, 2.5, 3: linear, linear, cubic (f = 0),
  // cubic (f = 0.5: (36864 x 300 - 4095 x 100 + 32768) >> 16 = 163),
  // linear, linear, the last pixel.
  ExpectLine({0, 100, 200, 100}, 7, {0, 50, 100, 163, 200, 150, 100});
  // Three pixels have no inner interval: rounded means between them.
  ExpectLine({10, 20, 40}, 5, {10, 15, 20, 30, 40});
}

TEST(XpCubicPass, OvershootIsClampedToBytes) {
  // Position 1.5 over 0, 0, 0, 255 gives 32768 - 4095 x 255 < 0 (-16, byte
  // 240, if it were not clamped); 2.5 gives (32769 x 255 + 32768) >> 16 =
  // 128; 3.5 gives 69633 x 255 + 32768, above 255 x 65536.
  ExpectLine({0, 0, 0, 255, 255, 255}, 11, {0, 0, 0, 0, 0, 128, 255, 255, 255, 255, 255});
  ExpectLine({255, 255, 255, 0, 0, 0}, 11, {255, 255, 255, 255, 255, 128, 0, 0, 0, 0, 0});
}

TEST(XpCubicPass, ResizeEnlargesWithIt) {
  XpPixmapBGR24NoHandle pixmap;
  MakeLine(pixmap, {0, 100, 200, 100}, Along::kColumn);
  ASSERT_EQ(XpPixmapResize(pixmap, 1, 7), kXpOk);
  EXPECT_EQ(ReadLine(pixmap), (std::vector<int>{0, 50, 100, 163, 200, 150, 100}));
}

TEST(XpCubicPass, RefusesLengthsItDoesNotEnlarge) {
  XpPixmapBGR24NoHandle source;
  MakeLine(source, {1, 2, 3}, Along::kRow);
  XpPixmapBGR24NoHandle shorter;
  AllocateFilled(shorter, 2, 1);
  EXPECT_EQ(XpCubicPass(*source.GetPlane(0), *shorter.GetPlane(0), 3,
                        XpResampleDirection::kHorizontal),
            kXpErrGeneric);
  XpPixmapBGR24NoHandle single;
  MakeLine(single, {1}, Along::kRow);
  EXPECT_EQ(XpCubicPass(*single.GetPlane(0), *shorter.GetPlane(0), 3,
                        XpResampleDirection::kHorizontal),
            kXpErrGeneric);
}

}  // namespace
