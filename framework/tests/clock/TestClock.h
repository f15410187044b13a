#pragma once

#include <atomic>
#include <cstdint>

#include "framework/clock/XfClock.h"

namespace framework_test {

// The framework clock for one test: time stands still until the test moves
// it. Installed while the object lives.
class ScopedTestClock : public XfClock {
 public:
  explicit ScopedTestClock(int64_t start) : now_(start) { XfSetClockForTest(this); }
  ScopedTestClock(const ScopedTestClock&) = delete;
  ScopedTestClock& operator=(const ScopedTestClock&) = delete;
  ~ScopedTestClock() override { XfSetClockForTest(nullptr); }

  int64_t Now() override { return now_.load(); }
  void Set(int64_t now) { now_.store(now); }

 private:
  std::atomic<int64_t> now_;
};

}  // namespace framework_test
