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

// A benchmark case: contenders doing the same work, the project's first.
// verify checks the output the last runs left; false with the fault.
// Times are shown divided by perCount (per picture, say), named unit.
struct BenchCase {
  std::string title;
  std::string unit;
  int32_t perCount = 1;
  std::vector<BenchContender> contenders;
  std::function<bool(std::string& fault)> verify;
};
