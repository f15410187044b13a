#include "imaging/resample/XpPackedPixmap.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::AllocateFilled;
using resampletest::Paint;
using resampletest::Pattern;
using resampletest::Pixels;

TEST(XpReplacePixmapContents, BuildsInAFreshPixmapOfItsOwnTypeAndSwapsItIn) {
  XpPixmapBGR24 pixmap;
  AllocateFilled(pixmap, 4, 3);
  Paint(pixmap, Pattern);
  XpPixmapBGR24NoHandle replacement;
  AllocateFilled(replacement, 2, 5);
  Paint(replacement, [](int32_t x, int32_t y, int32_t c) { return Pattern(y, x, c) ^ 0xFF; });
  const std::vector<uint8_t> before = Pixels(pixmap);
  uint8_t* const oldBlock = pixmap.block;
  {
    // The one allocation the replacement makes fails: the old block stays,
    // untouched and never copied.
    XpScopedPixmapAllocationFailure failure(1);
    EXPECT_EQ(XpReplacePixmapContents(pixmap, replacement), kXpErrOutOfMemory);
  }
  EXPECT_EQ(pixmap.block, oldBlock);
  EXPECT_EQ(pixmap.width, 4);
  EXPECT_EQ(Pixels(pixmap), before);
  {
    // Only one allocation: a second one failing does not matter.
    XpScopedPixmapAllocationFailure failure(2);
    ASSERT_EQ(XpReplacePixmapContents(pixmap, replacement), kXpOk);
  }
  EXPECT_EQ(pixmap.width, 2);
  EXPECT_EQ(pixmap.height, 5);
  EXPECT_EQ(Pixels(pixmap), Pixels(replacement));
  // Still a pixmap with a bitmap handle over its own block.
  EXPECT_EQ(pixmap.GetBitmapHandle(), pixmap.block);
  EXPECT_EQ(pixmap.GetBitmapInfo()->biWidth, 2);
}

TEST(XpReplacePixmapContents, RefusesPixmapsThatAreNotPackedBgr) {
  XpPixmapYCbCr444 pixmap;
  ASSERT_EQ(pixmap.Allocate(2, 2), kXpOk);
  XpPixmapBGR24NoHandle replacement;
  ASSERT_EQ(replacement.Allocate(3, 3), kXpOk);
  EXPECT_EQ(XpReplacePixmapContents(pixmap, replacement), kXpErrGeneric);
  EXPECT_EQ(pixmap.width, 2);
}

}  // namespace
