#include "imaging/draw/XpPixmapDrawToDC.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/draw/XpPixmapReduce24.h"
#include "imaging/draw/XpPixmapScale.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"
#include "platform/screen/XpMemorySurface.h"

namespace {

using resampletest::AllocateFilled;
using resampletest::Paint;
using resampletest::Pattern;
using resampletest::PixelAt;

constexpr XpColorRef kBackground = XpRgb(1, 2, 3);

// The pixel of pixmap at (x, y) as a colour.
XpColorRef ColourAt(const XpPixmapBase& pixmap, int32_t x, int32_t y) {
  const uint8_t* pixel = PixelAt(pixmap, x, y);
  return XpRgb(pixel[2], pixel[1], pixel[0]);
}

class DrawFixture : public ::testing::Test {
 protected:
  void TearDown() override { XpSetDrawReductionObserver({}); }

  static void MakeSurface(XpMemorySurface& surface, int32_t width, int32_t height) {
    ASSERT_EQ(surface.Create(width, height), kXpOk);
    surface.FillRect({0, 0, width, height}, kBackground);
  }

  // Surface pixels (left + x, top + y) against expected (x, y).
  static void ExpectSurfaceShows(const XpMemorySurface& surface, int32_t left, int32_t top,
                                 const XpPixmapBase& expected) {
    for (int32_t y = 0; y < expected.height; ++y) {
      for (int32_t x = 0; x < expected.width; ++x) {
        ASSERT_EQ(surface.GetPixel(left + x, top + y), ColourAt(expected, x, y)) << x << ", " << y;
      }
    }
  }

  static bool SurfaceUntouched(const XpMemorySurface& surface) {
    for (int32_t y = 0; y < surface.Height(); ++y) {
      for (int32_t x = 0; x < surface.Width(); ++x) {
        if (surface.GetPixel(x, y) != kBackground) {
          return false;
        }
      }
    }
    return true;
  }

  std::vector<int32_t> factors_;
};
using XpPixmapDrawToDC = DrawFixture;

TEST_F(XpPixmapDrawToDC, BoxModeReducesByTheLargestFactorThenScalesBilinearly) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 1000, 40);
  Paint(source, Pattern);
  XpSetDrawReductionObserver([this](int32_t factor) { factors_.push_back(factor); });
  const struct {
    int32_t width, height, factor;
  } cases[] = {{100, 4, 8}, {40, 2, 16}, {20, 1, 1}, {600, 24, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "to " << c.width);
    factors_.clear();
    XpMemorySurface surface;
    MakeSurface(surface, c.width + 4, c.height + 4);
    ASSERT_EQ(::XpPixmapDrawToDC(surface, 2, 3, c.width, c.height, source, 0, 0, 1000, 40,
                                 kXpDrawBoxThenBilinear, kXpDrawBilinear),
              kXpOk);
    EXPECT_EQ(factors_, std::vector<int32_t>{c.factor});

    XpPixmapBGR24NoHandle expected;
    AllocateFilled(expected, c.width, c.height);
    if (c.factor == 1) {
      XpPixmapScaleBilinear24(expected, 0, 0, c.width, c.height, source, 0, 0, 1000, 40);
    } else {
      XpPixmapBGR24NoHandle reduced;
      ASSERT_EQ(XpPixmapReduce24(source, reduced, c.factor), kXpOk);
      XpPixmapScaleBilinear24(expected, 0, 0, c.width, c.height, reduced, 0, 0, reduced.width,
                              reduced.height);
    }
    ExpectSurfaceShows(surface, 2, 3, expected);
    EXPECT_EQ(surface.GetPixel(1, 3), kBackground);
    EXPECT_EQ(surface.GetPixel(2 + c.width, 3), kBackground);
  }
}

TEST_F(XpPixmapDrawToDC, DestinationOutsideTheClipBoxDrawsNothing) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 8, 8);
  Paint(source, Pattern);
  XpSetDrawReductionObserver([this](int32_t factor) { factors_.push_back(factor); });
  XpMemorySurface surface;
  MakeSurface(surface, 20, 20);
  surface.SetClipBox({10, 10, 20, 20});
  const struct {
    int32_t dx, dy, dw, dh;
  } cases[] = {{0, 0, 8, 8}, {0, 0, 10, 10}, {2, 0, 4, 4}, {10, 0, 8, 10}, {20, 20, 8, 8}};
  for (const auto& c : cases) {
    EXPECT_EQ(::XpPixmapDrawToDC(surface, c.dx, c.dy, c.dw, c.dh, source, 0, 0, 8, 8,
                                 kXpDrawBoxThenBilinear, kXpDrawBoxThenBilinear),
              kXpOk);
  }
  EXPECT_TRUE(SurfaceUntouched(surface));
  // Nothing was even scaled.
  EXPECT_TRUE(factors_.empty());
}

