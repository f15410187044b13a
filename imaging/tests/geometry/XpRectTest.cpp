#include "imaging/geometry/XpRect.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Describe(const XpRect& rect) {
  return "(" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ", " +
         std::to_string(rect.right) + ", " + std::to_string(rect.bottom) + ")";
}

TEST(XpRect, SizeAndEmptiness) {
  const struct {
    XpRect rect;
    int32_t width;
    int32_t height;
    bool empty;
  } cases[] = {
      {XpRect(), 0, 0, true},
      {XpRect(1, 2, 11, 7), 10, 5, false},
      {XpRect(5, 0, 5, 10), 0, 10, true},
      {XpRect(0, 5, 10, 5), 10, 0, true},
      {XpRect(10, 10, 4, 20), -6, 10, true},
      {XpRect(0, 10, 4, 2), 4, -8, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.rect));
    EXPECT_EQ(c.rect.Width(), c.width);
    EXPECT_EQ(c.rect.Height(), c.height);
    EXPECT_EQ(c.rect.IsEmpty(), c.empty);
  }
}

TEST(XpRect, ComparesAllFourFields) {
  const XpRect rect(1, 2, 3, 4);
  EXPECT_TRUE(rect == XpRect(1, 2, 3, 4));
  EXPECT_FALSE(rect != XpRect(1, 2, 3, 4));
  EXPECT_TRUE(rect != XpRect(0, 2, 3, 4));
  EXPECT_TRUE(rect != XpRect(1, 0, 3, 4));
  EXPECT_TRUE(rect != XpRect(1, 2, 0, 4));
  EXPECT_TRUE(rect != XpRect(1, 2, 3, 0));
}

TEST(XpRect, Intersect) {
  const struct {
    XpRect a;
    XpRect b;
    bool overlaps;
    XpRect expected;
  } cases[] = {
      {XpRect(0, 0, 10, 10), XpRect(10, 0, 20, 10), false, XpRect()},
      {XpRect(0, 0, 10, 10), XpRect(5, 5, 20, 20), true, XpRect(5, 5, 10, 10)},
      {XpRect(5, 5, 20, 20), XpRect(0, 0, 10, 10), true, XpRect(5, 5, 10, 10)},
      {XpRect(0, 0, 10, 10), XpRect(2, 3, 4, 5), true, XpRect(2, 3, 4, 5)},
      {XpRect(0, 0, 10, 10), XpRect(0, 10, 10, 20), false, XpRect()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.a) + " and " + Describe(c.b));
    XpRect result(7, 7, 9, 9);
    EXPECT_EQ(result.Intersect(c.a, c.b), c.overlaps);
    EXPECT_EQ(Describe(result), Describe(c.expected));
  }
}

TEST(XpRect, CenterInHalvesTowardZero) {
  const struct {
    XpRect rect;
    XpRect outer;
    XpRect expected;
  } cases[] = {
      {XpRect(0, 0, 3, 3), XpRect(0, 0, 10, 10), XpRect(3, 3, 6, 6)},
      {XpRect(0, 0, 12, 12), XpRect(0, 0, 9, 9), XpRect(-1, -1, 11, 11)},
      {XpRect(50, 60, 54, 62), XpRect(10, 20, 20, 30), XpRect(13, 24, 17, 26)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.rect) + " in " + Describe(c.outer));
    XpRect rect = c.rect;
    rect.CenterIn(c.outer);
    EXPECT_EQ(Describe(rect), Describe(c.expected));
  }
}

TEST(XpRect, FitAndCenterIn) {
  const struct {
    XpRect rect;
    XpRect outer;
    XpRect expected;
  } cases[] = {
      {XpRect(0, 0, 200, 100), XpRect(0, 0, 100, 100), XpRect(0, 25, 100, 75)},
      {XpRect(0, 0, 30, 60), XpRect(10, 10, 110, 60), XpRect(47, 10, 72, 60)},
      // Nothing to fit: an empty rectangle at the centre.
      {XpRect(0, 0, 0, 10), XpRect(0, 0, 100, 100), XpRect(50, 50, 50, 50)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.rect) + " in " + Describe(c.outer));
    XpRect rect = c.rect;
    rect.FitAndCenterIn(c.outer);
    EXPECT_EQ(Describe(rect), Describe(c.expected));
  }
}

}  // namespace
