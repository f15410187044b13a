#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/notify/XfObject.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpSemaphore.h"
#include "platform/sync/XpWaitClock.h"

// What a notification is; observers choose by it.
using XfNotificationKind = uint32_t;
inline constexpr XfNotificationKind kXfKindInternal = 0;
inline constexpr XfNotificationKind kXfKindProgress = 2;
inline constexpr XfNotificationKind kXfKindError = 4;

// A message from a work thread to the observers of the notification manager:
// progress, an error, a question. The flags and the result may be set by an
// observer on a dispatch thread while the sender reads them.
class XfNotification : public XfObject {
 public:
  // Time-out of WaitForResult that waits without limit, pumping the calling
  // thread's framework messages.
  static constexpr uint32_t kWaitPumping = 0xFFFFFFFF;

  XfNotification(XpSharedPtr<XfObject> subject, XpSharedPtr<XfObject> target, uint32_t code,
                 XpSharedPtr<XfObject> payload, bool waitsForReply, bool deliverToAll);
  ~XfNotification() override;

  virtual XfNotificationKind GetKind() const = 0;

  // What the notification is about.
  XpSharedPtr<XfObject> GetSubject() const { return subject_; }
  // The sender or addressee.
  XpSharedPtr<XfObject> GetTarget() const { return target_; }
  // The payload.
  XpSharedPtr<XfObject> GetObject() const { return payload_; }
  uint32_t GetCode() const { return code_; }
  bool WaitsForReply() const { return waitsForReply_; }
  bool DeliverToAll() const { return deliverToAll_; }

  // The setters always give kXpOk.
  XpResult SetHandled(bool handled);
  bool IsHandled() const { return handled_.load(std::memory_order_acquire); }
  XpResult SetConsumed();
  bool IsConsumed() const { return consumed_.load(std::memory_order_acquire); }

  // Stores the answer and wakes a sender waiting for it.
  XpResult SetResult(uint32_t result);
  bool IsAnswered() const { return answered_.load(std::memory_order_acquire); }
  uint32_t GetResult() const { return result_.load(std::memory_order_acquire); }

  // Waits for an answer: kXpOk once there is one. kXpErrSystem at once when
  // the notification does not wait for a reply. A time-out in whole seconds
  // ends with kXpErrTimeout; kWaitPumping waits without limit and runs the
  // calling thread's framework messages meanwhile, so a user-interface
  // thread stays responsive. Both poll every kPollMilliseconds.
  [[nodiscard]] XpResult WaitForResult(uint32_t seconds);

  // For tests: the clock and sleep of WaitForResult.
  void SetWaitClockForTest(XpWaitClock& clock) { clock_ = &clock; }

  static constexpr uint32_t kPollMilliseconds = 10;

 private:
  [[nodiscard]] XpResult WaitPumping();
  [[nodiscard]] XpResult WaitSeconds(uint32_t seconds);

  const XpSharedPtr<XfObject> subject_;
  const XpSharedPtr<XfObject> target_;
  const uint32_t code_;
  const XpSharedPtr<XfObject> payload_;
  const bool waitsForReply_;
  const bool deliverToAll_;
  std::atomic<bool> handled_{false};
  std::atomic<bool> consumed_{false};
  std::atomic<bool> answered_{false};
  std::atomic<uint32_t> result_{0};
  // Released once per answer; only for notifications that wait for one.
  const std::unique_ptr<XpSemaphore> reply_;
  XpWaitClock* clock_;
};

// A notification among the framework's own parts.
class XfNotificationInternal : public XfNotification {
 public:
  XfNotificationInternal(XpSharedPtr<XfObject> subject, XpSharedPtr<XfObject> target,
                         uint32_t code, XpSharedPtr<XfObject> payload, bool waitsForReply,
                         bool deliverToAll);

  XfNotificationKind GetKind() const override { return kXfKindInternal; }
};

// Progress of a task in percent: always delivered to every observer, never
// answered.
class XfNotificationProgress : public XfNotification {
 public:
  XfNotificationProgress(XpSharedPtr<XfObject> subject, XpSharedPtr<XfObject> target,
                         uint32_t code, XpSharedPtr<XfObject> payload);

  XfNotificationKind GetKind() const override { return kXfKindProgress; }

  uint32_t GetValue() const { return value_.load(std::memory_order_acquire); }
  void SetValue(uint32_t value) { value_.store(value, std::memory_order_release); }
  // Whole seconds since the notification was made.
  int64_t GetElapsedSeconds() const;
  // Seconds still to go at the pace so far; -1 while the value is 0.
  int64_t EstimateRemainingSeconds() const;
  // elapsed * (100 - value) / value, the value taken as signed, truncated
  // toward zero; -1 for the value 0.
  static int64_t EstimateRemaining(int64_t elapsedSeconds, uint32_t value);

 private:
  std::atomic<uint32_t> value_{0};
  const int64_t created_;
};
