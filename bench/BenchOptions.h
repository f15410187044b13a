#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process/XpToolArguments.h"

// The command line of k2bench.
//
//   k2bench --work FOLDER [--quick] [--verify-only] [--runs N] [--case N]...
//
// --work is an empty folder the inputs and outputs go to; --quick takes
// fewer and smaller pictures; --verify-only runs the project's side of each
// case once, checks its output and times nothing (no outside tool is run);
// --runs sets the timed rounds (at least 1), every contender running once
// in each round; --case runs only the cases named by their numbers (all
// without it). "-name" is taken for "--name".
struct BenchOptions {
  static constexpr int32_t kDefaultRuns = 7;
  static constexpr int32_t kQuickRuns = 3;

  std::string workFolder;
  bool quick = false;
  bool verifyOnly = false;
  int32_t runs = kDefaultRuns;
  std::vector<int32_t> cases;

  // Whether the options ask for case number.
  bool Wants(int32_t number) const;

  // The parser of the command line, for its usage and answer.
  static XpToolArguments Arguments();
  // Reads arguments into options; kHelp or kBadUsage (with parsed's Line)
  // when there is nothing to run.
  [[nodiscard]] static XpToolArguments::Outcome Read(const std::vector<std::string>& arguments,
                                                     BenchOptions& options,
                                                     XpToolArguments& parsed);
  // False, with the reason in error, when the arguments are not usable.
  static bool Parse(const std::vector<std::string>& arguments, BenchOptions& options,
                    std::string& error);
};
