#include "bench/BenchTool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/fs/XpRestarted.h"

extern char** environ;

namespace {

constexpr mode_t kLogMode = 0644;
constexpr const char* kTimeProgram = "/usr/bin/time";
constexpr double kMicrosecondsPerSecond = 1e6;
constexpr const char* kPeakSuffix = ".rss";
constexpr const char* kSecondPeakSuffix = ".rss2";

// Owns the spawn attributes' file actions for one run.
class FileActions {
 public:
  FileActions() { valid_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~FileActions() {
    if (valid_) {
      posix_spawn_file_actions_destroy(&actions_);
    }
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  bool Input(const std::string& path, int descriptor) {
    if (descriptor >= 0) {
      return valid_ && posix_spawn_file_actions_adddup2(&actions_, descriptor, STDIN_FILENO) == 0;
    }
    return valid_ && posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, path.c_str(),
                                                      O_RDONLY, 0) == 0;
  }
  // Standard error always goes to the log; standard output to the
  // descriptor, the file or the log.
  bool Output(const std::string& log, int descriptor, const std::string& path) {
    if (!valid_ || posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, log.c_str(),
                                                    O_WRONLY | O_CREAT | O_APPEND, kLogMode) != 0) {
      return false;
    }
    if (descriptor >= 0) {
      return posix_spawn_file_actions_adddup2(&actions_, descriptor, STDOUT_FILENO) == 0;
    }
    if (!path.empty()) {
      return posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, path.c_str(),
                                              O_WRONLY | O_CREAT | O_TRUNC, kLogMode) == 0;
    }
    return posix_spawn_file_actions_adddup2(&actions_, STDERR_FILENO, STDOUT_FILENO) == 0;
  }
  const posix_spawn_file_actions_t* Get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool valid_ = false;
};

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) {
    pointers.push_back(const_cast<char*>(text.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) +
         static_cast<double>(time.tv_usec) / kMicrosecondsPerSecond;
}

}  // namespace

BenchToolRun BenchTool::Run(const std::vector<std::string>& arguments,
                            const std::string& input) const {
  Wiring wiring;
  wiring.input = input;
  const std::string peakFile = log_ + kPeakSuffix;
  return Finish(Start(arguments, wiring, environ, peakFile), peakFile);
}

BenchToolRun BenchTool::RunIn(const std::vector<std::string>& environment,
                              const std::vector<std::string>& arguments) const {
  std::vector<char*> pointers = Pointers(environment);
  const std::string peakFile = log_ + kPeakSuffix;
  return Finish(Start(arguments, Wiring(), pointers.data(), peakFile), peakFile);
}

BenchToolRun BenchTool::RunPipe(const std::vector<std::string>& first,
                                const std::vector<std::string>& second,
                                const std::string& output) const {
  int ends[2] = {-1, -1};
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return BenchToolRun();
  }
  Wiring writer;
  writer.outputDescriptor = ends[1];
  Wiring reader;
  reader.inputDescriptor = ends[0];
  reader.output = output;
  const std::string firstPeak = log_ + kPeakSuffix;
  const std::string secondPeak = log_ + kSecondPeakSuffix;
  const pid_t firstChild = Start(first, writer, environ, firstPeak);
  const pid_t secondChild = Start(second, reader, environ, secondPeak);
  close(ends[0]);
  close(ends[1]);
  const BenchToolRun firstRun = Finish(firstChild, firstPeak);
  BenchToolRun run = Finish(secondChild, secondPeak);
  run.started = run.started && firstRun.started;
  run.exitCode = firstRun.Succeeded() ? run.exitCode : firstRun.exitCode;
  run.cpuSeconds += firstRun.cpuSeconds;
  run.peakRssKb = std::max(run.peakRssKb, firstRun.peakRssKb);
  return run;
}

pid_t BenchTool::Start(const std::vector<std::string>& arguments, const Wiring& wiring,
                       char* const* environment, const std::string& peakFile) const {
  if (arguments.empty()) {
    return -1;
  }
  const std::vector<std::string> measured = Measured(arguments, peakFile);
  std::vector<char*> argv = Pointers(measured);
  FileActions actions;
  if (!actions.Input(wiring.input, wiring.inputDescriptor) ||
      !actions.Output(log_, wiring.outputDescriptor, wiring.output)) {
    return -1;
  }
  pid_t child = -1;
  if (posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environment) != 0) {
    return -1;
  }
  return child;
}

BenchToolRun BenchTool::Finish(pid_t child, const std::string& peakFile) {
  BenchToolRun run;
  if (child < 0) {
    return run;
  }
  run.started = true;
  int status = 0;
  rusage usage{};
  const pid_t reaped = XpRestarted([&] { return wait4(child, &status, 0, &usage); });
  if (reaped == child && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
    run.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peakRssKb = ReadPeakKb(peakFile);
  }
  return run;
}

std::vector<std::string> BenchTool::Measured(const std::vector<std::string>& arguments,
                                             const std::string& peakFile) {
  std::remove(peakFile.c_str());
  if (access(kTimeProgram, X_OK) != 0) {
    return arguments;
  }
  std::vector<std::string> measured = {kTimeProgram, "-f", "%M", "-o", peakFile};
  measured.insert(measured.end(), arguments.begin(), arguments.end());
  return measured;
}

int64_t BenchTool::ReadPeakKb(const std::string& peakFile) {
  std::ifstream in(peakFile);
  int64_t kb = -1;
  in >> kb;
  return in ? kb : -1;
}

bool BenchTool::IsOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}
