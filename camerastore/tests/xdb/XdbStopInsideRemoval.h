#pragma once

#include <cstring>
#include <string>
#include <utility>

#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/ForkedChild.h"

namespace xdbtest {

// Stops a forked child at its second unlink under a folder: the removal
// has begun and is not done. The child then waits to be killed.
class StopInsideRemoval : public XpSysCallsWrapper {
 public:
  StopInsideRemoval(std::string folder, testsupport::ChildChannel& channel)
      : XpSysCallsWrapper(XpSysCalls::Current()), folder_(std::move(folder)), channel_(channel) {
    previous_ = XpSysCalls::Install(this);
  }
  ~StopInsideRemoval() override { XpSysCalls::Install(previous_); }
  StopInsideRemoval(const StopInsideRemoval&) = delete;
  StopInsideRemoval& operator=(const StopInsideRemoval&) = delete;

  int Unlink(const char* path) override {
    if (std::strncmp(path, folder_.c_str(), folder_.size()) == 0 && ++unlinks_ == 2) {
      channel_.SignalReady();
      channel_.WaitForGo();
    }
    return XpSysCallsWrapper::Unlink(path);
  }

 private:
  std::string folder_;
  testsupport::ChildChannel& channel_;
  XpSysCalls* previous_ = nullptr;
  int unlinks_ = 0;
};

}  // namespace xdbtest
