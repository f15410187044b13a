#include "imaging/resample/XpLanczos3.h"

#include <gtest/gtest.h>

namespace {

TEST(XpLanczos3, KernelValues) {
  const struct {
    double x;
    double expected;
  } cases[] = {
      {0.0, 1.0},
      {1e-17, 1.0},
      {3.0, 0.0},
      {-3.0, 0.0},
      {-3.5, 0.0},
      {0.5, 0.6079271018540267},
      {-0.5, 0.6079271018540267},
      {1.5, -0.13509491152311703},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XpLanczos3(c.x), c.expected) << c.x;
  }
}

TEST(XpLanczos3, ZeroAtWholeNumbersInsideItsReach) {
  for (const double x : {1.0, 2.0, -1.0, -2.0}) {
    EXPECT_NEAR(XpLanczos3(x), 0.0, 1e-15) << x;
  }
}

}  // namespace
