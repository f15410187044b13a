#include "imaging/resample/XpPixmapResize.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/resample/ResampleTestSupport.h"

namespace {

using resampletest::Along;
using resampletest::AllocateFilled;
using resampletest::IsFlat;
using resampletest::MakeLine;
using resampletest::Paint;
using resampletest::PixelAt;
using resampletest::Pixels;
using resampletest::ReadLine;

constexpr Along kAlongs[] = {Along::kRow, Along::kColumn};

template <typename Pixmap>
std::vector<int> ResizeLine(const std::vector<int>& values, int32_t length, Along along) {
  Pixmap pixmap;
  MakeLine(pixmap, values, along);
  const XpResult result = along == Along::kRow ? XpPixmapResize(pixmap, length, 1)
                                               : XpPixmapResize(pixmap, 1, length);
  EXPECT_EQ(result, kXpOk);
  return ReadLine(pixmap);
}

// The line resized in both orientations, as BGR and as BGRA.
void ExpectLine(const std::vector<int>& values, int32_t length, const std::vector<int>& expected) {
  for (const Along along : kAlongs) {
    SCOPED_TRACE(resampletest::Name(along));
    EXPECT_EQ(ResizeLine<XpPixmapBGR24NoHandle>(values, length, along), expected);
    EXPECT_EQ(ResizeLine<XpPixmapBGRA32>(values, length, along), expected);
  }
}

// A width x height picture repeating a tile of tileWidth x tileHeight values.
void Tile(XpPixmapBase& pixmap, int32_t width, int32_t height, int32_t tileWidth,
          const std::vector<int>& tile) {
  const auto tileHeight = static_cast<int32_t>(tile.size()) / tileWidth;
  AllocateFilled(pixmap, width, height);
  Paint(pixmap, [&](int32_t x, int32_t y, int32_t) {
    return tile[static_cast<size_t>((y % tileHeight) * tileWidth + x % tileWidth)];
  });
}

TEST(XpPixmapResize, HalvingOrThirdingBothWaysTakesTheBoxAverage) {
  XpPixmapBGR24NoHandle halved;
  // Two pair passes would give (3 + 0) / 2 = 1 and (0 + 1) / 2 = 0, then 0.
  Tile(halved, 400, 300, 2, {3, 0, 0, 1});
  ASSERT_EQ(XpPixmapResize(halved, 200, 150), kXpOk);
  EXPECT_TRUE(IsFlat(halved, {1, 1, 1}));

  XpPixmapBGR24NoHandle thirded;
  // Two area passes would give 8 / 3 = 2, 0, 1 / 3 = 0, then 2 / 3 = 0.
  Tile(thirded, 300, 300, 3, {8, 0, 0, 0, 0, 0, 0, 0, 1});
  ASSERT_EQ(XpPixmapResize(thirded, 100, 100), kXpOk);
  EXPECT_TRUE(IsFlat(thirded, {1, 1, 1}));
}

TEST(XpPixmapResize, OtherwiseHorizontalPassFirst) {
  // 400 -> 200 is a pair average, 300 -> 100 an area average. Pairs first:
  // 0, 0 and (1 + 5) / 2 = 3 down a column, then 3 / 3 = 1. Columns first
  // would give 1 / 3 = 0 and 5 / 3 = 1, then (0 + 1) / 2 = 0.
  XpPixmapBGR24NoHandle pixmap;
  Tile(pixmap, 400, 300, 2, {0, 0, 0, 0, 1, 5});
  ASSERT_EQ(XpPixmapResize(pixmap, 200, 100), kXpOk);
  EXPECT_EQ(pixmap.width, 200);
  EXPECT_EQ(pixmap.height, 100);
  EXPECT_TRUE(IsFlat(pixmap, {1, 1, 1}));
}

TEST(XpPixmapResize, PairAndBoxAveragesTruncate) {
  ExpectLine({10, 13}, 1, {11});
  ExpectLine({200, 255, 0, 1}, 2, {227, 0});

  XpPixmapBGR24NoHandle bgr;
  Tile(bgr, 2, 2, 2, {1, 2, 2, 2});
  ASSERT_EQ(XpPixmapResize(bgr, 1, 1), kXpOk);
  EXPECT_TRUE(IsFlat(bgr, {1, 1, 1}));

  // Every channel alone, alpha included.
  const int blocks[4][4] = {{1, 2, 2, 2}, {10, 20, 30, 41}, {255, 255, 255, 255}, {4, 4, 4, 7}};
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 2, 2);
  Paint(bgra, [&](int32_t x, int32_t y, int32_t c) { return blocks[c][y * 2 + x]; });
  ASSERT_EQ(XpPixmapResize(bgra, 1, 1), kXpOk);
  EXPECT_TRUE(IsFlat(bgra, {1, 25, 255, 4}));

