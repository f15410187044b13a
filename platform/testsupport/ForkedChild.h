#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>

namespace testsupport {

// The child's side of a ForkedChild: it says when it is ready and may wait
// until the parent lets it go on.
class ChildChannel {
 public:
  ChildChannel(int readyFd, int goFd) : readyFd_(readyFd), goFd_(goFd) {}
  void SignalReady();
  // Blocks until the parent calls ForkedChild::LetGo (or goes away).
  void WaitForGo();

 private:
  int readyFd_;
  int goFd_;
};

// Runs a function in a forked child process, for tests of objects shared
// between processes. The child reports "ready" through a pipe; the parent
// waits for that, may let the child go on, and collects its exit code.
class ForkedChild {
 public:
  using Body = std::function<int(ChildChannel&)>;

  ForkedChild() = default;
  ForkedChild(const ForkedChild&) = delete;
  ForkedChild& operator=(const ForkedChild&) = delete;
  ~ForkedChild();

  // Forks and runs body in the child; the child exits with its result.
  bool Start(const Body& body);
  // True when the child said ready before the timeout.
  bool WaitReady(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void LetGo();
  // The child's exit code, or -1 when it did not exit normally.
  int Wait();
  void Kill();
  pid_t Pid() const { return pid_; }

 private:
  void CloseFds();

  pid_t pid_ = -1;
  int readyFd_ = -1;
  int goFd_ = -1;
};

}  // namespace testsupport
