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

std::string Milliseconds(double seconds, int32_t perCount) {
  return Format("%.1f", seconds * kMillisecondsPerSecond / (perCount > 0 ? perCount : 1));
}

// A goal's figure: a ratio, or megabytes for a memory goal.
std::string Figure(const BenchGoal& goal, double value) {
  return goal.measure == BenchGoal::Measure::kPeakMemory ? Format("%.0f MB", value)
                                                         : Format("%.2f", value);
}

}  // namespace

void BenchTable::PrintContenders(std::ostream& out) const {
  char line[512];
  std::snprintf(line, sizeof line, "  %-40s %10s %10s %10s %10s %6s %10s\n", "contender",
                "median ms", "min ms", "max ms", "CPU ms", "cores", "peak RSS");
  out << line;
  std::string lastCase;
  for (const ContenderRow& row : contenders_) {
    if (row.caseTitle != lastCase) {
      out << row.caseTitle << " (" << row.unit << ")\n";
      lastCase = row.caseTitle;
    }
    const BenchSummary& summary = row.summary;
    std::snprintf(line, sizeof line, "  %-40s %10s %10s %10s %10s %6s %10s\n",
                  row.contender.c_str(), Milliseconds(summary.seconds.median, row.perCount).c_str(),
                  Milliseconds(summary.seconds.min, row.perCount).c_str(),
                  Milliseconds(summary.seconds.max, row.perCount).c_str(),
                  Milliseconds(summary.cpuSeconds.median, row.perCount).c_str(),
                  Format("%.2f", summary.cores).c_str(), Memory(summary.peakRssKb).c_str());
    out << line;
  }
}

void BenchTable::PrintGoals(std::ostream& out) const {
  char line[512];
  std::snprintf(line, sizeof line, "  %-40s %8s %20s %10s %s\n", "goal", "median", "[min, max]",
                "limit", "");
  out << line;
  std::string lastCase;
  for (const GoalRow& row : goals_) {
    if (row.caseTitle != lastCase) {
      out << row.caseTitle << "\n";
      lastCase = row.caseTitle;
    }
    const std::string spread =
        "[" + Figure(row.goal, row.value.min) + ", " + Figure(row.goal, row.value.max) + "]";
    const std::string limit = row.HasLimit() ? "<= " + Figure(row.goal, row.goal.limit) : "-";
    const char* verdict = !row.HasLimit() ? "" : row.Met() ? "met" : "missed";
    std::snprintf(line, sizeof line, "  %-40s %8s %20s %10s %s\n", row.goal.text.c_str(),
                  Figure(row.goal, row.value.median).c_str(), spread.c_str(), limit.c_str(),
                  verdict);
    out << line;
  }
}

void BenchTable::Print(std::ostream& out) const {
  PrintContenders(out);
  out << "\n";
  PrintGoals(out);
}

int32_t BenchTable::MissedCount() const {
  int32_t missed = 0;
  for (const GoalRow& row : goals_) {
    if (row.HasLimit() && !row.Met()) {
      ++missed;
    }
  }
  return missed;
}
