#include "imaging/resample/XpGcd.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

TEST(XpGcd, Euclid) {
  const struct {
    int32_t a;
    int32_t b;
    int64_t expected;
  } cases[] = {
      {12, 18, 6},         {18, 12, 6},     {7, 3, 1},
      {1000, 640, 40},     {2000, 1920, 80}, {65537, 65536, 1},
      {0, 5, 5},           {5, 0, 0},        {0, 0, 0},
      {2147483647, 2147483646, 1},          {-2147483647 - 1, 1073741824, 1073741824},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XpGcd(c.a, c.b), c.expected) << c.a << ", " << c.b;
  }
}

}  // namespace
