#include "bench/BenchMeasure.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Written to clear_refs, lowers VmHWM to the present RSS.
constexpr const char* kResetPeakCommand = "5";
constexpr const char* kPeakField = "VmHWM:";

}  // namespace

BenchSummary BenchSummary::Of(const std::vector<BenchSample>& samples) {
  BenchSummary summary;
  if (samples.empty()) {
    return summary;
  }
  std::vector<double> seconds;
  for (const BenchSample& sample : samples) {
    seconds.push_back(sample.seconds);
    summary.peakRssKb = std::max(summary.peakRssKb, sample.peakRssKb);
  }
  std::sort(seconds.begin(), seconds.end());
  const size_t middle = seconds.size() / 2;
  summary.medianSeconds = seconds.size() % 2 == 1 ? seconds[middle]
                                                  : (seconds[middle - 1] + seconds[middle]) / 2;
  summary.minSeconds = seconds.front();
  return summary;
}

bool BenchPeakRss::Reset() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << kResetPeakCommand;
  clear.flush();
  return static_cast<bool>(clear);
}

int64_t BenchPeakRss::CurrentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(kPeakField, 0) != 0) {
      continue;
    }
    std::istringstream fields(line.substr(std::string(kPeakField).size()));
    int64_t kb = -1;
    fields >> kb;
    return fields ? kb : -1;
  }
  return -1;
}