  // 3 x 3: sums 9 x 100 + 8 = 908 and 9 x 7 + 5 = 68 give 100 and 7.
  AllocateFilled(bgra, 3, 3);
  Paint(bgra, [](int32_t x, int32_t y, int32_t c) {
    const bool last = x == 2 && y == 2;
    return c % 2 == 0 ? (last ? 108 : 100) : (last ? 12 : 7);
  });
  ASSERT_EQ(XpPixmapResize(bgra, 1, 1), kXpOk);
  EXPECT_TRUE(IsFlat(bgra, {100, 7, 100, 7}));
}

TEST(XpPixmapResize, AreaAverageIsTheExactFloorOfTheMean) {
  const struct {
    std::vector<int> line;
    int32_t length;
    std::vector<int> expected;
  } cases[] = {
      {{255, 255, 255}, 1, {255}},
      {{0, 3, 6}, 1, {3}},
      {{0, 3, 7}, 1, {3}},
      // Weights 2, 2, 1 and 1, 2, 2 of 5: 90 / 5 and 210 / 5.
      {{10, 20, 30, 40, 50}, 2, {18, 42}},
      // Weights 3, 3, 1 / 2, 3, 2 / 1, 3, 3 of 7: 12 / 7, 28 / 7, 44 / 7.
      {{1, 2, 3, 4, 5, 6, 7}, 3, {1, 4, 6}},
      {std::vector<int>(1000, 255), 640, std::vector<int>(640, 255)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line.size() << " to " << c.length);
    ExpectLine(c.line, c.length, c.expected);
  }
}

// floor of the exact mean over the common grid: source pixel p spans
// [p m, (p + 1) m), target i spans [i n, (i + 1) n).
std::vector<int> ExactAreaMeans(const std::vector<int>& line, int32_t length) {
  const auto source = static_cast<int64_t>(line.size());
  int64_t a = source;
  int64_t b = length;
  while (b != 0) {
    const int64_t rest = a % b;
    a = b;
    b = rest;
  }
  const int64_t m = length / a;
  const int64_t n = source / a;
  std::vector<int> means;
  for (int64_t i = 0; i < length; ++i) {
    uint64_t sum = 0;
    for (int64_t p = 0; p < source; ++p) {
      const int64_t overlap = std::min((p + 1) * m, (i + 1) * n) - std::max(p * m, i * n);
      if (overlap > 0) {
        sum += static_cast<uint64_t>(overlap) * static_cast<uint64_t>(line[static_cast<size_t>(p)]);
      }
    }
    means.push_back(static_cast<int>(sum / static_cast<uint64_t>(n)));
  }
  return means;
}

TEST(XpPixmapResize, AreaAverageAgreesWithTheExactMeanForEveryLengthPair) {
  std::mt19937 random(82);
  std::uniform_int_distribution<int> value(0, 255);
  for (int32_t source = 3; source <= 23; ++source) {
    for (int32_t length = 1; length < source; ++length) {
      if (2 * length == source) {
        continue;  // the pair average
      }
      std::vector<int> line(static_cast<size_t>(source));
      for (int& entry : line) {
        entry = value(random);
      }
      SCOPED_TRACE(testing::Message() << source << " to " << length);
      ExpectLine(line, length, ExactAreaMeans(line, length));
    }
  }
  // Divisors at the edge of the 32-bit sums, at full brightness and not.
  for (const auto& [source, length] : {std::pair{65536, 3}, std::pair{65535, 2}, std::pair{65536, 1}}) {
    std::vector<int> bright(static_cast<size_t>(source), 255);
    std::vector<int> mixed(static_cast<size_t>(source));
    for (int& entry : mixed) {
      entry = value(random);
    }
    SCOPED_TRACE(testing::Message() << source << " to " << length);
    EXPECT_EQ(ResizeLine<XpPixmapBGR24NoHandle>(bright, length, Along::kRow), ExactAreaMeans(bright, length));
    EXPECT_EQ(ResizeLine<XpPixmapBGR24NoHandle>(mixed, length, Along::kRow), ExactAreaMeans(mixed, length));
  }
}

