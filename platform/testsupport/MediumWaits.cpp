#include "platform/testsupport/MediumWaits.h"

#include <unistd.h>

#include <climits>

namespace testsupport {

namespace {

std::string PathOf(int fd) {
  char path[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = ::readlink(link.c_str(), path, sizeof path - 1);
  return length < 0 ? std::string("?") : std::string(path, static_cast<size_t>(length));
}

}  // namespace

MediumWaits::MediumWaits() : XpSysCallsWrapper(XpSysCalls::Installed()) {
  previous_ = XpSysCalls::Install(this);
}

MediumWaits::~MediumWaits() { XpSysCalls::Install(previous_); }

int MediumWaits::Fsync(int fd) {
  Note("fsync", fd);
  return XpSysCallsWrapper::Fsync(fd);
}

int MediumWaits::Syncfs(int fd) {
  Note("syncfs", fd);
  return XpSysCallsWrapper::Syncfs(fd);
}

void MediumWaits::Note(const char* call, int fd) {
  const std::string path = PathOf(fd);
  std::lock_guard<std::mutex> hold(lock_);
  entries_.push_back(std::string(call) + " " + path);
  paths_.push_back(path);
}

std::vector<std::string> MediumWaits::Entries() const {
  std::lock_guard<std::mutex> hold(lock_);
  return entries_;
}

size_t MediumWaits::CountUnder(const std::string& prefix) const {
  std::lock_guard<std::mutex> hold(lock_);
  size_t count = 0;
  for (const std::string& path : paths_) {
    count += path.rfind(prefix, 0) == 0 ? 1 : 0;
  }
  return count;
}

size_t MediumWaits::Count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return paths_.size();
}

}  // namespace testsupport
