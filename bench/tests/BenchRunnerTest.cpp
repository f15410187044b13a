#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchRunner.h"
#include "bench/BenchTable.h"

namespace {

// A contender whose runs give the scripted wall and processor seconds in
// turn and log its name.
BenchContender Scripted(const std::string& name, std::vector<double> seconds,
                        std::vector<std::string>& calls) {
  return {name, [name, seconds, &calls, next = size_t{0}](BenchSample& sample,
                                                          std::string&) mutable {
            calls.push_back(name);
            sample.seconds = seconds[next % seconds.size()];
            sample.cpuSeconds = sample.seconds / 2;
            sample.peakRssKb = static_cast<int64_t>(sample.seconds * 1024);
            ++next;
            return true;
          }};
}

// The project's first run is checked before any other contender runs, and
// the rounds interleave the contenders.
TEST(BenchRunner, ChecksFirstThenInterleavesTheRounds) {
  std::vector<std::string> calls;
  std::vector<std::string> seenAtCheck;
  BenchCase benchCase;
  benchCase.title = "case";
  benchCase.contenders = {Scripted("A", {1}, calls), Scripted("B", {1}, calls)};
  benchCase.verify = [&](std::string&) {
    seenAtCheck = calls;
    return true;
  };
  std::ostringstream log;
  BenchRunner runner(2, false, log);
  BenchTable table;
  std::string error;
  ASSERT_TRUE(runner.Run(benchCase, table, error)) << error;
  EXPECT_EQ(seenAtCheck, std::vector<std::string>({"A"}));
  EXPECT_EQ(calls, std::vector<std::string>({"A", "B", "A", "B", "A", "B"}));
}

// Ratios are taken round by round: a slow round of both sides does not
// move the ratio, as a ratio of medians would.
TEST(BenchRunner, GoalsArePerRoundRatiosWithTheirSpread) {
  const std::vector<std::vector<BenchSample>> samples = {
      {{2, 1, 100}, {8, 4, 300}, {3, 2, 200}},
      {{1, 1, -1}, {4, 1, -1}, {1, 1, -1}},
  };
  struct GoalCase {
    const char* name;
    BenchGoal goal;
    std::vector<double> expected;
  };
  const GoalCase cases[] = {
      {"wall", {"w", BenchGoal::Measure::kWallTime, 0, 1, 1.5}, {2, 2, 3}},
      {"cpu", {"c", BenchGoal::Measure::kCpuTime, 0, 1, 1.5}, {1, 4, 2}},
      {"memory", {"m", BenchGoal::Measure::kPeakMemory, 0, 0, 1}, {100.0 / 1024, 300.0 / 1024,
                                                                   200.0 / 1024}},
      {"no such contender", {"x", BenchGoal::Measure::kWallTime, 0, 5, 1}, {}},
  };
  for (const GoalCase& c : cases) {
    const std::vector<double> values = BenchRunner::GoalValues(c.goal, samples);
    ASSERT_EQ(values.size(), c.expected.size()) << c.name;
    for (size_t index = 0; index < values.size(); ++index) {
      EXPECT_DOUBLE_EQ(values[index], c.expected[index]) << c.name << " round " << index;
    }
  }
  const BenchSpread spread = BenchSpread::Of({3, 2, 2});
  EXPECT_DOUBLE_EQ(spread.median, 2);
  EXPECT_DOUBLE_EQ(spread.min, 2);
  EXPECT_DOUBLE_EQ(spread.max, 3);
  EXPECT_DOUBLE_EQ(BenchSpread::Of({4, 1, 2, 3}).median, 2.5);
}

// The table calls each limited goal met or missed by its median, and
// counts the misses; a goal without a limit is shown, never missed.
TEST(BenchRunner, TableJudgesGoalsByTheirMedians) {
  std::vector<std::string> calls;
  BenchCase benchCase;
  benchCase.title = "judged";
  benchCase.contenders = {Scripted("project", {2, 3, 2}, calls),
                          Scripted("peer", {1, 1, 1}, calls)};
  benchCase.goals = {{"met", BenchGoal::Measure::kWallTime, 0, 1, 2.5},
                     {"missed", BenchGoal::Measure::kWallTime, 0, 1, 1.5},
                     {"shown", BenchGoal::Measure::kWallTime, 0, 1, 0}};
  std::ostringstream log;
  BenchRunner runner(3, false, log);
  BenchTable table;
  std::string error;
  ASSERT_TRUE(runner.Run(benchCase, table, error)) << error;
  EXPECT_EQ(table.MissedCount(), 1);
  std::ostringstream printed;
  table.Print(printed);
  const std::string text = printed.str();
  // Warm-up run 2, rounds 3, 2, 2 over 1: median 2, min 2, max 3.
  EXPECT_NE(text.find("[2.00, 3.00]"), std::string::npos) << text;
  EXPECT_NE(text.find("<= 2.50 met"), std::string::npos) << text;
  EXPECT_NE(text.find("<= 1.50 missed"), std::string::npos) << text;
  EXPECT_NE(text.find("cores"), std::string::npos) << text;
}

}  // namespace
