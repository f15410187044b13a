#include "framework/progress/XfViewProgress.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include "framework/app/XfApplication.h"
#include "framework/clock/XfClock.h"
#include "framework/notify/XfData.h"
#include "framework/notify/XfNotificationManager.h"
#include "framework/notify/XfPointer.h"

namespace {

constexpr double kFullPercent = 100.0;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kCompleteEstimateSeconds = 1;
constexpr int64_t kNoEstimate = -1;
// The first double past the int64_t range; its negation is the lowest value.
constexpr double kInt64Limit = 9223372036854775808.0;

double ClampPercent(double percent) {
  if (!(percent > 0.0)) {
    return 0.0;
  }
  return std::min(percent, kFullPercent);
}

int64_t ToInt64Saturated(double value) {
  if (value >= kInt64Limit) {
    return std::numeric_limits<int64_t>::max();
  }
  if (value < -kInt64Limit) {
    return std::numeric_limits<int64_t>::min();
  }
  return static_cast<int64_t>(value);
}

}  // namespace

XfViewProgress::XfViewProgress() : startTime_(XfGetCurrentTime()) {}

XfViewProgress::~XfViewProgress() {
  if (XfNotificationManager* manager = XfGetNotificationManager()) {
    manager->RemoveObserver(this);
  }
}

void XfViewProgress::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (!notification) {
    return;
  }
  OnNotifyCode(notification);
  if (notification->GetSubject() == GetObject()) {
    OnAboutObject(notification);
  }
  OnAnySubject(notification);
}

void XfViewProgress::OnNotifyCode(const XpSharedPtr<XfNotification>& notification) {
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    if (!notify_) {
      return;
    }
  }
  switch (notification->GetCode()) {
    case kCodeBind:
      SetObject(notification->GetSubject());
      Dispatch(notification);
      break;
    case kCodeEndPass:
      AdvanceAndReport(true);
      break;
    default:
      break;
  }
}

void XfViewProgress::OnAboutObject(const XpSharedPtr<XfNotification>& notification) {
  if (notification->GetKind() == kXfKindProgress) {
    OnProgress(notification);
    return;
  }
  OnOtherKind(notification);
}

void XfViewProgress::OnProgress(const XpSharedPtr<XfNotification>& notification) {
  const auto* progress = dynamic_cast<const XfNotificationProgress*>(notification.Get());
  bool consumed = false;
  bool update = false;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    consumed = finished_;
    if (running_ && progress != nullptr && IsStepIndexInsideLocked() &&
        notification->GetCode() == steps_[stepIndex_].progressCode) {
      const double within = std::min(static_cast<double>(progress->GetValue()), kFullPercent);
      percent_ = ComputePercentLocked(within);
      update = running_;
    }
  }
  if (consumed) {
    notification->SetConsumed();
  }
  if (update) {
    Notify();
  }
  notification->SetHandled(true);
}

void XfViewProgress::OnOtherKind(const XpSharedPtr<XfNotification>& notification) {
  const uint32_t code = notification->GetCode();
  const XfNotificationKind kind = notification->GetKind();
  bool advanced = false;
  Advance advance = Advance::kIgnored;
  bool watched = false;
  uint32_t report = kNoCode;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    if (IsStepIndexInsideLocked() && code == steps_[stepIndex_].endCode) {
      advanced = true;
      advance = AdvanceLocked(false);
    } else if (!steps_.empty() && code == steps_.back().endCode) {
      advanced = true;
      advance = AdvanceLocked(true);
    } else if (watchedCode_ != kNoCode && code == watchedCode_) {
      watched = true;
      if (kind == kXfKindError) {
        errorSeen_ = true;
        report = kCodeWatchedError;
      } else if (kind == kNoticeKind) {
        report = kCodeWatchedNotice;
      }
    }
  }
  if (advanced) {
    Report(advance);
    notification->SetHandled(true);
    return;
  }
  if (watched) {
    if (report != kNoCode) {
      DispatchOwn(report, notification);
    }
    return;
  }
  if (code == kCodeAboutObject) {
    Dispatch(notification);
    notification->SetHandled(true);
  }
}

void XfViewProgress::OnAnySubject(const XpSharedPtr<XfNotification>& notification) {
  switch (notification->GetCode()) {
    case kCodeStopped:
      ResetRunFlags();
      Dispatch(notification);
      break;
    case kCodeAboutAny:
      Dispatch(notification);
      notification->SetHandled(true);
      break;
    default:
      break;
  }
}

XfViewProgress::Advance XfViewProgress::AdvanceLocked(bool nextPass) {
  if (passIndex_ >= passCount_) {
    return Advance::kIgnored;
  }
  Advance advance = Advance::kStep;
  ++stepIndex_;
  if (static_cast<size_t>(stepIndex_) >= steps_.size() || nextPass) {
    stepIndex_ = 0;
    ++passIndex_;
    advance = Advance::kPass;
    if (passIndex_ >= passCount_) {
      running_ = false;
      notify_ = false;
      advance = Advance::kAllPasses;
    }
  }
  percent_ = ComputePercentLocked(0.0);
  return advance;
}

void XfViewProgress::AdvanceAndReport(bool nextPass) {
  Advance advance = Advance::kIgnored;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    advance = AdvanceLocked(nextPass);
  }
  Report(advance);
}

