#pragma once

#include <cerrno>
#include <cstdio>

#include "platform/fs/XpSysCalls.h"

namespace xdbtest {

// Answers every exchange of two names (renameat2 RENAME_EXCHANGE) with an
// errno, as a card's file system without it does; other renames pass.
class RefuseExchange : public XpSysCallsWrapper {
 public:
  explicit RefuseExchange(int error = EINVAL) : XpSysCallsWrapper(XpSysCalls::Current()), error_(error) {
    previous_ = XpSysCalls::Install(this);
  }
  ~RefuseExchange() override { XpSysCalls::Install(previous_); }
  RefuseExchange(const RefuseExchange&) = delete;
  RefuseExchange& operator=(const RefuseExchange&) = delete;

  int Rename(const char* from, const char* to, unsigned int flags) override {
    if ((flags & RENAME_EXCHANGE) != 0) {
      ++refused_;
      errno = error_;
      return -1;
    }
    return XpSysCallsWrapper::Rename(from, to, flags);
  }
  int Refused() const { return refused_; }

 private:
  int error_;
  XpSysCalls* previous_ = nullptr;
  int refused_ = 0;
};

}  // namespace xdbtest
