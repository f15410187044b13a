#include "imaging/pixmap/XpYCbCrConversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"

namespace {

constexpr uint8_t kNeutral = 128;

struct Triple {
  uint8_t y;
  uint8_t cb;
  uint8_t cr;
};

Triple PixelAt(const XpPixmapYCbCr444& pixmap, int32_t x, int32_t y) {
  const uint8_t* p = pixmap.GetPlane(0)->Row(y) + x * 3;
  return {p[0], p[1], p[2]};
}

// Y = 10 y + x; Cb = 100 + 10 cy + cx; Cr = 200 + 10 cy + cx.
void FillPlanar(XpPixmapYCbCr420& pixmap) {
  for (int32_t plane = 0; plane < 3; ++plane) {
    const XpPlaneBase& p = *pixmap.GetPlane(plane);
    for (int32_t y = 0; y < p.height; ++y) {
      for (int32_t x = 0; x < p.width; ++x) {
        p.Row(y)[x] = static_cast<uint8_t>(plane * 100 + y * 10 + x);
      }
    }
  }
}

TEST(XpPixmap, PlanarTo444TakesChromaAtHalfPositions) {
  const struct {
    int32_t width;
    int32_t height;
  } sizes[] = {{5, 4}, {5, 5}, {4, 3}, {6, 6}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
    XpPixmapYCbCr420 planar;
    ASSERT_EQ(planar.Allocate(size.width, size.height), kXpOk);
    FillPlanar(planar);
    std::unique_ptr<XpPixmapYCbCr444> result(XpPixmapYCbCr420To444(planar));
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->width, size.width);
    ASSERT_EQ(result->height, size.height);
    const int32_t lastCx = size.width / 2 - 1;
    const int32_t lastCy = size.height / 2 - 1;
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t x = 0; x < size.width; ++x) {
        const int32_t cx = x / 2 < lastCx ? x / 2 : lastCx;
        const int32_t cy = y / 2 < lastCy ? y / 2 : lastCy;
        const Triple pixel = PixelAt(*result, x, y);
        ASSERT_EQ(pixel.y, 10 * y + x) << x << "," << y;
        ASSERT_EQ(pixel.cb, 100 + 10 * cy + cx) << x << "," << y;
        ASSERT_EQ(pixel.cr, 200 + 10 * cy + cx) << x << "," << y;
      }
    }
  }
}

TEST(XpPixmap, PlanarTo444ColumnFourOfFiveTakesChromaColumnOne) {
  XpPixmapYCbCr420 planar;
  ASSERT_EQ(planar.Allocate(5, 2), kXpOk);
  FillPlanar(planar);
  std::unique_ptr<XpPixmapYCbCr444> result(XpPixmapYCbCr420To444(planar));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(PixelAt(*result, 4, 1).cb, 101);
  EXPECT_EQ(PixelAt(*result, 4, 1).cr, 201);
}

TEST(XpPixmap, PlanarTo444WithoutChromaIsNeutral) {
  const struct {
    int32_t width;
    int32_t height;
  } sizes[] = {{1, 1}, {1, 4}, {4, 1}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
    XpPixmapYCbCr420 planar;
    ASSERT_EQ(planar.Allocate(size.width, size.height), kXpOk);
    ASSERT_EQ(planar.GetPlane(1)->width * planar.GetPlane(1)->height, 0);
    FillPlanar(planar);
    std::unique_ptr<XpPixmapYCbCr444> result(XpPixmapYCbCr420To444(planar));
    ASSERT_NE(result, nullptr);
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t x = 0; x < size.width; ++x) {
        const Triple pixel = PixelAt(*result, x, y);
        EXPECT_EQ(pixel.y, 10 * y + x);
        EXPECT_EQ(pixel.cb, kNeutral);
        EXPECT_EQ(pixel.cr, kNeutral);
      }
    }
  }
}

TEST(XpPixmap, PlanarTo444FailsWithoutPixels) {
  XpPixmapYCbCr420 empty;
  EXPECT_EQ(XpPixmapYCbCr420To444(empty), nullptr);
  XpPixmapYCbCr420 planar;
  ASSERT_EQ(planar.Allocate(2, 2), kXpOk);
  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(XpPixmapYCbCr420To444(planar), nullptr);
}

// Rows of Y0 Cb Y1 Cr; Y = 10 y + x, chroma of even rows 100 + ..., of odd
// rows 250 so that a read of them shows.
std::vector<uint8_t> PackedRows(int32_t width, int32_t height, int32_t pitch) {
  std::vector<uint8_t> bytes(static_cast<size_t>(pitch) * height, 0xEE);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = bytes.data() + static_cast<size_t>(y) * pitch;
    for (int32_t x = 0; x < width; ++x) {
      row[2 * x] = static_cast<uint8_t>(10 * y + x);
      const bool even = y % 2 == 0;
      row[2 * x + 1] = even ? static_cast<uint8_t>((x % 2 == 0 ? 100 : 200) + 10 * (y / 2) + x / 2)
                            : 250;
    }
  }
  return bytes;
}

