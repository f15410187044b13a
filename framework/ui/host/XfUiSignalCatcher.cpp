#include "framework/ui/host/XfUiSignalCatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr unsigned char kStopByte = 0;

std::atomic<int> gSignalWriteFd{-1};

// Runs in the signal handler: only the async-signal-safe write itself, not
// the system-call seam, which may lock or allocate.
extern "C" void WriteSignalToPipe(int signal) {
  const int savedErrno = errno;
  const int fd = gSignalWriteFd.load();
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

XfUiSignalCatcher::XfUiSignalCatcher(Handler handler) : handler_(std::move(handler)) {
  int fds[2] = {-1, -1};
  if (XpSysCalls::Current().Pipe2(fds, O_CLOEXEC) != 0) {
    return;
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  fcntl(writeFd_, F_SETFL, fcntl(writeFd_, F_GETFL) | O_NONBLOCK);
  int expected = -1;
  if (!gSignalWriteFd.compare_exchange_strong(expected, writeFd_)) {
    return;
  }
  watcher_ = XpThread::Create(&XfUiSignalCatcher::WatchThread, this);
  if (watcher_ == nullptr) {
    gSignalWriteFd.store(-1);
    return;
  }
  active_ = true;
  struct sigaction action = {};
  action.sa_handler = WriteSignalToPipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kCaughtSignals); ++i) {
    sigaction(kCaughtSignals[i], &action, &previous_[i]);
  }
}

XfUiSignalCatcher::~XfUiSignalCatcher() {
  if (active_) {
    for (size_t i = 0; i < std::size(kCaughtSignals); ++i) {
      sigaction(kCaughtSignals[i], &previous_[i], nullptr);
    }
    gSignalWriteFd.store(-1);
    const unsigned char stop = kStopByte;
    // The watcher drains the pipe, so the stop byte finds room.
    (void)XpWriteAll(XpSysCalls::Current(), writeFd_, &stop, 1);
    XpThread::Join(watcher_);
  }
  if (readFd_ >= 0) {
    XpSysCalls::Current().Close(readFd_);
  }
  if (writeFd_ >= 0) {
    XpSysCalls::Current().Close(writeFd_);
  }
}

uint32_t XfUiSignalCatcher::WatchThread(void* argument) {
  static_cast<XfUiSignalCatcher*>(argument)->Watch();
  return 0;
}

void XfUiSignalCatcher::Watch() {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t got = XpSysCalls::Current().Read(readFd_, &byte, 1);
    if (got <= 0 || byte == kStopByte) {
      return;
    }
    handler_(byte);
  }
}