void XfViewProgress::Report(Advance advance) {
  switch (advance) {
    case Advance::kIgnored:
      break;
    case Advance::kStep:
      DispatchOwn(kCodeStepEnded, XpSharedPtr<XfObject>());
      break;
    case Advance::kPass:
      DispatchOwn(kCodePassEnded, XpSharedPtr<XfObject>());
      break;
    case Advance::kAllPasses:
      DispatchOwn(kCodeAllPassesEnded, XpSharedPtr<XfObject>());
      done_.SetSignaled(true);
      break;
  }
}

double XfViewProgress::ComputePercentLocked(double within) const {
  const double passes = static_cast<double>(passCount_);
  double stepShare = 0.0;
  if (totalWeight_ > 0.0 && IsStepIndexInsideLocked()) {
    double before = 0.0;
    for (int32_t i = 0; i < stepIndex_; ++i) {
      before += steps_[i].weight;
    }
    stepShare = (before + within / kFullPercent * steps_[stepIndex_].weight) / totalWeight_;
  }
  return ClampPercent(kFullPercent * (passIndex_ / passes + stepShare / passes));
}

bool XfViewProgress::IsStepIndexInsideLocked() const {
  return stepIndex_ >= 0 && static_cast<size_t>(stepIndex_) < steps_.size();
}

XpSharedPtr<XfNotification> XfViewProgress::MakeOwn(uint32_t code, XpSharedPtr<XfObject> subject,
                                                    XpSharedPtr<XfObject> payload) {
  return XpSharedPtr<XfNotification>(new (std::nothrow) XfNotificationInternal(
      std::move(subject), XfPointer::Borrow(this), code, std::move(payload), false, true));
}

void XfViewProgress::DispatchOwn(uint32_t code, XpSharedPtr<XfObject> payload) {
  XpSharedPtr<XfNotification> own = MakeOwn(code, GetObject(), std::move(payload));
  if (own) {
    Dispatch(own);
  }
}

void XfViewProgress::SetSteps(const XfProgressStep* steps, size_t count) {
  std::vector<XfProgressStep> copy;
  if (steps != nullptr) {
    copy.assign(steps, steps + count);
  }
  double total = 0.0;
  for (const XfProgressStep& step : copy) {
    total += step.weight;
  }
  std::lock_guard<XpCriticalSection> hold(lock_);
  steps_ = std::move(copy);
  totalWeight_ = total;
}

void XfViewProgress::SetPassCount(int32_t count) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  passCount_ = std::max(count, 1);
}

int32_t XfViewProgress::GetPassCount() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return passCount_;
}

int32_t XfViewProgress::GetPassIndex() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return passIndex_;
}

int32_t XfViewProgress::GetStepIndex() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return stepIndex_;
}

uint32_t XfViewProgress::GetStepCode(int32_t index) const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  if (index < 0 || static_cast<size_t>(index) >= steps_.size()) {
    return kNoCode;
  }
  return steps_[index].progressCode;
}

void XfViewProgress::SetResultCode(uint32_t code) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  watchedCode_ = code;
}

double XfViewProgress::GetPercent() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return percent_;
}

bool XfViewProgress::IsFinished() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return finished_;
}

bool XfViewProgress::IsErrorSeen() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return errorSeen_;
}

void XfViewProgress::ResetRunFlags() {
  std::lock_guard<XpCriticalSection> hold(lock_);
  running_ = false;
  notify_ = false;
}

void XfViewProgress::Start(bool notify) {
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    running_ = true;
    notify_ = notify;
    startTime_ = XfGetCurrentTime();
  }
  if (!notify) {
    return;
  }
  XpSharedPtr<XfNotification> started =
      MakeOwn(kCodeStarted, XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>());
  if (started) {
    XfPostNotification(started);
  }
}

void XfViewProgress::Finish() {
  uint32_t watched = kNoCode;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    if (finished_) {
      return;
    }
    running_ = false;
    notify_ = false;
    finished_ = true;
    watched = watchedCode_;
  }
  XpSharedPtr<XfObject> payload(new (std::nothrow) XfData<int32_t>(static_cast<int32_t>(watched)));
  XpSharedPtr<XfNotification> finishedNotification =
      MakeOwn(kCodeFinished, GetObject(), std::move(payload));
  if (finishedNotification) {
    XfPostNotification(finishedNotification);
  }
}

XpResult XfViewProgress::WaitFinished(uint32_t seconds) { return done_.LockTimeout(seconds); }

int64_t XfViewProgress::EstimateRemainingSeconds() const {
  double percent = 0.0;
  int64_t start = 0;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    percent = percent_;
    start = startTime_;
  }
  if (!(percent > 0.0)) {
    return kNoEstimate;
  }
  if (percent >= kFullPercent) {
    return kCompleteEstimateSeconds;
  }
  const double elapsed = static_cast<double>(XfGetCurrentTime() - start);
  return ToInt64Saturated(std::nearbyint((kFullPercent - percent) / percent * elapsed));
}

int64_t XfViewProgress::EstimateRemainingMinutes() const {
  const int64_t seconds = EstimateRemainingSeconds();
  if (seconds <= 0) {
    return kNoEstimate;
  }
  return seconds / kSecondsPerMinute + (seconds % kSecondsPerMinute != 0 ? 1 : 0);
}
