#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// One timed run of a contender: wall seconds of the work, the processor
// time its processes used (user and system, from the kernel's accounting
// of the reaped children) and the peak resident memory it reached in kB
// (-1 when it could not be read).
struct BenchSample {
  double seconds = 0;
  double cpuSeconds = 0;
  int64_t peakRssKb = -1;

  // The cores the run kept busy on average: processor time over wall time.
  double Cores() const { return seconds > 0 ? cpuSeconds / seconds : 0; }
};

// The median, smallest and largest of some values.
struct BenchSpread {
  double median = 0;
  double min = 0;
  double max = 0;

  static BenchSpread Of(std::vector<double> values);
};

// The figures of a contender's timed runs.
struct BenchSummary {
  BenchSpread seconds;
  BenchSpread cpuSeconds;
  double cores = 0;
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
