#include "imaging/draw/XpAlphaBlendBGRAOnBGR.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::AllocateFilled;
using resampletest::Paint;
using resampletest::PixelAt;
using resampletest::ReadLine;

TEST(XpAlphaBlendBGRAOnBGR, BlendsEachChannelWithAnArithmeticShift) {
  const struct {
    int alpha, source, destination, result;
  } cases[] = {
      {128, 255, 0, 127},
      {128, 0, 255, 127},
      // floor(-99.6) = -100; truncation would give 156.
      {100, 0, 255, 155},
      {0, 9, 200, 200},
      {255, 9, 200, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "a " << c.alpha << ", s " << c.source << ", d " << c.destination);
    XpPixmapBGRA32 source;
    AllocateFilled(source, 9, 1);
    // Channels differ so that each is seen to be blended on its own.
    Paint(source, [&](int32_t, int32_t, int32_t channel) { return channel == 3 ? c.alpha : c.source; });
    XpPixmapBGR24 destination;
    AllocateFilled(destination, 9, 1);
    Paint(destination, [&](int32_t, int32_t, int32_t) { return c.destination; });
    XpAlphaBlendBGRAOnBGR(destination, 0, 0, 9, 1, source, 0, 0);
    EXPECT_EQ(ReadLine(destination), std::vector<int>(9, c.result));
  }
}

TEST(XpAlphaBlendBGRAOnBGR, ClipsLikeTheBlockCopy) {
  XpPixmapBGRA32 source;
  AllocateFilled(source, 6, 1);
  Paint(source, [](int32_t x, int32_t, int32_t channel) { return channel == 3 ? 255 : x + 1; });
  XpPixmapBGR24NoHandle destination;
  AllocateFilled(destination, 4, 1);
  XpAlphaBlendBGRAOnBGR(destination, -3, 0, 5, 1, source, 1, 0);
  const int untouched = resampletest::kPadding;
  EXPECT_EQ(ReadLine(destination), (std::vector<int>{5, 6, untouched, untouched}));

  // Source and destination kinds swapped: nothing.
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 4, 1);
  XpAlphaBlendBGRAOnBGR(bgra, 0, 0, 4, 1, destination, 0, 0);
  EXPECT_EQ(PixelAt(bgra, 0, 0)[0], untouched);
}

}  // namespace
