#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One run of an outside program as a user would start it: looked up on
// PATH, standard input from a file (or /dev/null), standard output and
// error appended to a log file, in this process's environment or in one
// given ("NAME=VALUE" entries). The run's peak resident memory is measured
// by /usr/bin/time around the program (-1 without it): the kernel's
// accounting of a child spawned from here would count this process's own
// memory, which the child shares until it starts the program.
struct BenchToolRun {
  bool started = false;
  int exitCode = -1;
  int64_t peakRssKb = -1;

  bool Succeeded() const { return started && exitCode == 0; }
};

class BenchTool {
 public:
  // log: the file that receives the program's output; the peak memory is
  // read back from log + ".rss".
  explicit BenchTool(std::string log) : log_(std::move(log)), peakFile_(log_ + ".rss") {}

  BenchToolRun Run(const std::vector<std::string>& arguments,
                   const std::string& input = "/dev/null") const;
  BenchToolRun RunIn(const std::vector<std::string>& environment,
                     const std::vector<std::string>& arguments) const;

  // Whether program is an executable file on PATH.
  static bool IsOnPath(const std::string& program);

 private:
  BenchToolRun Spawn(const std::vector<std::string>& arguments, const std::string& input,
                     char* const* environment) const;

  // The program's arguments behind /usr/bin/time when it is there.
  std::vector<std::string> Measured(const std::vector<std::string>& arguments) const;
  int64_t ReadPeakKb() const;

  std::string log_;
  std::string peakFile_;
};
