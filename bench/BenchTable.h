#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchMeasure.h"

// The table k2bench prints: one row per case and contender, times in
// milliseconds per unit, and the project's median divided by each
// contender's (below 1: the project is faster).
class BenchTable {
 public:
  struct Row {
    std::string caseTitle;
    std::string contender;
    std::string unit;
    BenchSummary summary;
    double ratio = 0;
  };

  void Add(Row row) { rows_.push_back(std::move(row)); }
  void Print(std::ostream& out) const;
  // The peak memory of the first contender of the case titled so (the
  // project's); -1 without such a row.
  int64_t PeakKbOf(const std::string& caseTitle) const;

 private:
  std::vector<Row> rows_;
};
