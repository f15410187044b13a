#include "bench/BenchTool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

constexpr mode_t kLogMode = 0644;
constexpr const char* kTimeProgram = "/usr/bin/time";

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

  bool Wire(const std::string& input, const std::string& log) {
    return valid_ &&
           posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, input.c_str(), O_RDONLY, 0) ==
               0 &&
           posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, log.c_str(),
                                            O_WRONLY | O_CREAT | O_APPEND, kLogMode) == 0 &&
           posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO) == 0;
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

}  // namespace

BenchToolRun BenchTool::Run(const std::vector<std::string>& arguments,
                            const std::string& input) const {
  return Spawn(arguments, input, environ);
}

BenchToolRun BenchTool::RunIn(const std::vector<std::string>& environment,
                              const std::vector<std::string>& arguments) const {
  std::vector<char*> pointers = Pointers(environment);
  return Spawn(arguments, "/dev/null", pointers.data());
}

BenchToolRun BenchTool::Spawn(const std::vector<std::string>& arguments, const std::string& input,
                              char* const* environment) const {
  BenchToolRun run;
  if (arguments.empty()) {
    return run;
  }
  const std::vector<std::string> measured = Measured(arguments);
  std::vector<char*> argv = Pointers(measured);
  FileActions actions;
  if (!actions.Wire(input, log_)) {
    return run;
  }
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environment) != 0) {
    return run;
  }
  run.started = true;
  int status = 0;
  pid_t reaped = -1;
  do {
    reaped = waitpid(child, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  if (reaped == child && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
    run.peakRssKb = ReadPeakKb();
  }
  return run;
}

std::vector<std::string> BenchTool::Measured(const std::vector<std::string>& arguments) const {
  std::remove(peakFile_.c_str());
  if (access(kTimeProgram, X_OK) != 0) {
    return arguments;
  }
  std::vector<std::string> measured = {kTimeProgram, "-f", "%M", "-o", peakFile_};
  measured.insert(measured.end(), arguments.begin(), arguments.end());
  return measured;
}

int64_t BenchTool::ReadPeakKb() const {
  std::ifstream in(peakFile_);
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
