#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "bench/BenchCase.h"
#include "bench/BenchTable.h"

// Runs cases: one warm-up run of every contender, the check of the output,
// then the timed runs, the contenders taking turns in each round.
class BenchRunner {
 public:
  BenchRunner(int32_t runs, bool verifyOnly, std::ostream& log)
      : runs_(runs), verifyOnly_(verifyOnly), log_(log) {}

  // False, with the reason in error, when a contender failed or the output
  // is wrong. With verifyOnly only the project's contender runs, once.
  bool Run(const BenchCase& benchCase, BenchTable& table, std::string& error);

 private:
  bool RunOnce(const BenchContender& contender, BenchSample& sample, std::string& error) const;

  int32_t runs_;
  bool verifyOnly_;
  std::ostream& log_;
};
