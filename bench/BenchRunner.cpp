#include "bench/BenchRunner.h"

#include <vector>

bool BenchRunner::RunOnce(const BenchContender& contender, BenchSample& sample,
                          std::string& error) const {
  if (contender.run(sample, error)) {
    return true;
  }
  error = contender.name + ": " + error;
  return false;
}

bool BenchRunner::Run(const BenchCase& benchCase, BenchTable& table, std::string& error) {
  log_ << "k2bench: " << benchCase.title << "\n";
  const size_t contenderCount = verifyOnly_ ? 1 : benchCase.contenders.size();
  BenchSample warmUp;
  for (size_t index = 0; index < contenderCount; ++index) {
    if (!RunOnce(benchCase.contenders[index], warmUp, error)) {
      return false;
    }
  }
  // The project's output is checked from a run of its own, so that no
  // other contender's files can stand in for it.
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
  std::vector<std::vector<BenchSample>> samples(contenderCount);
  for (int32_t round = 0; round < runs_; ++round) {
    for (size_t index = 0; index < contenderCount; ++index) {
      BenchSample sample;
      if (!RunOnce(benchCase.contenders[index], sample, error)) {
        return false;
      }
      samples[index].push_back(sample);
    }
  }
  const double perCount = benchCase.perCount > 0 ? benchCase.perCount : 1;
  const BenchSummary project = BenchSummary::Of(samples.front());
  for (size_t index = 0; index < contenderCount; ++index) {
    BenchSummary summary = BenchSummary::Of(samples[index]);
    const double ratio =
        summary.medianSeconds > 0 ? project.medianSeconds / summary.medianSeconds : 0;
    summary.medianSeconds /= perCount;
    summary.minSeconds /= perCount;
    table.Add(BenchTable::Row{benchCase.title, benchCase.contenders[index].name, benchCase.unit,
                              summary, ratio});
  }
  return true;
}
