#include "imaging/geometry/XpSize.h"

#include <gtest/gtest.h>

namespace {

TEST(XpSize, ConstructsCopiesAndAssigns) {
  const XpSize empty;
  EXPECT_EQ(empty.cx, 0);
  EXPECT_EQ(empty.cy, 0);

  XpSize size(640, -480);
  EXPECT_EQ(size.cx, 640);
  EXPECT_EQ(size.cy, -480);

  XpSize copy(size);
  EXPECT_EQ(copy, size);
  copy = XpSize(1, 2);
  EXPECT_EQ(copy, XpSize(1, 2));
  XpSize& same = copy;
  copy = same;
  EXPECT_EQ(copy, XpSize(1, 2));
}

}  // namespace
