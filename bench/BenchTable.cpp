#include "bench/BenchTable.h"

#include <cstdio>

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;
constexpr int64_t kKbPerMb = 1024;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Memory(int64_t kb) {
  if (kb < 0) {
    return "n/a";
  }
  return Format("%.1f MB", static_cast<double>(kb) / kKbPerMb);
}

}  // namespace

void BenchTable::Print(std::ostream& out) const {
  char line[256];
  std::snprintf(line, sizeof line, "%-50s %-26s %12s %12s %9s %10s\n", "case", "contender",
                "median ms", "min ms", "proj/this", "peak RSS");
  out << line;
  for (const Row& row : rows_) {
    const std::string median =
        Format("%.1f", row.summary.medianSeconds * kMillisecondsPerSecond);
    const std::string minimum = Format("%.1f", row.summary.minSeconds * kMillisecondsPerSecond);
    std::snprintf(line, sizeof line, "%-50s %-26s %12s %12s %9s %10s\n",
                  (row.caseTitle + " (" + row.unit + ")").c_str(), row.contender.c_str(),
                  median.c_str(), minimum.c_str(), Format("%.2f", row.ratio).c_str(),
                  Memory(row.summary.peakRssKb).c_str());
    out << line;
  }
}

int64_t BenchTable::PeakKbOf(const std::string& caseTitle) const {
  for (const Row& row : rows_) {
    if (row.caseTitle == caseTitle) {
      return row.summary.peakRssKb;
    }
  }
  return -1;
}