// A vertical pass sums whole rows at once: every column is its own mean.
TEST(XpPixmapResize, AreaAverageDownColumnsKeepsEachColumnApart) {
  constexpr int32_t kWidth = 7;
  constexpr int32_t kHeight = 29;
  constexpr int32_t kLength = 11;
  std::mt19937 random(29);
  std::uniform_int_distribution<int> value(0, 255);
  std::vector<std::vector<int>> columns(kWidth, std::vector<int>(kHeight));
  for (auto& column : columns) {
    for (int& entry : column) {
      entry = value(random);
    }
  }
  XpPixmapBGR24NoHandle pixmap;
  AllocateFilled(pixmap, kWidth, kHeight);
  Paint(pixmap, [&](int32_t x, int32_t y, int32_t) { return columns[static_cast<size_t>(x)][static_cast<size_t>(y)]; });
  ASSERT_EQ(XpPixmapResize(pixmap, kWidth, kLength), kXpOk);
  for (int32_t x = 0; x < kWidth; ++x) {
    const std::vector<int> expected = ExactAreaMeans(columns[static_cast<size_t>(x)], kLength);
    for (int32_t y = 0; y < kLength; ++y) {
      for (int32_t channel = 0; channel < 3; ++channel) {
        EXPECT_EQ(PixelAt(pixmap, x, y)[channel], expected[static_cast<size_t>(y)]) << x << ", " << y;
      }
    }
  }
}

TEST(XpPixmapResize, AreaAverageBeyondA32BitCommonMultiple) {
  // 65537 and 65536 are coprime: their common grid has 65537 x 65536 units.
  std::vector<int> line(65537, 255);
  line[0] = 0;
  std::vector<int> expected(65536, 255);
  // The first target covers 65536 of the 65537 units of pixel 0 (value 0)
  // and 1 unit of pixel 1: 255 / 65537 = 0.
  expected[0] = 0;
  EXPECT_EQ(ResizeLine<XpPixmapBGR24NoHandle>(line, 65536, Along::kRow), expected);
}

TEST(XpPixmapResize, SinglePixelLinesAreRepeated) {
  XpPixmapBGR24NoHandle column;
  MakeLine(column, {10, 20, 30}, Along::kColumn);
  ASSERT_EQ(XpPixmapResize(column, 5, 3), kXpOk);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(PixelAt(column, x, y)[1], 10 * (y + 1)) << x << ", " << y;
    }
  }

  XpPixmapBGRA32 row;
  MakeLine(row, {10, 20, 30}, Along::kRow);
  ASSERT_EQ(XpPixmapResize(row, 3, 4), kXpOk);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(PixelAt(row, x, y)[3], 10 * (x + 1)) << x << ", " << y;
    }
  }
}

TEST(XpPixmapResize, ArgumentChecksComeFirst) {
  XpPixmapBGR24NoHandle pixmap;
  AllocateFilled(pixmap, 5, 4);
  Paint(pixmap, resampletest::Pattern);
  const uint8_t* block = pixmap.block;
  const std::vector<uint8_t> before = Pixels(pixmap);

  EXPECT_EQ(XpPixmapResize(pixmap, 5, 4), kXpOk);
  EXPECT_EQ(pixmap.block, block);
  const struct {
    int32_t width;
    int32_t height;
  } refused[] = {{0, 4}, {5, 0}, {-1, 3}, {3, -1}};
  for (const auto& size : refused) {
    EXPECT_EQ(XpPixmapResize(pixmap, size.width, size.height), kXpErrGeneric)
        << size.width << " x " << size.height;
  }
  EXPECT_EQ(pixmap.block, block);
  EXPECT_EQ(Pixels(pixmap), before);

  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(XpPixmapResize(empty, 0, 0), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResize(empty, 3, 3), kXpErrGeneric);
  XpPixmapYCbCr444 otherKind;
  ASSERT_EQ(otherKind.Allocate(4, 4), kXpOk);
  EXPECT_EQ(XpPixmapResize(otherKind, 2, 2), kXpErrGeneric);
  EXPECT_EQ(otherKind.width, 4);
}

TEST(XpPixmapResize, IntoWritesTheDestinationAndKeepsTheSource) {
  XpPixmapBGR24NoHandle source;
  MakeLine(source, {0, 100, 200, 100}, Along::kRow);
  const std::vector<uint8_t> sourceBefore = Pixels(source);
  XpPixmapBGR24 destination;
  AllocateFilled(destination, 7, 1);
  const uint8_t* block = destination.block;
  ASSERT_EQ(XpPixmapResizeInto(destination, source), kXpOk);
  EXPECT_EQ(destination.block, block);
  EXPECT_EQ(ReadLine(destination), (std::vector<int>{0, 50, 100, 163, 200, 150, 100}));
  EXPECT_EQ(Pixels(source), sourceBefore);

  // At the same size the whole block is copied, row padding included.
  XpPixmapBGR24NoHandle padded;
  ASSERT_EQ(padded.Allocate(5, 2), kXpOk);
  std::memset(padded.block, 0x11, padded.blockSize);
  XpPixmapBGR24NoHandle same;
  AllocateFilled(same, 5, 2);
  ASSERT_EQ(XpPixmapResizeInto(same, padded), kXpOk);
  EXPECT_EQ(std::vector<uint8_t>(same.block, same.block + same.blockSize),
            std::vector<uint8_t>(padded.blockSize, 0x11));
  EXPECT_EQ(XpPixmapResizeInto(padded, padded), kXpOk);
}

