#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/fs/XpSysCalls.h"

namespace testsupport {

// For as long as it lives, the running program appears to be the file at
// path: readlink("/proc/self/exe") answers it, every other call goes on to
// the calls that were installed before.
class FakeProgramFile : public XpSysCallsWrapper {
 public:
  explicit FakeProgramFile(std::string path)
      : XpSysCallsWrapper(XpSysCalls::Current()), path_(std::move(path)) {
    previous_ = XpSysCalls::Install(this);
  }
  FakeProgramFile(const FakeProgramFile&) = delete;
  FakeProgramFile& operator=(const FakeProgramFile&) = delete;
  ~FakeProgramFile() override { XpSysCalls::Install(previous_); }

  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    if (std::string_view(path) != "/proc/self/exe") return Target().Readlink(path, buffer, size);
    const size_t length = std::min(size, path_.size());
    std::memcpy(buffer, path_.data(), length);
    return static_cast<ssize_t>(length);
  }

 private:
  std::string path_;
  XpSysCalls* previous_ = nullptr;
};

}  // namespace testsupport
