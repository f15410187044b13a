#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// What a new process starts with.
struct XpProcessStartInfo {
  // The file to run, used as it is (no search).
  XpString path;
  // The argument vector, the program's own name first.
  XpStringVector arguments;
  // Empty: the caller's working folder.
  XpString workingFolder;
  // Descriptors that become the child's standard input and output; -1 keeps
  // the caller's. Standard error is the caller's unless discardErrors; no
  // other descriptor is inherited. With an input descriptor this process ignores SIGPIPE from
  // then on, so that writing to a child that has gone fails with EPIPE.
  int inputFd = -1;
  int outputFd = -1;
  // True: the child's standard error goes to /dev/null.
  bool discardErrors = false;
};

// A started child process. Destroying it without a finished wait hands the
// child to a reaper, so no child is ever left a zombie. One thread at a time.
class XpProcess {
 public:
  // The exit code reported while the process still runs.
  static constexpr uint32_t kStillActive = 259;

  // Starts the program: kXpErrGeneric when it cannot start.
  [[nodiscard]] static XpResult Start(const XpProcessStartInfo& info,
                                      std::unique_ptr<XpProcess>* process);

  XpProcess(const XpProcess&) = delete;
  XpProcess& operator=(const XpProcess&) = delete;
  ~XpProcess();

  pid_t GetPid() const { return pid_; }

  // Waits without limit for the process to end.
  [[nodiscard]] XpResult Wait();
  // True once the process has ended; never blocks.
  bool HasEnded();
  // The exit status, or 128 + the signal that ended the process;
  // kStillActive while it runs.
  uint32_t GetExitCode() const { return exitCode_; }

 private:
  explicit XpProcess(pid_t pid) : pid_(pid) {}
  void Record(int status);

  pid_t pid_;
  bool reaped_ = false;
  uint32_t exitCode_ = kStillActive;
};
