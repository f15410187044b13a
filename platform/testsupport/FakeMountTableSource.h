#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/volume/IXpMountTableSource.h"

namespace testsupport {

// The state a test shares with the source it hands to a watcher.
struct FakeMountTableControl {
  std::mutex mutex;
  std::condition_variable changed;
  XpResult openResult = kXpOk;
  bool interrupted = false;
  uint64_t nudges = 0;
  uint64_t taken = 0;
  // The nudges taken when the watcher last came back to wait.
  uint64_t idleAfter = 0;
  bool waiting = false;

  // Tells the watcher that the fake table changed and waits until it has
  // read it and reported what changed. False when that takes too long.
  bool Nudge(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex);
    const uint64_t target = ++nudges;
    changed.notify_all();
    return changed.wait_for(lock, limit, [&] { return waiting && idleAfter >= target; });
  }
};

// A mount-table source over the fake table below KAVO_SYSROOT. A regular
// file never raises POLLPRI, so the test signals each change itself.
class FakeMountTableSource : public IXpMountTableSource {
 public:
  explicit FakeMountTableSource(std::shared_ptr<FakeMountTableControl> control)
      : control_(std::move(control)) {}

  [[nodiscard]] XpResult Open() override {
    std::lock_guard<std::mutex> lock(control_->mutex);
    control_->interrupted = false;
    return control_->openResult;
  }
  void Close() override {}
  [[nodiscard]] XpResult Read(XpMountTable* table) override { return table->Load(); }
  bool WaitForChange() override {
    FakeMountTableControl& c = *control_;
    std::unique_lock<std::mutex> lock(c.mutex);
    c.idleAfter = c.taken;
    c.waiting = true;
    c.changed.notify_all();
    c.changed.wait(lock, [&] { return c.interrupted || c.nudges > c.taken; });
    c.waiting = false;
    if (c.interrupted) return false;
    c.taken = c.nudges;
    return true;
  }
  void Interrupt() override {
    std::lock_guard<std::mutex> lock(control_->mutex);
    control_->interrupted = true;
    control_->changed.notify_all();
  }

 private:
  std::shared_ptr<FakeMountTableControl> control_;
};

}  // namespace testsupport
