#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "accessor/resize/ResizeRegionView.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPixmapCrop.h"
#include "imaging/resample/XpPixmapResize.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr int32_t kSourceWidth = 301;
constexpr int32_t kSourceHeight = 203;

class ResizeRegionView : public testsupport::HermeticTest {
 protected:
  // Pixels that differ from their neighbours, so that any misplaced read
  // shows.
  static void FillScrambled(XpPixmapBase& pixmap) {
    uint32_t state = 12345;
    for (int32_t y = 0; y < pixmap.height; ++y) {
      uint8_t* row = pixmap.GetPlane(0)->Row(y);
      for (int32_t i = 0; i < pixmap.width * 3; ++i) {
        state = state * 1103515245u + 12345u;
        row[i] = static_cast<uint8_t>(state >> 16);
      }
    }
  }

  static bool SamePixels(const XpPixmapBase& a, const XpPixmapBase& b) {
    if (a.width != b.width || a.height != b.height) {
      return false;
    }
    for (int32_t y = 0; y < a.height; ++y) {
      if (std::memcmp(a.GetPlane(0)->Row(y), b.GetPlane(0)->Row(y),
                      static_cast<size_t>(a.width) * 3) != 0) {
        return false;
      }
    }
    return true;
  }
};

// Resizing from the view gives exactly what cutting a copy and resizing it
// gives, for shrinking, enlarging and one-direction resizes.
TEST_F(ResizeRegionView, ResizingFromTheViewEqualsCutThenResize) {
  struct Case {
    XpRect region;
    int32_t width;
    int32_t height;
  };
  const Case cases[] = {
      {XpRect(0, 0, kSourceWidth, kSourceHeight), 150, 100},
      {XpRect(10, 20, 290, 180), 200, 90},
      {XpRect(1, 1, 300, 202), 298, 200},
      {XpRect(50, 30, 150, 100), 320, 240},
      {XpRect(0, 40, kSourceWidth, 160), kSourceWidth, 60},
      {XpRect(7, 0, 107, kSourceHeight), 33, kSourceHeight},
      {XpRect(100, 100, 202, 200), 51, 50},
  };
  XpPixmapBGR24NoHandle source;
  ASSERT_EQ(source.Allocate(kSourceWidth, kSourceHeight), kXpOk);
  FillScrambled(source);
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.region.left) + "," + std::to_string(c.region.top) +
                             " to " + std::to_string(c.width) + "x" + std::to_string(c.height);
    std::unique_ptr<XpPixmapBase> expected(source.Clone());
    ASSERT_TRUE(expected) << name;
    ASSERT_EQ(XpPixmapCrop(*expected, c.region), kXpOk) << name;
    ASSERT_EQ(XpPixmapResize(*expected, c.width, c.height), kXpOk) << name;

    XpPixmapBGR24NoHandle resized;
    ASSERT_EQ(resized.Allocate(c.width, c.height), kXpOk) << name;
    const ::ResizeRegionView view(source, c.region);
    EXPECT_EQ(view.width, c.region.Width()) << name;
    EXPECT_EQ(view.height, c.region.Height()) << name;
    ASSERT_EQ(XpPixmapResizeInto(resized, view), kXpOk) << name;
    EXPECT_TRUE(SamePixels(resized, *expected)) << name;
  }
}

TEST_F(ResizeRegionView, CannotBeAllocatedOrCloned) {
  XpPixmapBGR24NoHandle source;
  ASSERT_EQ(source.Allocate(8, 8), kXpOk);
  ::ResizeRegionView view(source, XpRect(2, 2, 6, 6));
  EXPECT_EQ(view.Clone(), nullptr);
  EXPECT_EQ(view.Allocate(4, 4), kXpErrGeneric);
  EXPECT_EQ(view.GetPlane(1), nullptr);
  EXPECT_EQ(view.GetPlane(0)->pixels, source.GetPlane(0)->Row(2) + 2 * 3);
  EXPECT_TRUE(view.IsAllocated());
}

}  // namespace
