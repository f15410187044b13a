#include "platform/screen/XpMemorySurface.h"

#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr XpColorRef kBlack = 0;

// A width x height block of BGR rows, stride padded to 4 bytes plus one
// spare byte, whose pixel (x, y) is Marked(x, y).
struct SourceRows {
  SourceRows(int32_t widthIn, int32_t heightIn)
      : width(widthIn), stride(static_cast<size_t>(widthIn) * 3 + 5),
        bytes(stride * static_cast<size_t>(heightIn)) {
    for (int32_t y = 0; y < heightIn; ++y) {
      for (int32_t x = 0; x < widthIn; ++x) {
        const XpColorRef colour = Marked(x, y);
        uint8_t* pixel = bytes.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        pixel[0] = XpBlueOf(colour);
        pixel[1] = XpGreenOf(colour);
        pixel[2] = XpRedOf(colour);
      }
    }
  }
  static XpColorRef Marked(int32_t x, int32_t y) {
    return XpRgb(static_cast<uint8_t>(x + 1), static_cast<uint8_t>(y + 1), 0x77);
  }

  int32_t width;
  size_t stride;
  std::vector<uint8_t> bytes;
};

TEST(XpMemorySurface, CreateGivesABlackPaddedBufferClippedToItself) {
  XpMemorySurface surface;
  ASSERT_EQ(surface.Create(5, 3), kXpOk);
  EXPECT_EQ(surface.Stride(), 16u);
  EXPECT_EQ(surface.GetClipBox(), (XpSurfaceRect{0, 0, 5, 3}));
  EXPECT_EQ(surface.GetPixel(4, 2), kBlack);
  EXPECT_EQ(surface.GetPixel(5, 0), XpMemorySurface::kInvalidColour);
  EXPECT_EQ(surface.GetPixel(0, -1), XpMemorySurface::kInvalidColour);

  EXPECT_EQ(surface.Create(0, 3), kXpErrBadArgument);
  EXPECT_EQ(surface.Pixels(), nullptr);
  EXPECT_TRUE(surface.GetClipBox().IsEmpty());
  EXPECT_EQ(surface.Create(0x7FFFFFFF, 0x7FFFFFFF), kXpErrOutOfMemory);
}

TEST(XpMemorySurface, ClipBoxIsItsPartInsideTheBuffer) {
  XpMemorySurface surface;
  ASSERT_EQ(surface.Create(8, 8), kXpOk);
  surface.SetClipBox({-4, 2, 100, 6});
  EXPECT_EQ(surface.GetClipBox(), (XpSurfaceRect{0, 2, 8, 6}));
  surface.SetClipBox({9, 0, 12, 8});
  EXPECT_TRUE(surface.GetClipBox().IsEmpty());
}

TEST(XpMemorySurface, BlitWritesOnlyInsideTheClipBoxFromTheMatchingSourcePixels) {
  XpMemorySurface surface;
  ASSERT_EQ(surface.Create(8, 8), kXpOk);
  surface.SetClipBox({2, 2, 6, 6});
  const SourceRows source(10, 10);
  // Source pixel (0, 0) lands on (-1, -1).
  surface.BlitBGR(-1, -1, 10, 10, source.bytes.data(), source.stride);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(surface.GetPixel(x, y), inside ? SourceRows::Marked(x + 1, y + 1) : kBlack)
          << x << ", " << y;
    }
  }
}

TEST(XpMemorySurface, BlitsThatMissTheClipBoxOrTheBufferWriteNothing) {
  XpMemorySurface surface;
  ASSERT_EQ(surface.Create(4, 4), kXpOk);
  const SourceRows source(3, 3);
  const struct {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
  } cases[] = {
      {4, 0, 3, 3}, {-3, 0, 3, 3}, {0, 4, 3, 3}, {0, 0, 0, 3}, {0, 0, 3, -1},
      // Edges past the 32-bit range must not wrap round into the buffer.
      {INT32_MAX - 1, 0, 3, 3}, {0, INT32_MAX - 1, 3, 3}, {INT32_MIN, INT32_MIN, 3, 3},
  };
  for (const auto& c : cases) {
    surface.BlitBGR(c.x, c.y, c.width, c.height, source.bytes.data(), source.stride);
  }
  surface.BlitBGR(0, 0, 3, 3, nullptr, source.stride);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(surface.GetPixel(x, y), kBlack) << x << ", " << y;
    }
  }
}

TEST(XpMemorySurface, FillRectIsClipped) {
  XpMemorySurface surface;
  ASSERT_EQ(surface.Create(6, 4), kXpOk);
  surface.SetClipBox({1, 0, 6, 3});
  const XpColorRef colour = XpRgb(10, 20, 30);
  surface.FillRect({-5, 1, 3, 100}, colour);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      const bool filled = x >= 1 && x < 3 && y >= 1 && y < 3;
      EXPECT_EQ(surface.GetPixel(x, y), filled ? colour : kBlack) << x << ", " << y;
    }
  }
  // Blue, green, red in memory order.
  const uint8_t* pixel = surface.Pixels() + surface.Stride() + 3;
  EXPECT_EQ(pixel[0], 30);
  EXPECT_EQ(pixel[1], 20);
  EXPECT_EQ(pixel[2], 10);
}

}  // namespace
