#include "framework/transaction/XfTransaction.h"

#include <chrono>
#include <mutex>
#include <new>
#include <utility>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfPointer.h"
#include "framework/queue/XfMessageQueue.h"

namespace {

constexpr int32_t kFullPercent = 100;
constexpr uint64_t kMillisecondsPerSecond = 1000;

}  // namespace

XfTransaction::XfTransaction(XfTransactionManager* manager, XpSharedPtr<XfTransactionObject> object,
                             uint32_t id)
    : manager_(manager), id_(id), object_(std::move(object)), clock_(&XpWaitClock::Real()) {}

XfTransaction::~XfTransaction() = default;

size_t XfTransaction::GetCount() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return items_.size();
}

XpSharedPtr<XfTransactionObject> XfTransaction::GetItem(size_t index) const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  if (index >= items_.size()) {
    return XpSharedPtr<XfTransactionObject>();
  }
  return items_[index];
}

XpResult XfTransaction::AddItem(XpSharedPtr<XfTransactionObject> item) {
  if (!item) {
    return kXpErrBadArgument;
  }
  std::lock_guard<XpCriticalSection> hold(lock_);
  items_.push_back(std::move(item));
  return kXpOk;
}

void XfTransaction::SetCompletionCode(uint32_t code) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  completionCode_ = code;
}

XpResult XfTransaction::ExecuteAll() {
  std::lock_guard<XpCriticalSection> hold(lock_);
  for (const XpSharedPtr<XfTransactionObject>& item : items_) {
    const XpResult result = item->Execute();
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

XpResult XfTransaction::AbortUndone() {
  std::lock_guard<XpCriticalSection> hold(lock_);
  for (const XpSharedPtr<XfTransactionObject>& item : items_) {
    if (item->IsDone()) {
      continue;
    }
    const XpResult result = item->Abort();
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

bool XfTransaction::AreAllDone() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  for (const XpSharedPtr<XfTransactionObject>& item : items_) {
    if (!item->IsDone()) {
      return false;
    }
  }
  return true;
}

bool XfTransaction::AreAllEnded() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  for (const XpSharedPtr<XfTransactionObject>& item : items_) {
    if (!item->IsEnded()) {
      return false;
    }
  }
  return true;
}

int32_t XfTransaction::GetPercent() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  if (items_.empty()) {
    return kFullPercent;
  }
  int64_t finished = 0;
  for (const XpSharedPtr<XfTransactionObject>& item : items_) {
    if (item->IsDone() || item->IsEnded()) {
      ++finished;
    }
  }
  return static_cast<int32_t>(finished * kFullPercent / static_cast<int64_t>(items_.size()));
}

XpResult XfTransaction::Wait(uint32_t seconds) {
  if (AreAllEnded()) {
    return kXpOk;
  }
  const bool unlimited = seconds == kWaitWithoutLimit;
  const uint64_t limit = static_cast<uint64_t>(seconds) * kMillisecondsPerSecond;
  uint64_t waited = 0;
  do {
    XfPumpMessage();
    if (AreAllEnded()) {
      return kXpOk;
    }
    clock_->SleepFor(std::chrono::milliseconds(kPollMilliseconds));
    waited += kPollMilliseconds;
  } while (unlimited || waited <= limit);
  return kXpErrTimeout;
}

bool XfTransaction::CheckCompleted() {
  std::lock_guard<XpCriticalSection> hold(lock_);
  if (!AreAllEnded()) {
    return false;
  }
  if (completionCode_ != kNoCompletionCode && !completionPosted_) {
    if (!AreAllDone()) {
      PostCompletionLocked();
    }
    completionPosted_ = true;
  }
  return true;
}

void XfTransaction::PostCompletionLocked() {
  XpSharedPtr<XfNotification> completion(new (std::nothrow) XfNotificationInternal(
      object_, XfPointer::Borrow(this), completionCode_, XpSharedPtr<XfObject>(), false, true));
  if (completion) {
    XfPostNotification(completion);
  }
}
