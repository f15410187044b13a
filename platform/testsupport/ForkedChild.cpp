#include "platform/testsupport/ForkedChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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
  while (::write(readyFd_, &byte, 1) < 0 && errno == EINTR) {
  }
}

void ChildChannel::WaitForGo() {
  char byte = 0;
  while (::read(goFd_, &byte, 1) < 0 && errno == EINTR) {
  }
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
  int count = 0;
  do {
    count = ::poll(&entry, 1, static_cast<int>(timeout.count()));
  } while (count < 0 && errno == EINTR);
  if (count <= 0) return false;
  char byte = 0;
  return ::read(readyFd_, &byte, 1) == 1 && byte == kReadyByte;
}

void ForkedChild::LetGo() {
  if (goFd_ < 0) return;
  char byte = kGoByte;
  while (::write(goFd_, &byte, 1) < 0 && errno == EINTR) {
  }
}

int ForkedChild::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  pid_t done = -1;
  do {
    done = ::waitpid(pid_, &status, 0);
  } while (done < 0 && errno == EINTR);
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
