#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchMeasure.h"

// One side of a comparison: its name and one timed run of its work. A run
// returns false, with the reason in error, when the work failed.
struct BenchContender {
  std::string name;
  std::function<bool(BenchSample& sample, std::string& error)> run;
};

// What a case must show. A ratio goal divides, round by round, one
// contender's wall (or processor) time by another's; a memory goal takes a
// contender's peak resident memory. The goal is met when the median is at
// most limit; a limit of 0 shows the figure without a goal.
struct BenchGoal {
  enum class Measure { kWallTime, kCpuTime, kPeakMemory };

  std::string text;
  Measure measure = Measure::kWallTime;
  size_t numerator = 0;
  size_t denominator = 0;
  double limit = 0;
};

// A benchmark case: contenders doing the same work, the project's first.
// verify checks the output the project's run just left; false with the
// fault. Times are shown divided by perCount (per picture, say), named
// unit. rounds, when above 0, replaces the runner's count of rounds.
struct BenchCase {
  std::string title;
  std::string unit;
  int32_t perCount = 1;
  int32_t rounds = 0;
  std::vector<BenchContender> contenders;
  std::vector<BenchGoal> goals;
  std::function<bool(std::string& fault)> verify;
};
