#include "platform/testsupport/ForkedChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/XpRestarted.h"

namespace testsupport {
namespace {

constexpr char kReadyByte = 'R';
constexpr char kGoByte = 'G';

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

}  // namespace

void ChildChannel::SignalReady() {
  char byte = kReadyByte;
  // A lost byte shows as a time-out in the parent's WaitReady.
  (void)XpRestarted([&] { return ::write(readyFd_, &byte, 1); });
}

void ChildChannel::WaitForGo() {
  char byte = 0;
  // A parent that is gone ends the wait just as its byte would.
  (void)XpRestarted([&] { return ::read(goFd_, &byte, 1); });
}

ForkedChild::~ForkedChild() {
  if (pid_ > 0) {
    Kill();
    Wait();
  }
  CloseFds();
}

bool ForkedChild::Start(const Body& body) {
  int ready[2];
  int go[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return false;
  if (::pipe2(go, O_CLOEXEC) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return false;
  }
  pid_ = ::fork();
  if (pid_ < 0) {
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
    return false;
  }
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(go[1]);
    ChildChannel channel(ready[1], go[0]);
    ::_exit(body(channel));
  }
  ::close(ready[1]);
  ::close(go[0]);
  readyFd_ = ready[0];
  goFd_ = go[1];
  return true;
}

bool ForkedChild::WaitReady(std::chrono::milliseconds timeout) {
  if (readyFd_ < 0) return false;
  pollfd entry{readyFd_, POLLIN, 0};
  const int count =
      XpRestarted([&] { return ::poll(&entry, 1, static_cast<int>(timeout.count())); });
  if (count <= 0) return false;
  char byte = 0;
  return ::read(readyFd_, &byte, 1) == 1 && byte == kReadyByte;
}

void ForkedChild::LetGo() {
  if (goFd_ < 0) return;
  char byte = kGoByte;
  // A child that is gone has nothing left to let go.
  (void)XpRestarted([&] { return ::write(goFd_, &byte, 1); });
}

int ForkedChild::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  const pid_t done = XpRestarted([&] { return ::waitpid(pid_, &status, 0); });
  pid_ = -1;
  CloseFds();
  if (done < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void ForkedChild::Kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

void ForkedChild::CloseFds() {
  CloseFd(readyFd_);
  CloseFd(goFd_);
}

}  // namespace testsupport
