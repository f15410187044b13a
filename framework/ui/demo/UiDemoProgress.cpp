#include "framework/ui/demo/UiDemoProgress.h"

#include "framework/ui/host/XfUiHost.h"

namespace {

constexpr uint32_t kWorkTimer = 1;
constexpr int32_t kMarqueeTicks = 2;
constexpr int32_t kAlbumPercent = 50;
constexpr int32_t kFullPercent = 100;
constexpr uint32_t kStopStyle = kXfMbYesNo | kXfMbIconExclamation | kXfMbDefButton2;

}  // namespace

void UiDemoProgress::Init(XfDialogModel& model, XfUiHost& host) {
  host_ = &host;
  phase_ = Phase::kPreparing;
  phaseTicks_ = 0;
  target_ = 0;
  paused_ = false;
  stopping_ = false;
  model.Clear();
  model.SetTitle(u"Demo progress");
  model.Add(kItem, XfItemKind::kStatic, u"Preparing the work...");
  model.Add(kPercent, XfItemKind::kStatic);
  XfDialogItem& bar = model.Add(kBar, XfItemKind::kProgress);
  bar.SetVisible(false);
  SfProgressCtrl& progress = *bar.Progress();
  progress.SetRange(0, kFullPercent);
  progress.SetShowHideDelays(kShowDelayMs, 0);
  progress.ShowWindow(kSfShow);
  model.Add(kXfIdCancel, XfItemKind::kButton, u"Stop");
  SetMarquee(true);
  host.SetTimer(this, kWorkTimer, tickMs_);
}

void UiDemoProgress::OnCommand(int32_t id) {
  if (id != kXfIdCancel || stopping_ || HasEnded()) {
    return;
  }
  paused_ = true;
  const int32_t answer = host_->MessageBox(u"UI demo", u"Stop?", kStopStyle, XfUiBoxRole::kAsksToStop);
  paused_ = false;
  if (answer == kXfIdYes) {
    stopping_ = true;
    Model().SetEnabled(kXfIdCancel, false);
  }
}

void UiDemoProgress::OnTimer(uint32_t id) {
  if (id == kWorkTimer) {
    Tick();
  }
}

void UiDemoProgress::Tick() {
  if (stopping_) {
    End(kXfIdCancel);
    return;
  }
  if (paused_) {
    return;
  }
  ++phaseTicks_;
  switch (phase_) {
    case Phase::kPreparing:
    case Phase::kAlbum:
      if (phaseTicks_ >= kMarqueeTicks) {
        SetMarquee(false);
        phase_ = Phase::kRunning;
        Advance();
      }
      return;
    case Phase::kRunning:
      Advance();
      return;
    case Phase::kFinishing:
      if (Model().Progress(kBar)->GetDisplayedPos() >= kFullPercent) {
        End(kXfIdOk);
      }
      return;
  }
}

void UiDemoProgress::Advance() {
  target_ += kStepPercent;
  Model().Progress(kBar)->SetPos(target_);
  XpString percent;
  (void)percent.Format(u"%d %% done", target_);  // a number always formats
  Model().SetText(kPercent, percent);
  XpString item;
  // Numbers always format.
  (void)item.Format(u"Writing picture %d of %d", target_ / kStepPercent,
                    kFullPercent / kStepPercent);
  Model().SetText(kItem, item);
  phaseTicks_ = 0;
  if (target_ >= kFullPercent) {
    phase_ = Phase::kFinishing;
  } else if (target_ == kAlbumPercent) {
    phase_ = Phase::kAlbum;
    Model().SetText(kItem, u"Updating the album...");
    SetMarquee(true);
  }
}

void UiDemoProgress::SetMarquee(bool on) { Model().Progress(kBar)->SetMarquee(on, kMarqueeIntervalMs); }
