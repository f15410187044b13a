#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/sync/XpWaitClock.h"

namespace xdbtest {

// A clock whose pauses take no time and are recorded, in milliseconds.
class RecordingPauses : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    milliseconds.push_back(static_cast<uint32_t>(duration.count()));
    now_ += duration;
  }

  std::vector<uint32_t> milliseconds;

 private:
  TimePoint now_{};
};

}  // namespace xdbtest
