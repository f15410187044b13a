#pragma once

#include <cstdint>

#include "framework/ui/dialog/XfDialogPresenter.h"

// The demo's progress dialog. The bar appears after a short delay; a timer
// drives it from 0 to 100 in gliding steps of 10, with a marquee while the
// work prepares and again half-way; the stop button asks before it stops.
// It ends with 1 when the bar is full and with 2 when stopped.
class UiDemoProgress final : public XfDialogPresenter {
 public:
  static constexpr int32_t kDialogId = 132;
  static constexpr int32_t kBar = 1007;
  static constexpr int32_t kPercent = 1009;
  static constexpr int32_t kItem = 1010;
  static constexpr uint32_t kShowDelayMs = 300;
  static constexpr uint32_t kMarqueeIntervalMs = 20;
  static constexpr int32_t kStepPercent = 10;

  explicit UiDemoProgress(uint32_t tickMs) : XfDialogPresenter(kDialogId), tickMs_(tickMs) {}

  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnCommand(int32_t id) override;
  void OnTimer(uint32_t id) override;
  int32_t AcceptCommand() const override { return 0; }

  // The target position when the dialog ended.
  int32_t Reached() const { return target_; }

 private:
  enum class Phase { kPreparing, kRunning, kAlbum, kFinishing };

  void Tick();
  void Advance();
  void SetMarquee(bool on);

  const uint32_t tickMs_;
  XfUiHost* host_ = nullptr;
  Phase phase_ = Phase::kPreparing;
  int32_t phaseTicks_ = 0;
  int32_t target_ = 0;
  bool paused_ = false;
  bool stopping_ = false;
};
