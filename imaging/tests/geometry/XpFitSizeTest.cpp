#include "imaging/geometry/XpFitSize.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

enum class Fit { kInside, kCovering };

struct FitCase {
  Fit fit;
  int32_t width;
  int32_t height;
  int32_t boxWidth;
  int32_t boxHeight;
  int32_t outWidth;
  int32_t outHeight;
};

TEST(XpFitSize, FitsInsideAndCovers) {
  const FitCase cases[] = {
      {Fit::kInside, 4000, 3000, 640, 480, 640, 480},
      {Fit::kInside, 3000, 4000, 640, 480, 360, 480},
      {Fit::kInside, 1000, 1000, 640, 480, 480, 480},
      // Equal ratios take the second case: 600 x 400 / 800.
      {Fit::kInside, 800, 600, 400, 300, 400, 300},
      {Fit::kInside, 5, 0, 100, 100, 0, 0},
      {Fit::kInside, 5, 5, 100, 0, 0, 0},
      {Fit::kCovering, 3000, 4000, 1920, 1080, 1920, 2560},
      {Fit::kCovering, 4000, 3000, 1920, 1080, 1920, 1440},
      {Fit::kCovering, 1000, 1000, 640, 480, 640, 640},
      // Products beyond 32 bits: 32-bit products would give (-1294967, 1000).
      {Fit::kInside, 3000000, 1000, 1000, 1000, 1000, 0},
      {Fit::kInside, 2000000, 1500000, 40000, 30000, 40000, 30000},
      {Fit::kInside, 0x7FFFFFFF, 1, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 1},
      // A zero or negative size answers (0, 0) without dividing.
      {Fit::kInside, 0, 5, 0, 100, 0, 0},
      {Fit::kCovering, 0, 5, 100, 100, 0, 0},
      {Fit::kInside, -4, 3, 640, 480, 0, 0},
      {Fit::kCovering, 4, 3, -640, 480, 0, 0},
      {Fit::kCovering, 4, 3, 640, 0, 0, 0},
      // A covering size beyond 32 bits has no answer.
      {Fit::kCovering, 1, 3000000, 1000, 1000, 0, 0},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.fit == Fit::kInside ? "Inside " : "Covering ") << c.width
                                    << " x " << c.height << " box " << c.boxWidth << " x "
                                    << c.boxHeight);
    int32_t outWidth = -1;
    int32_t outHeight = -1;
    if (c.fit == Fit::kInside) {
      XpFitSizeInside(c.width, c.height, c.boxWidth, c.boxHeight, outWidth, outHeight);
    } else {
      XpFitSizeCovering(c.width, c.height, c.boxWidth, c.boxHeight, outWidth, outHeight);
    }
    EXPECT_EQ(outWidth, c.outWidth);
    EXPECT_EQ(outHeight, c.outHeight);
  }
}

}  // namespace
