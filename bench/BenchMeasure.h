#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// One timed run of a contender: wall seconds of the work and the peak
// resident memory it reached in kB (-1 when it could not be read).
struct BenchSample {
  double seconds = 0;
  int64_t peakRssKb = -1;
};

// The figures of a contender's timed runs.
struct BenchSummary {
  double medianSeconds = 0;
  double minSeconds = 0;
  int64_t peakRssKb = -1;

  static BenchSummary Of(const std::vector<BenchSample>& samples);
};

class BenchStopwatch {
 public:
  BenchStopwatch() : start_(std::chrono::steady_clock::now()) {}
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// The peak resident memory of this process (VmHWM), which the kernel lets
// a process lower to its present size, so that work done in this process
// can be measured on its own.
class BenchPeakRss {
 public:
  // Lowers the peak to the present resident size; false when the kernel
  // refused.
  static bool Reset();
  // VmHWM of /proc/self/status in kB; -1 when it cannot be read.
  static int64_t CurrentKb();
};
