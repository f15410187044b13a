#include "imaging/pixelops/XpClampToByte.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

TEST(XpClampToByte, ClampsToZeroAndTwoFiftyFive) {
  const struct {
    int32_t value;
    uint8_t expected;
  } cases[] = {{-5, 0}, {0, 0}, {1, 1}, {128, 128}, {254, 254}, {255, 255}, {300, 255},
               {INT32_MIN, 0}, {INT32_MAX, 255}};
  for (const auto& c : cases) {
    EXPECT_EQ(XpClampToByte(c.value), c.expected) << c.value;
  }
}

}  // namespace
