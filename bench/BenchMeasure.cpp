#include "bench/BenchMeasure.h"

#include <algorithm>

BenchSpread BenchSpread::Of(std::vector<double> values) {
  BenchSpread spread;
  if (values.empty()) {
    return spread;
  }
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  spread.median =
      values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  spread.min = values.front();
  spread.max = values.back();
  return spread;
}

BenchSummary BenchSummary::Of(const std::vector<BenchSample>& samples) {
  BenchSummary summary;
  std::vector<double> seconds;
  std::vector<double> cpuSeconds;
  std::vector<double> cores;
  for (const BenchSample& sample : samples) {
    seconds.push_back(sample.seconds);
    cpuSeconds.push_back(sample.cpuSeconds);
    cores.push_back(sample.Cores());
    summary.peakRssKb = std::max(summary.peakRssKb, sample.peakRssKb);
  }
  summary.seconds = BenchSpread::Of(seconds);
  summary.cpuSeconds = BenchSpread::Of(cpuSeconds);
  summary.cores = BenchSpread::Of(cores).median;
  return summary;
}