TEST(XpPixmap, Packed422ToPlanarTakesChromaFromEvenRows) {
  const struct {
    int32_t width;
    int32_t height;
    int32_t pitch;
    int32_t rowPitch;
  } cases[] = {{5, 4, 0, 10}, {4, 5, 0, 8}, {6, 3, 16, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " pitch " << c.pitch);
    // Exactly the bytes the rows need: the sanitizer build catches a read past them.
    std::vector<uint8_t> bytes = PackedRows(c.width, c.height, c.rowPitch);
    std::unique_ptr<XpPixmapYCbCr420> planar(
        XpPixmapYCbCr422To420(bytes.data(), c.width, c.height, c.pitch));
    ASSERT_NE(planar, nullptr);
    ASSERT_EQ(planar->width, c.width);
    ASSERT_EQ(planar->height, c.height);
    const XpPlaneBase& luma = *planar->GetPlane(0);
    const XpPlaneBase& cb = *planar->GetPlane(1);
    const XpPlaneBase& cr = *planar->GetPlane(2);
    for (int32_t y = 0; y < c.height; ++y) {
      for (int32_t x = 0; x < c.width; ++x) {
        EXPECT_EQ(luma.Row(y)[x], 10 * y + x);
      }
    }
    ASSERT_EQ(cb.width, c.width / 2);
    ASSERT_EQ(cb.height, c.height / 2);
    for (int32_t cy = 0; cy < cb.height; ++cy) {
      for (int32_t cx = 0; cx < cb.width; ++cx) {
        EXPECT_EQ(cb.Row(cy)[cx], 100 + 10 * cy + cx);
        EXPECT_EQ(cr.Row(cy)[cx], 200 + 10 * cy + cx);
      }
    }
  }
}

TEST(XpPixmap, Packed422ToPlanarRefusesBadArguments) {
  std::vector<uint8_t> bytes(64, 0);
  EXPECT_EQ(XpPixmapYCbCr422To420(nullptr, 4, 2, 0), nullptr);
  EXPECT_EQ(XpPixmapYCbCr422To420(bytes.data(), 0, 2, 0), nullptr);
  EXPECT_EQ(XpPixmapYCbCr422To420(bytes.data(), 4, 0, 0), nullptr);
  EXPECT_EQ(XpPixmapYCbCr422To420(bytes.data(), 4, 2, 7), nullptr);
  EXPECT_EQ(XpPixmapYCbCr422To420(bytes.data(), 4, 2, -8), nullptr);
}

TEST(XpPixmap, CropOf444ClampsItsRectangle) {
  XpPixmapYCbCr444 source;
  ASSERT_EQ(source.Allocate(4, 3), kXpOk);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      uint8_t* p = source.GetPlane(0)->Row(y) + x * 3;
      p[0] = static_cast<uint8_t>(10 * y + x);
      p[1] = static_cast<uint8_t>(100 + 10 * y + x);
      p[2] = static_cast<uint8_t>(200 + 10 * y + x);
    }
  }
  const struct {
    XpRect rect;
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
  } cases[] = {
      {XpRect(1, 0, 3, 2), 1, 0, 2, 2},
      {XpRect(-2, 1, 10, 3), 0, 1, 4, 2},
      {XpRect(3, -5, 9, 9), 3, 0, 1, 3},
      {XpRect(0, 0, 4, 3), 0, 0, 4, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rect.left << "," << c.rect.top << "," << c.rect.right
                                    << "," << c.rect.bottom);
    std::unique_ptr<XpPixmapYCbCr444> crop(XpPixmapCropCopy(source, c.rect));
    ASSERT_NE(crop, nullptr);
    ASSERT_EQ(crop->width, c.width);
    ASSERT_EQ(crop->height, c.height);
    for (int32_t y = 0; y < c.height; ++y) {
      for (int32_t x = 0; x < c.width; ++x) {
        const Triple pixel = PixelAt(*crop, x, y);
        const int32_t n = 10 * (c.top + y) + c.left + x;
        EXPECT_EQ(pixel.y, n);
        EXPECT_EQ(pixel.cb, 100 + n);
        EXPECT_EQ(pixel.cr, 200 + n);
      }
    }
  }
  // Nothing left after clamping.
  EXPECT_EQ(XpPixmapCropCopy(source, XpRect(4, 0, 8, 3)), nullptr);
  EXPECT_EQ(XpPixmapCropCopy(source, XpRect(3, 2, 1, 1)), nullptr);
  EXPECT_EQ(XpPixmapCropCopy(source, XpRect(2, 0, INT32_MIN, 3)), nullptr);
  XpPixmapYCbCr444 empty;
  EXPECT_EQ(XpPixmapCropCopy(empty, XpRect(0, 0, 2, 2)), nullptr);
}

}  // namespace
