#pragma once

#include <cstddef>
#include <exception>

#include "FskMachineImpl.h"

// Puts the stack back to a depth, and the frames back to their count, when
// an exception leaves the scope; a normal exit leaves both alone.
class FskStackGuard {
 public:
  FskStackGuard(FskMachine* the, size_t depth)
      : the_(the), depth_(depth), frames_(the->frames.size()), exceptions_(std::uncaught_exceptions()) {}
  FskStackGuard(const FskStackGuard&) = delete;
  FskStackGuard& operator=(const FskStackGuard&) = delete;
  ~FskStackGuard() {
    if (std::uncaught_exceptions() > exceptions_) {
      if (the_->frames.size() > frames_) {
        the_->frames.resize(frames_);
      }
      fskimpl::Truncate(the_, depth_);
    }
  }

 private:
  FskMachine* the_;
  size_t depth_;
  size_t frames_;
  int exceptions_;
};

// The same for the hot paths, without asking the C++ runtime about
// exceptions: the stack and frames are put back unless Done() was called,
// which the code calls last on its way out when nothing threw.
class FskStackScope {
 public:
  FskStackScope(FskMachine* the, size_t depth) : the_(the), depth_(depth), frames_(the->frames.size()) {}
  FskStackScope(const FskStackScope&) = delete;
  FskStackScope& operator=(const FskStackScope&) = delete;
  ~FskStackScope() {
    if (done_) {
      return;
    }
    if (the_->frames.size() > frames_) {
      the_->frames.resize(frames_);
    }
    fskimpl::Truncate(the_, depth_);
  }
  void Done() { done_ = true; }

 private:
  FskMachine* the_;
  size_t depth_;
  size_t frames_;
  bool done_ = false;
};
