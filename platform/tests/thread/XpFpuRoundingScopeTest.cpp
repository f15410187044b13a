#include "platform/thread/XpFpuRoundingScope.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

namespace {

TEST(XpFpuRoundingScope, RoundsToNearestInsideAndRestoresTheModeAfter) {
  for (int outer : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(outer), 0);
    volatile double half = 2.5;
    volatile double most = 2.7;
    {
      XpFpuRoundingScope scope;
      EXPECT_EQ(std::fegetround(), FE_TONEAREST);
      EXPECT_EQ(std::lrint(half), 2);
      EXPECT_EQ(std::lrint(most), 3);
    }
    EXPECT_EQ(std::fegetround(), outer);
  }
  std::fesetround(FE_TONEAREST);
}

}  // namespace