TEST_F(XpPixmapDrawToDC, UnscaledDrawWritesExactlyTheVisibleSquare) {
  XpPixmapBGR24 source;
  AllocateFilled(source, 10, 10);
  Paint(source, Pattern);
  XpMemorySurface surface;
  MakeSurface(surface, 8, 8);
  surface.SetClipBox({2, 2, 6, 6});
  // Source (1, 1) lands on (0, 0).
  ASSERT_EQ(::XpPixmapDrawToDC(surface, 0, 0, 8, 8, source, 1, 1, 8, 8, kXpDrawNearest,
                               kXpDrawNearest),
            kXpOk);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(surface.GetPixel(x, y), inside ? ColourAt(source, x + 1, y + 1) : kBackground)
          << x << ", " << y;
    }
  }
}

TEST_F(XpPixmapDrawToDC, UnscaledDrawLeavesOutPixelsBeyondThePixmap) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 4, 4);
  Paint(source, Pattern);
  XpMemorySurface surface;
  MakeSurface(surface, 8, 8);
  // The region starts one pixel left of and above the pixmap and runs past
  // its right and bottom.
  ASSERT_EQ(::XpPixmapDrawToDC(surface, 1, 1, 6, 6, source, -1, -1, 6, 6, kXpDrawNearest,
                               kXpDrawNearest),
            kXpOk);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const bool fromPixmap = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(surface.GetPixel(x, y), fromPixmap ? ColourAt(source, x - 2, y - 2) : kBackground)
          << x << ", " << y;
    }
  }
}

TEST_F(XpPixmapDrawToDC, MixedDirectionsTakeTheSmallerMode) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 9, 3);
  Paint(source, Pattern);
  XpSetDrawReductionObserver([this](int32_t factor) { factors_.push_back(factor); });
  XpMemorySurface surface;
  MakeSurface(surface, 4, 7);
  // Narrower but taller: shrink mode 3, enlarge mode 0 gives nearest.
  ASSERT_EQ(::XpPixmapDrawToDC(surface, 0, 0, 4, 7, source, 0, 0, 9, 3, kXpDrawBoxThenBilinear,
                               kXpDrawNearest),
            kXpOk);
  XpPixmapBGR24NoHandle nearest;
  AllocateFilled(nearest, 4, 7);
  XpPixmapScaleNearest24(nearest, 0, 0, 4, 7, source, 0, 0, 9, 3);
  ExpectSurfaceShows(surface, 0, 0, nearest);
  EXPECT_TRUE(factors_.empty());

  // The bilinear picture differs, so the check above tells them apart.
  XpPixmapBGR24NoHandle bilinear;
  AllocateFilled(bilinear, 4, 7);
  XpPixmapScaleBilinear24(bilinear, 0, 0, 4, 7, source, 0, 0, 9, 3);
  EXPECT_NE(resampletest::Pixels(bilinear), resampletest::Pixels(nearest));
}

TEST_F(XpPixmapDrawToDC, ScaledDrawIsClippedToTheVisibleRectangle) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 5, 5);
  Paint(source, Pattern);
  XpMemorySurface surface;
  MakeSurface(surface, 12, 12);
  surface.SetClipBox({3, 4, 7, 9});
  ASSERT_EQ(::XpPixmapDrawToDC(surface, 1, 1, 10, 10, source, 0, 0, 5, 5, kXpDrawBilinear,
                               kXpDrawBilinear),
            kXpOk);
  XpPixmapBGR24NoHandle whole;
  AllocateFilled(whole, 10, 10);
  XpPixmapScaleBilinear24(whole, 0, 0, 10, 10, source, 0, 0, 5, 5);
  for (int32_t y = 0; y < 12; ++y) {
    for (int32_t x = 0; x < 12; ++x) {
      const bool inside = x >= 3 && x < 7 && y >= 4 && y < 9;
      EXPECT_EQ(surface.GetPixel(x, y), inside ? ColourAt(whole, x - 1, y - 1) : kBackground)
          << x << ", " << y;
    }
  }
}

TEST_F(XpPixmapDrawToDC, SharedFormReleasesThePixmapAndOtherKindsAreRefused) {
  auto* pixmap = new XpPixmapBGR24NoHandle();
  AllocateFilled(*pixmap, 2, 2);
  XpSharedPtr<XpPixmapBase> shared(pixmap);
  XpMemorySurface surface;
  MakeSurface(surface, 2, 2);
  ASSERT_EQ(::XpPixmapDrawToDC(surface, 0, 0, 2, 2, shared, 0, 0, 2, 2, 0, 0), kXpOk);
  EXPECT_EQ(shared.UseCountForTest(), 1);
  EXPECT_EQ(surface.GetPixel(1, 1), ColourAt(*pixmap, 1, 1));

  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 2, 2);
  EXPECT_EQ(::XpPixmapDrawToDC(surface, 0, 0, 2, 2, bgra, 0, 0, 2, 2, 0, 0), kXpErrGeneric);
  EXPECT_EQ(::XpPixmapDrawToDC(surface, 0, 0, 2, 2, XpSharedPtr<XpPixmapBase>(), 0, 0, 2, 2, 0, 0),
            kXpErrGeneric);
}

}  // namespace
