#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/notify/XfNotification.h"
#include "framework/notify/XfView.h"
#include "framework/progress/XfProgressStep.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/sync/XpManualEvent.h"

// Follows a long task through the notifications it posts and turns them
// into one overall percentage and a remaining-time estimate. The task is a
// number of passes, each made of the same weighted steps; a step advances
// with its progress code and ends with its end code.
//
// The view's own reports (step, pass and task ended; a watched error or
// notice arrived) go straight to its dispatch handler on the calling
// thread; Start and Finish post theirs to the application's manager.
// OnNotification may run on both dispatch threads at once.
class XfViewProgress : public XfView {
 public:
  // Received while the notify flag is set: binds the view to the subject.
  static constexpr uint32_t kCodeBind = 20001;
  // Received while the notify flag is set: ends the current pass.
  static constexpr uint32_t kCodeEndPass = 20034;
  // Received about the view's object: handed on and marked handled.
  static constexpr uint32_t kCodeAboutObject = 20028;
  // Received about anything: handed on and marked handled.
  static constexpr uint32_t kCodeAboutAny = 20031;
  // Received about anything: the task stopped running.
  static constexpr uint32_t kCodeStopped = 20033;
  // Made by the view.
  static constexpr uint32_t kCodeStepEnded = 20024;
  static constexpr uint32_t kCodePassEnded = 20025;
  static constexpr uint32_t kCodeAllPassesEnded = 20026;
  static constexpr uint32_t kCodeFinished = 20027;
  static constexpr uint32_t kCodeWatchedError = 20029;
  static constexpr uint32_t kCodeWatchedNotice = 20030;
  static constexpr uint32_t kCodeStarted = 20032;

  // A kind of notification the view watches beside errors.
  static constexpr XfNotificationKind kNoticeKind = 3;
  // No step code, no watched code.
  static constexpr uint32_t kNoCode = 0xFFFFFFFF;

  XfViewProgress();
  ~XfViewProgress() override;

  void OnNotification(XpSharedPtr<XfNotification> notification) override;

  // Replaces the steps with a copy of count records (none when steps is
  // null). A total weight that is not positive leaves only whole passes in
  // the percentage.
  void SetSteps(const XfProgressStep* steps, size_t count);
  // A count below 1 counts as 1.
  void SetPassCount(int32_t count);
  int32_t GetPassCount() const;
  int32_t GetPassIndex() const;
  int32_t GetStepIndex() const;
  // The progress code of step index; kNoCode outside the list.
  uint32_t GetStepCode(int32_t index) const;
  // The code whose errors and notices the view reports.
  void SetResultCode(uint32_t code);
  // 0 to 100.
  double GetPercent() const;
  bool IsFinished() const;
  bool IsErrorSeen() const;
  // Clears the running and notify flags.
  void ResetRunFlags();

  // Marks the task running and restarts the elapsed time; with notify set,
  // posts kCodeStarted and follows kCodeBind and kCodeEndPass.
  void Start(bool notify);
  // Set when the user asked the task to stop; the task polls it.
  void SetStopFlag(bool stop) { stopFlag_.store(stop, std::memory_order_release); }
  bool GetStopFlag() const { return stopFlag_.load(std::memory_order_acquire); }
  // Stops the view for good and posts kCodeFinished, carrying the watched
  // code, once.
  void Finish();
  // Waits in whole seconds (kXpWaitForever: no limit) until the last pass
  // has ended; kXpErrTimeout otherwise.
  [[nodiscard]] XpResult WaitFinished(uint32_t seconds);

  // Seconds still to go at the pace so far: -1 before any progress, 1 once
  // complete.
  int64_t EstimateRemainingSeconds() const;
  // The estimate in whole minutes, a started minute counting as one; -1
  // when there is no positive estimate.
  int64_t EstimateRemainingMinutes() const;

 private:
  enum class Advance { kIgnored, kStep, kPass, kAllPasses };

  void OnNotifyCode(const XpSharedPtr<XfNotification>& notification);
  void OnAboutObject(const XpSharedPtr<XfNotification>& notification);
  void OnProgress(const XpSharedPtr<XfNotification>& notification);
  void OnOtherKind(const XpSharedPtr<XfNotification>& notification);
  void OnAnySubject(const XpSharedPtr<XfNotification>& notification);

  // Under lock_: moves to the next step, or to the next pass when the pass
  // ended or nextPass is set. Ignored once every pass has ended.
  Advance AdvanceLocked(bool nextPass);
  void AdvanceAndReport(bool nextPass);
  void Report(Advance advance);
  // Under lock_: the percentage with within percent done of the current step.
  double ComputePercentLocked(double within) const;
  bool IsStepIndexInsideLocked() const;

  // One of the view's own notifications, about subject.
  XpSharedPtr<XfNotification> MakeOwn(uint32_t code, XpSharedPtr<XfObject> subject,
                                      XpSharedPtr<XfObject> payload);
  void DispatchOwn(uint32_t code, XpSharedPtr<XfObject> payload);

  mutable XpCriticalSection lock_;
  std::vector<XfProgressStep> steps_;
  double totalWeight_ = 0.0;
  int32_t passCount_ = 1;
  int32_t passIndex_ = 0;
  int32_t stepIndex_ = 0;
  double percent_ = 0.0;
  bool notify_ = false;
  bool running_ = false;
  bool finished_ = false;
  bool errorSeen_ = false;
  uint32_t watchedCode_ = kNoCode;
  std::atomic<bool> stopFlag_{false};
  int64_t startTime_;
  // Set when the last pass ends.
  XpManualEvent done_{false};
};
