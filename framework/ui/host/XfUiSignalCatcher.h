#pragma once

#include <csignal>
#include <cstdint>
#include <functional>

class XpThread;

// Catches SIGINT, SIGTERM and SIGHUP while it lives. The signal handler
// only writes the signal's number into a pipe; a watcher thread reads it
// and calls the handler given here, on the watcher thread. One catcher is
// active at a time; the previous dispositions come back when it goes.
class XfUiSignalCatcher {
 public:
  using Handler = std::function<void(int signal)>;

  explicit XfUiSignalCatcher(Handler handler);
  XfUiSignalCatcher(const XfUiSignalCatcher&) = delete;
  XfUiSignalCatcher& operator=(const XfUiSignalCatcher&) = delete;
  ~XfUiSignalCatcher();

  // False when another catcher was active or the pipe could not be made.
  bool IsActive() const { return active_; }

 private:
  static uint32_t WatchThread(void* argument);
  void Watch();

  Handler handler_;
  bool active_ = false;
  int readFd_ = -1;
  int writeFd_ = -1;
  XpThread* watcher_ = nullptr;
  struct sigaction previous_[3] = {};
};
