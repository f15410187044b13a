#include "framework/notify/XfNotification.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "framework/clock/XfClock.h"
#include "framework/queue/XfMessageQueue.h"
#include "platform/sync/XpDeadline.h"
#include "platform/sync/XpSyncObject.h"

namespace {

constexpr int64_t kFullPercent = 100;
constexpr std::chrono::milliseconds kPollInterval(XfNotification::kPollMilliseconds);
constexpr std::chrono::milliseconds kShortestPoll(1);

XpSemaphore* NewReplySemaphore(bool waitsForReply) {
  if (!waitsForReply) {
    return nullptr;
  }
  return new (std::nothrow) XpSemaphore(0, XpSemaphore::kXpNoMaximum);
}

std::chrono::milliseconds PollDelay(const XpDeadline& deadline, XpWaitClock& clock) {
  const auto remaining =
      std::chrono::ceil<std::chrono::milliseconds>(deadline.When() - clock.Now());
  return std::clamp(remaining, kShortestPoll, kPollInterval);
}

}  // namespace

XfNotification::XfNotification(XpSharedPtr<XfObject> subject, XpSharedPtr<XfObject> target,
                               uint32_t code, XpSharedPtr<XfObject> payload, bool waitsForReply,
                               bool deliverToAll)
    : subject_(std::move(subject)),
      target_(std::move(target)),
      code_(code),
      payload_(std::move(payload)),
      waitsForReply_(waitsForReply),
      deliverToAll_(deliverToAll),
      reply_(NewReplySemaphore(waitsForReply)),
      clock_(&XpWaitClock::Real()) {}

XfNotification::~XfNotification() = default;

XpResult XfNotification::SetHandled(bool handled) {
  handled_.store(handled, std::memory_order_release);
  return kXpOk;
}

XpResult XfNotification::SetConsumed() {
  consumed_.store(true, std::memory_order_release);
  return kXpOk;
}

XpResult XfNotification::SetResult(uint32_t result) {
  result_.store(result, std::memory_order_release);
  answered_.store(true, std::memory_order_release);
  if (reply_) {
    // The reply semaphore is posted once per answer, far below its maximum.
    (void)reply_->Unlock();
  }
  return kXpOk;
}

XpResult XfNotification::WaitForResult(uint32_t seconds) {
  if (!waitsForReply_) {
    return kXpErrSystem;
  }
  if (!reply_) {
    return kXpErrOutOfMemory;
  }
  if (seconds == kWaitPumping) {
    return WaitPumping();
  }
  return WaitSeconds(seconds);
}

XpResult XfNotification::WaitPumping() {
  for (;;) {
    const XpResult polled = reply_->LockTimeout(kXpTryOnce);
    if (polled != kXpErrTimeout) {
      return polled;
    }
    XfPumpMessage();
    clock_->SleepFor(kPollInterval);
  }
}

XpResult XfNotification::WaitSeconds(uint32_t seconds) {
  const XpDeadline deadline = XpDeadline::AfterSeconds(seconds, *clock_);
  for (;;) {
    const XpResult polled = reply_->LockTimeout(kXpTryOnce);
    if (polled != kXpErrTimeout) {
      return polled;
    }
    if (deadline.HasPassed(*clock_)) {
      return kXpErrTimeout;
    }
    clock_->SleepFor(PollDelay(deadline, *clock_));
  }
}

XfNotificationInternal::XfNotificationInternal(XpSharedPtr<XfObject> subject,
                                               XpSharedPtr<XfObject> target, uint32_t code,
                                               XpSharedPtr<XfObject> payload,
                                               bool waitsForReply, bool deliverToAll)
    : XfNotification(std::move(subject), std::move(target), code, std::move(payload),
                     waitsForReply, deliverToAll) {}

XfNotificationProgress::XfNotificationProgress(XpSharedPtr<XfObject> subject,
                                               XpSharedPtr<XfObject> target, uint32_t code,
                                               XpSharedPtr<XfObject> payload)
    : XfNotification(std::move(subject), std::move(target), code, std::move(payload), false,
                     true),
      created_(XfGetCurrentTime()) {}

int64_t XfNotificationProgress::GetElapsedSeconds() const {
  return XfGetCurrentTime() - created_;
}

int64_t XfNotificationProgress::EstimateRemainingSeconds() const {
  return EstimateRemaining(GetElapsedSeconds(), GetValue());
}

int64_t XfNotificationProgress::EstimateRemaining(int64_t elapsedSeconds, uint32_t value) {
  if (value == 0) {
    return -1;
  }
  const int64_t percent = static_cast<int32_t>(value);
  return elapsedSeconds * (kFullPercent - percent) / percent;
}
