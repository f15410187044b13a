#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchCase.h"
#include "bench/BenchTable.h"

// Runs cases: one run of the project's contender whose output is checked,
// one warm-up run of every other contender, then the timed rounds, every
// contender taking its turn in each round (A B A B ...), so that a change
// of the machine's load falls on all of them alike.
class BenchRunner {
 public:
  BenchRunner(int32_t rounds, bool verifyOnly, std::ostream& log)
      : rounds_(rounds), verifyOnly_(verifyOnly), log_(log) {}

  // False, with the reason in error, when a contender failed or the output
  // is wrong. With verifyOnly only the project's contender runs, once.
  bool Run(const BenchCase& benchCase, BenchTable& table, std::string& error);

  // A goal's values, one per round, from the contenders' samples.
  static std::vector<double> GoalValues(const BenchGoal& goal,
                                        const std::vector<std::vector<BenchSample>>& samples);

 private:
  bool RunOnce(const BenchContender& contender, BenchSample& sample, std::string& error) const;

  int32_t rounds_;
  bool verifyOnly_;
  std::ostream& log_;
};
