#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchCase.h"
#include "bench/BenchMeasure.h"

// The tables k2bench prints: one row per case and contender (times in
// milliseconds per unit, the cores it kept busy, its peak memory), then one
// row per goal (the median of its per-round values with their smallest and
// largest, the limit, met or missed).
class BenchTable {
 public:
  struct ContenderRow {
    std::string caseTitle;
    std::string unit;
    std::string contender;
    int32_t perCount = 1;
    BenchSummary summary;
  };
  struct GoalRow {
    std::string caseTitle;
    BenchGoal goal;
    BenchSpread value;

    bool HasLimit() const { return goal.limit > 0; }
    bool Met() const { return value.median <= goal.limit; }
  };

  void Add(ContenderRow row) { contenders_.push_back(std::move(row)); }
  void Add(GoalRow row) { goals_.push_back(std::move(row)); }
  void Print(std::ostream& out) const;
  // The goals with a limit that the medians missed.
  int32_t MissedCount() const;

 private:
  void PrintContenders(std::ostream& out) const;
  void PrintGoals(std::ostream& out) const;

  std::vector<ContenderRow> contenders_;
  std::vector<GoalRow> goals_;
};