TEST(XpPixmapResize, IntoRefusesMissingOrMismatchedPixmaps) {
  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 4, 4);
  XpPixmapBGR24NoHandle empty;
  XpPixmapBGRA32 bgra;
  AllocateFilled(bgra, 2, 2);
  XpPixmapBGR24NoHandle destination;
  AllocateFilled(destination, 2, 2);

  EXPECT_EQ(XpPixmapResizeInto(destination, empty), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResizeInto(empty, source), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResizeInto(bgra, source), kXpErrGeneric);
  EXPECT_EQ(XpPixmapResizeInto(destination, bgra), kXpErrGeneric);
  EXPECT_TRUE(IsFlat(destination, {resampletest::kPadding, resampletest::kPadding,
                                   resampletest::kPadding}));
}

// Source and target sizes with both sides in 1..9, and long rows.
struct SizeChange {
  int32_t width;
  int32_t height;
  int32_t newWidth;
  int32_t newHeight;
};

std::vector<SizeChange> SizeChanges() {
  std::vector<SizeChange> changes{{2000, 3, 1920, 2}, {640, 2, 1920, 3}};
  for (int32_t w = 1; w <= 9; ++w) {
    for (int32_t h = 1; h <= 9; ++h) {
      for (int32_t nw = 1; nw <= 9; ++nw) {
        for (int32_t nh = 1; nh <= 9; ++nh) {
          changes.push_back({w, h, nw, nh});
        }
      }
    }
  }
  return changes;
}

// Channel c holds levels[(c + shift) % 3], so that each channel sees 0,
// 128 and 255 once over the three shifts.
std::vector<uint8_t> FlatLevels(int32_t channels, int32_t shift) {
  constexpr uint8_t kLevels[] = {0, 128, 255};
  std::vector<uint8_t> values;
  for (int32_t c = 0; c < channels; ++c) {
    values.push_back(kLevels[(c + shift) % 3]);
  }
  return values;
}

template <typename Pixmap>
void ExpectFlatFieldsStayFlat() {
  for (const SizeChange& change : SizeChanges()) {
    for (int32_t shift = 0; shift < 3; ++shift) {
      Pixmap pixmap;
      AllocateFilled(pixmap, change.width, change.height);
      const std::vector<uint8_t> levels = FlatLevels(pixmap.GetChannelCount(0), shift);
      Paint(pixmap, [&](int32_t, int32_t, int32_t c) { return levels[static_cast<size_t>(c)]; });
      Pixmap destination;
      AllocateFilled(destination, change.newWidth, change.newHeight);
      ASSERT_EQ(XpPixmapResizeInto(destination, pixmap), kXpOk);
      ASSERT_EQ(XpPixmapResize(pixmap, change.newWidth, change.newHeight), kXpOk);
      ASSERT_TRUE(IsFlat(destination, levels) && IsFlat(pixmap, levels))
          << change.width << " x " << change.height << " to " << change.newWidth << " x "
          << change.newHeight << ", shift " << shift;
    }
  }
}

TEST(XpPixmapResize, FlatFieldsStayFlat) {
  ExpectFlatFieldsStayFlat<XpPixmapBGR24NoHandle>();
  ExpectFlatFieldsStayFlat<XpPixmapBGRA32>();
}

TEST(XpPixmapResize, FailedAllocationKeepsThePixmap) {
  const auto resize = [](XpPixmapBase& pixmap, int32_t width, int32_t height) {
    return XpPixmapResize(pixmap, width, height);
  };
  const SizeChange changes[] = {
      {8, 6, 4, 3},  // box
      {7, 5, 7, 2},  // one pass
      {7, 5, 3, 9},  // two passes
  };
  for (const SizeChange& c : changes) {
    resampletest::ExpectAllocationFailuresKeepThePixmap<XpPixmapBGR24NoHandle>(
        c.width, c.height, c.newWidth, c.newHeight, resize);
    resampletest::ExpectAllocationFailuresKeepThePixmap<XpPixmapBGR24>(
        c.width, c.height, c.newWidth, c.newHeight, resize);
    resampletest::ExpectAllocationFailuresKeepThePixmap<XpPixmapBGRA32>(
        c.width, c.height, c.newWidth, c.newHeight, resize);
  }

  XpPixmapBGR24NoHandle source;
  AllocateFilled(source, 7, 5);
  XpPixmapBGR24NoHandle destination;
  AllocateFilled(destination, 3, 9);
  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(XpPixmapResizeInto(destination, source), kXpErrOutOfMemory);
}

}  // namespace
