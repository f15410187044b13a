#include "framework/tests/notify/NotifyTestSupport.h"

#include <gtest/gtest.h>

#include <new>
#include <utility>

namespace framework_test {

KindNotification::KindNotification(XfNotificationKind kind, uint32_t code, bool waitsForReply,
                                   bool deliverToAll, XpSharedPtr<XfObject> subject)
    : XfNotification(std::move(subject), XpSharedPtr<XfObject>(), code, XpSharedPtr<XfObject>(),
                     waitsForReply, deliverToAll),
      kind_(kind) {}

NotificationPtr MakePlain(uint32_t code) {
  return NotificationPtr(new KindNotification(kXfKindInternal, code, false, false));
}

NotificationPtr MakeProgress(uint32_t code) {
  return NotificationPtr(new KindNotification(kXfKindProgress, code, false, true));
}

NotificationPtr MakeQuestion(uint32_t code) {
  return NotificationPtr(new KindNotification(kXfKindInternal, code, true, false));
}

void CallLog::Add(const std::string& name, uint32_t code) {
  std::lock_guard<std::mutex> hold(lock_);
  entries_.push_back(name + ":" + std::to_string(code));
  calls_.emplace_back(name, code);
}

std::vector<std::string> CallLog::Entries() const {
  std::lock_guard<std::mutex> hold(lock_);
  return entries_;
}

std::vector<std::string> CallLog::NamesFor(uint32_t code) const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::string> names;
  for (const auto& [name, seen] : calls_) {
    if (seen == code) {
      names.push_back(name);
    }
  }
  return names;
}

Probe::Probe(std::string name, CallLog* log) : name_(std::move(name)), log_(log) {}

Probe::~Probe() {
  if (destroyed != nullptr) {
    destroyed->SetSignaled(true);
  }
}

void Probe::OnNotification(NotificationPtr notification) {
  if (log_ != nullptr) {
    log_->Add(name_, notification ? notification->GetCode() : 0);
  }
  if (action_) {
    action_(notification);
  }
  ++callCount_;
  EXPECT_EQ(calls_.Unlock(), kXpOk);
}

bool Probe::WaitCalls(int count) {
  for (int i = 0; i < count; ++i) {
    if (calls_.LockTimeout(kEventLimitSeconds) != kXpOk) {
      return false;
    }
  }
  return true;
}

}  // namespace framework_test
