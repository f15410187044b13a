#include "bench/BenchRunner.h"

namespace {

constexpr double kKbPerMb = 1024.0;

double Measured(const BenchSample& sample, BenchGoal::Measure measure) {
  switch (measure) {
    case BenchGoal::Measure::kCpuTime:
      return sample.cpuSeconds;
    case BenchGoal::Measure::kPeakMemory:
      return static_cast<double>(sample.peakRssKb) / kKbPerMb;
    case BenchGoal::Measure::kWallTime:
      break;
  }
  return sample.seconds;
}

}  // namespace

bool BenchRunner::RunOnce(const BenchContender& contender, BenchSample& sample,
                          std::string& error) const {
  if (contender.run(sample, error)) {
    return true;
  }
  error = contender.name + ": " + error;
  return false;
}

std::vector<double> BenchRunner::GoalValues(const BenchGoal& goal,
                                            const std::vector<std::vector<BenchSample>>& samples) {
  std::vector<double> values;
  if (goal.numerator >= samples.size()) {
    return values;
  }
  const std::vector<BenchSample>& top = samples[goal.numerator];
  for (size_t round = 0; round < top.size(); ++round) {
    const double value = Measured(top[round], goal.measure);
    if (goal.measure == BenchGoal::Measure::kPeakMemory) {
      values.push_back(value);
      continue;
    }
    if (goal.denominator >= samples.size() || round >= samples[goal.denominator].size()) {
      return {};
    }
    const double below = Measured(samples[goal.denominator][round], goal.measure);
    values.push_back(below > 0 ? value / below : 0);
  }
  return values;
}

bool BenchRunner::Run(const BenchCase& benchCase, BenchTable& table, std::string& error) {
  log_ << "k2bench: " << benchCase.title << "\n";
  // The project's output is checked from a run of its own, before any
  // other contender has run.
  BenchSample warmUp;
  if (!RunOnce(benchCase.contenders.front(), warmUp, error)) {
    return false;
  }
  std::string fault;
  if (benchCase.verify && !benchCase.verify(fault)) {
    error = "output check: " + fault;
    return false;
  }
  log_ << "k2bench: " << benchCase.title << ": output verified\n";
  if (verifyOnly_) {
    return true;
  }
  const size_t contenderCount = benchCase.contenders.size();
  for (size_t index = 1; index < contenderCount; ++index) {
    if (!RunOnce(benchCase.contenders[index], warmUp, error)) {
      return false;
    }
  }
  const int32_t rounds = benchCase.rounds > 0 ? benchCase.rounds : rounds_;
  std::vector<std::vector<BenchSample>> samples(contenderCount);
  for (int32_t round = 0; round < rounds; ++round) {
    for (size_t index = 0; index < contenderCount; ++index) {
      BenchSample sample;
      if (!RunOnce(benchCase.contenders[index], sample, error)) {
        return false;
      }
      samples[index].push_back(sample);
    }
  }
  for (size_t index = 0; index < contenderCount; ++index) {
    table.Add(BenchTable::ContenderRow{benchCase.title, benchCase.unit,
                                       benchCase.contenders[index].name, benchCase.perCount,
                                       BenchSummary::Of(samples[index])});
  }
  for (const BenchGoal& goal : benchCase.goals) {
    table.Add(BenchTable::GoalRow{benchCase.title, goal,
                                  BenchSpread::Of(GoalValues(goal, samples))});
  }
  return true;
}
