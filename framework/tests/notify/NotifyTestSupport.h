#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "framework/notify/IXfNotificationObserver.h"
#include "framework/notify/XfNotification.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/sync/XpManualEvent.h"
#include "platform/sync/XpSemaphore.h"
#include "platform/sync/XpWaitClock.h"

namespace framework_test {

// How long a test waits for another thread; reached only when it fails.
inline constexpr uint32_t kEventLimitSeconds = 5;

using NotificationPtr = XpSharedPtr<XfNotification>;

// A notification of any kind.
class KindNotification : public XfNotification {
 public:
  KindNotification(XfNotificationKind kind, uint32_t code, bool waitsForReply, bool deliverToAll,
                   XpSharedPtr<XfObject> subject = XpSharedPtr<XfObject>());
  XfNotificationKind GetKind() const override { return kind_; }

 private:
  const XfNotificationKind kind_;
};

NotificationPtr MakePlain(uint32_t code);
NotificationPtr MakeProgress(uint32_t code);
NotificationPtr MakeQuestion(uint32_t code);

// Observer calls as "name:code", in the order they happened.
class CallLog {
 public:
  void Add(const std::string& name, uint32_t code);
  std::vector<std::string> Entries() const;
  // The names that saw code, in order.
  std::vector<std::string> NamesFor(uint32_t code) const;

 private:
  mutable std::mutex lock_;
  std::vector<std::string> entries_;
  std::vector<std::pair<std::string, uint32_t>> calls_;
};

// An observer that logs each call, runs its action, and then counts the
// call. When destroyed it sets its destroyed event.
class Probe : public IXfNotificationObserver {
 public:
  using Action = std::function<void(const NotificationPtr&)>;

  Probe(std::string name, CallLog* log);
  ~Probe() override;

  void SetAction(Action action) { action_ = std::move(action); }
  void OnNotification(NotificationPtr notification) override;
  // Waits until count calls have ended since the last wait.
  bool WaitCalls(int count = 1);
  int CallCount() const { return callCount_.load(); }

  // Set by the destructor; may be shared with the test after the probe goes.
  XpManualEvent* destroyed = nullptr;

 private:
  const std::string name_;
  CallLog* const log_;
  Action action_;
  std::atomic<int> callCount_{0};
  XpSemaphore calls_{0, XpSemaphore::kXpNoMaximum};
};

// Time that passes only when a wait sleeps.
class FakeClock : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override { now_ += duration; }
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint());
  }

 private:
  TimePoint now_{};
};

}  // namespace framework_test
