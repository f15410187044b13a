#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One run of outside programs as a user would start them: looked up on
// PATH, standard input from a file (or /dev/null), standard output and
// error appended to a log file (or standard output to a file of its own),
// in this process's environment or in one given ("NAME=VALUE" entries).
// The processor time is the kernel's account of the reaped process and the
// children it reaped. The peak resident memory is measured by /usr/bin/time
// around the program (-1 without it): the kernel's accounting of a child
// spawned from here would count this process's own memory, which the
// child shares until it starts the program.
struct BenchToolRun {
  bool started = false;
  int exitCode = -1;
  double cpuSeconds = 0;
  int64_t peakRssKb = -1;

  bool Succeeded() const { return started && exitCode == 0; }
};

class BenchTool {
 public:
  // log: the file that receives the programs' output; the peak memory is
  // read back from files named log + ".rss".
  explicit BenchTool(std::string log) : log_(std::move(log)) {}

  BenchToolRun Run(const std::vector<std::string>& arguments,
                   const std::string& input = "/dev/null") const;
  BenchToolRun RunIn(const std::vector<std::string>& environment,
                     const std::vector<std::string>& arguments) const;
  // first | second > output, as a shell runs a pipe: both at once. The
  // run succeeded when both did; its time is both programs', its peak the
  // larger one.
  BenchToolRun RunPipe(const std::vector<std::string>& first,
                       const std::vector<std::string>& second, const std::string& output) const;

  // Whether program is an executable file on PATH.
  static bool IsOnPath(const std::string& program);

 private:
  // Where a program's standard input comes from and its output goes.
  struct Wiring {
    std::string input = "/dev/null";
    int inputDescriptor = -1;
    int outputDescriptor = -1;
    std::string output;
  };

  // The started program's process id, or -1.
  pid_t Start(const std::vector<std::string>& arguments, const Wiring& wiring,
              char* const* environment, const std::string& peakFile) const;
  static BenchToolRun Finish(pid_t child, const std::string& peakFile);

  // The program's arguments behind /usr/bin/time when it is there.
  static std::vector<std::string> Measured(const std::vector<std::string>& arguments,
                                           const std::string& peakFile);
  static int64_t ReadPeakKb(const std::string& peakFile);

  std::string log_;
};
