#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapBase.h"

// Helpers of the resampling tests: single lines as 1-row or 1-column
// pixmaps, row padding filled with a value no pixel has, and readers that
// look at pixels only.
namespace resampletest {

// What the padding bytes of a test pixmap hold, so that reading them shows.
inline constexpr uint8_t kPadding = 0x5A;

enum class Along { kRow, kColumn };

inline const char* Name(Along along) { return along == Along::kRow ? "row" : "column"; }

inline int32_t Channels(const XpPixmapBase& pixmap) { return pixmap.GetChannelCount(0); }

inline uint8_t* PixelAt(const XpPixmapBase& pixmap, int32_t x, int32_t y) {
  return pixmap.GetPlane(0)->Row(y) + static_cast<size_t>(x) * Channels(pixmap);
}

// Allocates width x height with every byte, padding included, set to kPadding.
inline void AllocateFilled(XpPixmapBase& pixmap, int32_t width, int32_t height) {
  ASSERT_EQ(pixmap.Allocate(width, height), kXpOk);
  std::memset(pixmap.block, kPadding, pixmap.blockSize);
}

// Every channel of every pixel set to value(x, y, channel).
template <typename Value>
void Paint(XpPixmapBase& pixmap, Value value) {
  for (int32_t y = 0; y < pixmap.height; ++y) {
    for (int32_t x = 0; x < pixmap.width; ++x) {
      for (int32_t c = 0; c < Channels(pixmap); ++c) {
        PixelAt(pixmap, x, y)[c] = static_cast<uint8_t>(value(x, y, c));
      }
    }
  }
}

// A line of pixels whose channels all hold the given values.
inline void MakeLine(XpPixmapBase& pixmap, const std::vector<int>& values, Along along) {
  const auto length = static_cast<int32_t>(values.size());
  AllocateFilled(pixmap, along == Along::kRow ? length : 1, along == Along::kRow ? 1 : length);
  Paint(pixmap, [&](int32_t x, int32_t y, int32_t) { return values[static_cast<size_t>(x + y)]; });
}

// The values along a 1-row or 1-column pixmap; a pixel whose channels
// differ is reported as -1.
inline std::vector<int> ReadLine(const XpPixmapBase& pixmap) {
  std::vector<int> values;
  const int32_t length = pixmap.width > 1 ? pixmap.width : pixmap.height;
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t* pixel = pixmap.width > 1 ? PixelAt(pixmap, i, 0) : PixelAt(pixmap, 0, i);
    int value = pixel[0];
    for (int32_t c = 1; c < Channels(pixmap); ++c) {
      if (pixel[c] != pixel[0]) {
        value = -1;
      }
    }
    values.push_back(value);
  }
  return values;
}

// The pixel bytes of every row, padding left out.
inline std::vector<uint8_t> Pixels(const XpPixmapBase& pixmap) {
  std::vector<uint8_t> bytes;
  const size_t rowBytes = static_cast<size_t>(pixmap.width) * Channels(pixmap);
  for (int32_t y = 0; y < pixmap.height; ++y) {
    const uint8_t* row = pixmap.GetPlane(0)->Row(y);
    bytes.insert(bytes.end(), row, row + rowBytes);
  }
  return bytes;
}

// Whether every pixel holds channel c = values[c].
inline bool IsFlat(const XpPixmapBase& pixmap, const std::vector<uint8_t>& values) {
  for (int32_t y = 0; y < pixmap.height; ++y) {
    for (int32_t x = 0; x < pixmap.width; ++x) {
      if (std::memcmp(PixelAt(pixmap, x, y), values.data(), values.size()) != 0) {
        return false;
      }
    }
  }
  return true;
}

// Uneven content, different in every channel.
inline int Pattern(int32_t x, int32_t y, int32_t c) { return (x * 37 + y * 91 + c * 59 + x * y) % 256; }

// Resizes a patterned width x height pixmap to newWidth x newHeight with
// the n-th pixmap allocation failing, for n = 1, 2, ... until the resize
// succeeds: every failure must answer kXpErrOutOfMemory and leave the
// pixmap's size and pixels as they were, and the final success must give
// what a resize without failures gives.
template <typename Pixmap, typename Resize>
void ExpectAllocationFailuresKeepThePixmap(int32_t width, int32_t height, int32_t newWidth,
                                           int32_t newHeight, Resize resize) {
  SCOPED_TRACE(testing::Message() << width << " x " << height << " to " << newWidth << " x "
                                  << newHeight);
  constexpr int32_t kMostAllocations = 8;
  Pixmap expected;
  AllocateFilled(expected, width, height);
  Paint(expected, Pattern);
  ASSERT_EQ(resize(expected, newWidth, newHeight), kXpOk);
  for (int32_t n = 1; n <= kMostAllocations; ++n) {
    Pixmap pixmap;
    AllocateFilled(pixmap, width, height);
    Paint(pixmap, Pattern);
    const std::vector<uint8_t> before = Pixels(pixmap);
    XpResult result;
    {
      XpScopedPixmapAllocationFailure failure(n);
      result = resize(pixmap, newWidth, newHeight);
    }
    if (result == kXpOk) {
      EXPECT_GT(n, 1) << "no allocation could fail";
      EXPECT_EQ(Pixels(pixmap), Pixels(expected));
      return;
    }
    EXPECT_EQ(result, kXpErrOutOfMemory) << "allocation " << n;
    EXPECT_EQ(pixmap.width, width) << "allocation " << n;
    EXPECT_EQ(pixmap.height, height) << "allocation " << n;
    EXPECT_EQ(Pixels(pixmap), before) << "allocation " << n;
  }
  ADD_FAILURE() << "still failing after " << kMostAllocations << " allocations";
}

}  // namespace resampletest
