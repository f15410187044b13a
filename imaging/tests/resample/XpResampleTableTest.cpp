#include "imaging/resample/XpResampleTable.h"

#include <cstdint>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Position {
  int32_t target;
  int64_t start;
  std::vector<int32_t> indices;
  std::vector<int32_t> weights;
};

void ExpectPositions(int32_t sourceLength, int32_t targetLength, int32_t taps,
                     const std::vector<Position>& positions) {
  SCOPED_TRACE(testing::Message() << sourceLength << " to " << targetLength);
  XpResampleTable table;
  ASSERT_EQ(table.Build(sourceLength, targetLength), kXpOk);
  EXPECT_EQ(table.count, targetLength);
  ASSERT_EQ(table.taps, taps);
  for (const Position& p : positions) {
    SCOPED_TRACE(testing::Message() << "target " << p.target);
    EXPECT_EQ(table.Start(p.target), p.start);
    EXPECT_EQ(std::vector<int32_t>(table.Indices(p.target), table.Indices(p.target) + taps),
              p.indices);
    EXPECT_EQ(std::vector<int32_t>(table.Weights(p.target), table.Weights(p.target) + taps),
              p.weights);
  }
}

TEST(XpResampleTable, ReductionSpansThreeTargetPixelsEachSide) {
  // 12 = ceil(6 x 4 / 2) taps; positions below 0 and beyond 3 are clamped.
  const std::vector<int32_t> weights{242,   987,  -2228, -4367, 8880, 29254,
                                     29254, 8880, -4367, -2228, 987,  242};
  ExpectPositions(4, 2, 12,
                  {{0, -5, {0, 0, 0, 0, 0, 0, 1, 2, 3, 3, 3, 3}, weights},
                   {1, -3, {0, 0, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3}, weights}});
}

TEST(XpResampleTable, EnlargementTakesSixSourcePixels) {
  const std::vector<int32_t> left{484, -4456, 17761, 58509, -8734, 1973};
  const std::vector<int32_t> right{1973, -8734, 58509, 17761, -4456, 484};
  ExpectPositions(2, 4, 6,
                  {{0, -3, {0, 0, 0, 0, 1, 1}, left},
                   {1, -2, {0, 0, 0, 1, 1, 1}, right},
                   {2, -2, {0, 0, 0, 1, 1, 1}, left},
                   {3, -1, {0, 0, 1, 1, 1, 1}, right}});
}

TEST(XpResampleTable, WeightsAreRoundedOneByOne) {
  // Rounded each on its own, 5 -> 3's normalised weights sum to 65535.
  XpResampleTable table;
  ASSERT_EQ(table.Build(5, 3), kXpOk);
  ASSERT_EQ(table.taps, 10);
  for (int32_t i = 0; i < table.count; ++i) {
    EXPECT_EQ(std::accumulate(table.Weights(i), table.Weights(i) + table.taps, 0), 65535) << i;
  }
}

TEST(XpResampleTable, RefusesEmptyOrOversizedTables) {
  XpResampleTable table;
  EXPECT_EQ(table.Build(0, 3), kXpErrGeneric);
  EXPECT_EQ(table.Build(3, 0), kXpErrGeneric);
  EXPECT_EQ(table.Build(-1, 3), kXpErrGeneric);
  // 12 x 10^9 taps cannot be held.
  EXPECT_EQ(table.Build(2000000000, 1), kXpErrOutOfMemory);
  EXPECT_EQ(table.count, 0);
}

}  // namespace
