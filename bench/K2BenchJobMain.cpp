// k2benchjob: one piece of the project's work as a process of its own, for
// k2bench to time (see bench/BenchJob.h).

#include <iostream>
#include <string>
#include <vector>

#include "bench/BenchJob.h"
#include "platform/process/XpStandardOutput.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  BenchJob job(std::cout, std::cerr);
  return XpFinishStandardOutput("k2benchjob", job.Run(arguments));
}
