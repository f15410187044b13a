#include "imaging/resample/XpPixmapCrop.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::AllocateFilled;
using resampletest::Paint;
using resampletest::PixelAt;
using resampletest::Pixels;

constexpr int32_t kWidth = 5;
constexpr int32_t kHeight = 4;

// Channel c of pixel (x, y) is 100 c + 10 y + x, so every pixel tells where
// it came from.
int Origin(int32_t x, int32_t y, int32_t c) { return 100 * c + 10 * y + x; }

void MakePicture(XpPixmapBase& pixmap) {
  AllocateFilled(pixmap, kWidth, kHeight);
  Paint(pixmap, Origin);
}

// Whether pixmap holds the picture's pixels from (left, top) on.
void ExpectPixelsFrom(const XpPixmapBase& pixmap, int32_t left, int32_t top) {
  for (int32_t y = 0; y < pixmap.height; ++y) {
    for (int32_t x = 0; x < pixmap.width; ++x) {
      for (int32_t c = 0; c < 3; ++c) {
        ASSERT_EQ(PixelAt(pixmap, x, y)[c], Origin(left + x, top + y, c))
            << x << ", " << y << ", channel " << c;
      }
    }
  }
}

TEST(XpPixmapCrop, KeepsTheRectanglesPixels) {
  XpPixmapBGR24 pixmap;
  MakePicture(pixmap);
  ASSERT_EQ(XpPixmapCrop(pixmap, XpRect(1, 2, 4, 4)), kXpOk);
  EXPECT_EQ(pixmap.width, 3);
  EXPECT_EQ(pixmap.height, 2);
  ExpectPixelsFrom(pixmap, 1, 2);

  MakePicture(pixmap);
  ASSERT_EQ(XpPixmapCrop(pixmap, XpRect(0, 0, kWidth, kHeight)), kXpOk);
  ExpectPixelsFrom(pixmap, 0, 0);
}

TEST(XpPixmapCrop, RefusesRectanglesBeyondThePixmapOrEmpty) {
  const XpRect refused[] = {
      XpRect(0, 0, kWidth + 1, kHeight), XpRect(0, 0, kWidth, kHeight + 1),
      XpRect(-1, 0, 2, 2),                XpRect(0, -1, 2, 2),
      XpRect(2, 2, 2, 3),                 XpRect(1, 3, 4, 3),
      XpRect(4, 0, 2, 3),                 XpRect(0, 3, 2, 1),
  };
  for (const XpRect& rect : refused) {
    SCOPED_TRACE(testing::Message() << rect.left << ", " << rect.top << ", " << rect.right << ", "
                                    << rect.bottom);
    XpPixmapBGR24NoHandle pixmap;
    MakePicture(pixmap);
    const uint8_t* block = pixmap.block;
    const std::vector<uint8_t> before = Pixels(pixmap);
    EXPECT_EQ(XpPixmapCrop(pixmap, rect), kXpErrGeneric);
    EXPECT_EQ(pixmap.block, block);
    EXPECT_EQ(pixmap.width, kWidth);
    EXPECT_EQ(Pixels(pixmap), before);
  }

  // The crop to nothing on a larger pixmap.
  XpPixmapBGR24NoHandle large;
  AllocateFilled(large, 12, 12);
  EXPECT_EQ(XpPixmapCrop(large, XpRect(5, 5, 5, 10)), kXpErrGeneric);
  EXPECT_EQ(large.width, 12);

  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(XpPixmapCrop(empty, XpRect(0, 0, 0, 0)), kXpErrGeneric);
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 4, 4);
  EXPECT_EQ(XpPixmapCrop(bgra, XpRect(0, 0, 2, 2)), kXpErrGeneric);
  EXPECT_EQ(bgra.width, 4);
}

TEST(XpPixmapCrop, FailedAllocations) {
  XpPixmapBGR24NoHandle pixmap;
  MakePicture(pixmap);
  const std::vector<uint8_t> before = Pixels(pixmap);
  {
    // The temporary copy: nothing changed.
    XpScopedPixmapAllocationFailure failure(1);
    EXPECT_EQ(XpPixmapCrop(pixmap, XpRect(1, 1, 3, 3)), kXpErrOutOfMemory);
  }
  EXPECT_EQ(Pixels(pixmap), before);
  {
    // The pixmap's new block, after its old one was given back: empty.
    XpScopedPixmapAllocationFailure failure(2);
    EXPECT_EQ(XpPixmapCrop(pixmap, XpRect(1, 1, 3, 3)), kXpErrOutOfMemory);
  }
  EXPECT_FALSE(pixmap.IsAllocated());
  EXPECT_EQ(pixmap.width, 0);
}

TEST(XpPixmapCrop, CopyClampsTheRectangle) {
  XpPixmapBGR24 source;
  MakePicture(source);
  const std::vector<uint8_t> before = Pixels(source);
  const struct {
    XpRect rect;
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
  } cases[] = {
      {XpRect(0, 0, kWidth + 1, kHeight), 0, 0, kWidth, kHeight},
      {XpRect(-2, -1, 3, 2), 0, 0, 3, 2},
      {XpRect(3, 1, 100, 100), 3, 1, 2, 3},
      {XpRect(1, 2, 4, 3), 1, 2, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rect.left << ", " << c.rect.top << ", " << c.rect.right
                                    << ", " << c.rect.bottom);
    const std::unique_ptr<XpPixmapBGR24NoHandle> copy(XpPixmapCropCopy(source, c.rect));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->width, c.width);
    EXPECT_EQ(copy->height, c.height);
    ExpectPixelsFrom(*copy, c.left, c.top);
  }
  EXPECT_EQ(Pixels(source), before);
}

TEST(XpPixmapCrop, CopyOfNothingIsNull) {
  XpPixmapBGR24NoHandle source;
  MakePicture(source);
  const XpRect nothing[] = {
      XpRect(5, 5, 5, 10),  XpRect(3, 1, 2, 3),    XpRect(kWidth, 0, kWidth + 4, kHeight),
      XpRect(0, kHeight, kWidth, kHeight + 1),     XpRect(-10, -10, -1, -1),
      XpRect(-4, 0, 0, kHeight),
  };
  for (const XpRect& rect : nothing) {
    const std::unique_ptr<XpPixmapBGR24NoHandle> copy(XpPixmapCropCopy(source, rect));
    EXPECT_EQ(copy, nullptr) << rect.left << ", " << rect.top << ", " << rect.right << ", "
                             << rect.bottom;
  }

  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(std::unique_ptr<XpPixmapBGR24NoHandle>(XpPixmapCropCopy(empty, XpRect(0, 0, 2, 2))),
            nullptr);
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 4, 4);
  EXPECT_EQ(std::unique_ptr<XpPixmapBGR24NoHandle>(XpPixmapCropCopy(bgra, XpRect(0, 0, 2, 2))),
            nullptr);
  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(std::unique_ptr<XpPixmapBGR24NoHandle>(XpPixmapCropCopy(source, XpRect(0, 0, 2, 2))),
            nullptr);
}

}  // namespace
