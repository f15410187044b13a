#include "framework/ui/progress/SfProgressCtrl.h"

#include <algorithm>

#include "platform/system/XpSystemInfo.h"

namespace {

constexpr int32_t kMarqueeBlocks = 5;
constexpr int32_t kMarqueeStart = -5;
constexpr uint32_t kNtPlatform = 2;

// NT 5.1 and later draw the marquee themselves.
bool SystemHasNativeMarquee() {
  uint32_t platform = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  if (XpFailed(XpGetOSVersion(&platform, &major, &minor))) {
    return false;
  }
  return platform == kNtPlatform && (major > 5 || (major == 5 && minor >= 1));
}

bool IsShowCommandThatCancelsHide(int32_t command) {
  return command == kSfShowNoActivate || command == kSfShow || command == kSfShowNa;
}

}  // namespace

SfProgressCtrl::SfProgressCtrl() : nativeMarquee_(SystemHasNativeMarquee()) {}

SfProgressCtrl::~SfProgressCtrl() { Destroy(); }

void SfProgressCtrl::Create(XfUiTimers* timers, bool visible) {
  timers_ = timers;
  visible_ = visible;
  Touch();
}

void SfProgressCtrl::Destroy() {
  if (timers_ == nullptr) {
    return;
  }
  KillTimer(showHideTimerId_);
  KillTimer(kSfProgressTimerGlide);
  KillTimer(kSfProgressTimerMarquee);
  showHideTimerId_ = 0;
  glideTimerId_ = 0;
  marqueeTimerId_ = 0;
  timers_ = nullptr;
}

void SfProgressCtrl::SetRange(int32_t lower, int32_t upper) {
  lower_ = lower;
  upper_ = upper;
  SetDisplayed(displayed_);
  Touch();
}

void SfProgressCtrl::GetRange(int32_t* lower, int32_t* upper) const {
  if (lower != nullptr) {
    *lower = lower_;
  }
  if (upper != nullptr) {
    *upper = upper_;
  }
}

void SfProgressCtrl::SetSmoothing(bool enabled, uint32_t durationMs, int32_t steps) {
  smooth_ = enabled && durationMs != 0;
  glideDurationMs_ = durationMs;
  glideSteps_ = std::max(steps, 1);
}

void SfProgressCtrl::SetShowHideDelays(uint32_t showDelayMs, uint32_t hideDelayMs) {
  showDelayMs_ = showDelayMs;
  hideDelayMs_ = hideDelayMs;
}

int32_t SfProgressCtrl::GetPos() {
  if (target_ == INT_MIN) {
    target_ = displayed_;
  }
  return target_;
}

int32_t SfProgressCtrl::SetPos(int32_t position) {
  const int32_t previous = GetPos();
  MoveTo(position);
  return previous;
}

int32_t SfProgressCtrl::SetPosClamped(int32_t position) {
  const int32_t low = std::min(lower_, upper_);
  const int32_t high = std::max(lower_, upper_);
  return SetPos(std::clamp(position, low, high));
}

void SfProgressCtrl::MoveTo(int32_t position) {
  if (position == target_) {
    return;
  }
  target_ = position;
  const int32_t current = displayed_;
  if (!smooth_ || timers_ == nullptr || !visible_ || current == target_) {
    SetDisplayed(target_);
    return;
  }
  const int64_t step = (static_cast<int64_t>(target_) - current) / glideSteps_;
  glideStep_ = static_cast<int32_t>(std::max<int64_t>(step, 1));
  const uint32_t interval = std::max<uint32_t>(glideDurationMs_ / static_cast<uint32_t>(glideSteps_), 1);
  timers_->Set(this, kSfProgressTimerGlide, interval);
  glideTimerId_ = kSfProgressTimerGlide;
}

void SfProgressCtrl::GlideTick() {
  int64_t position = static_cast<int64_t>(displayed_) + glideStep_;
  if (glideStep_ >= 1 && target_ <= position) {
    position = target_;
    KillTimer(kSfProgressTimerGlide);
    glideTimerId_ = 0;
  }
  SetDisplayed(position);
}

void SfProgressCtrl::SetMarquee(bool on, uint32_t intervalMs) {
  if (nativeMarquee_) {
    marqueeStyle_ = on;
    marqueeIntervalMs_ = intervalMs;
    marqueeTimerId_ = on ? kSfProgressTimerMarquee : 0;
    Touch();
    return;
  }
  if (timers_ == nullptr) {
    return;
  }
  if (!on) {
    KillTimer(kSfProgressTimerMarquee);
    marqueeTimerId_ = 0;
    Touch();
    return;
  }
  if (marqueeTimerId_ != kSfProgressTimerMarquee) {
    marqueePosition_ = kMarqueeStart;
    Touch();
  }
  timers_->Set(this, kSfProgressTimerMarquee, intervalMs);
  marqueeTimerId_ = kSfProgressTimerMarquee;
}

void SfProgressCtrl::MarqueeTick() {
  const int32_t count = MarqueePositionCount(client_);
  ++marqueePosition_;
  if (marqueePosition_ >= count) {
    marqueePosition_ = 0;
  }
  Touch();
}

bool SfProgressCtrl::ShowWindow(int32_t command) {
  const bool wasVisible = visible_;
  if (IsShowCommandThatCancelsHide(command) && showHideTimerId_ == kSfProgressTimerHide) {
    KillTimer(kSfProgressTimerHide);
    showHideTimerId_ = 0;
  }
  OnShowWindow(command != kSfShowHide);
  return wasVisible;
}

void SfProgressCtrl::OnShowWindow(bool show) {
  const uint32_t opposite = show ? kSfProgressTimerHide : kSfProgressTimerShow;
  if (showHideTimerId_ == opposite) {
    KillTimer(opposite);
    showHideTimerId_ = 0;
  }
  const uint32_t delay = show ? showDelayMs_ : hideDelayMs_;
  if (reentry_.load() >= 1 || timers_ == nullptr || delay == 0) {
    SetVisible(show);
    return;
  }
  if (visible_ == show) {
    return;
  }
  // While the timer is pending the visibility stays as it is.
  const uint32_t wanted = show ? kSfProgressTimerShow : kSfProgressTimerHide;
  if (showHideTimerId_ != wanted) {
    timers_->Set(this, wanted, delay);
    showHideTimerId_ = wanted;
  }
}

void SfProgressCtrl::ShowHideTick(bool show) {
  KillTimer(show ? kSfProgressTimerShow : kSfProgressTimerHide);
  showHideTimerId_ = 0;
  reentry_.fetch_add(1);
  ShowWindow(show ? kSfShowNoActivate : kSfShowHide);
  reentry_.fetch_sub(1);
}

void SfProgressCtrl::OnTimer(uint32_t id) {
  switch (id) {
    case kSfProgressTimerShow:
      ShowHideTick(true);
      break;
    case kSfProgressTimerHide:
      ShowHideTick(false);
      break;
    case kSfProgressTimerGlide:
      GlideTick();
      break;
    case kSfProgressTimerMarquee:
      MarqueeTick();
      break;
    default:
      break;
  }
}

void SfProgressCtrl::SetClientSize(XfUiSize size) {
  if (size == client_) {
    return;
  }
  client_ = size;
  Touch();
}

std::optional<SfProgressCtrl::MarqueePaint> SfProgressCtrl::PaintOwnMarquee(const XfUiTheme& theme) const {
  if (nativeMarquee_ || marqueeTimerId_ != kSfProgressTimerMarquee) {
    return std::nullopt;
  }
  MarqueePaint paint;
  paint.blocks = MarqueeBlocks(marqueePosition_, client_);
  paint.blockColour = theme.GetSysColor(kXfColourHighlight);
  paint.faceColour = theme.GetSysColor(kXfColourButtonFace);
  return paint;
}

int32_t SfProgressCtrl::MarqueeBlockWidth(int32_t clientHeight) { return (2 * clientHeight - 4) / 3 + 2; }

int32_t SfProgressCtrl::MarqueePositionCount(XfUiSize client) {
  const int32_t block = MarqueeBlockWidth(client.height);
  if (block <= 0) {
    return 0;
  }
  return (client.width + block - 1) / block;
}

std::vector<XfUiRect> SfProgressCtrl::MarqueeBlocks(int32_t position, XfUiSize client) {
  std::vector<XfUiRect> blocks;
  const int32_t block = MarqueeBlockWidth(client.height);
  const int32_t count = MarqueePositionCount(client);
  const XfUiRect area{0, 0, client.width, client.height};
  for (int32_t k = 0; k < kMarqueeBlocks; ++k) {
    int32_t slot = position + k;
    if (count > 0 && slot >= count) {
      slot %= count;
    }
    const int32_t left = slot * block;
    const XfUiRect rect = XfUiRect{left + 1, area.top + 1, left + block - 1, area.bottom - 1}.Intersect(area);
    if (!rect.IsEmpty()) {
      blocks.push_back(rect);
    }
  }
  return blocks;
}

void SfProgressCtrl::SetDisplayed(int64_t position) {
  const int64_t low = std::min(lower_, upper_);
  const int64_t high = std::max(lower_, upper_);
  const auto clamped = static_cast<int32_t>(std::clamp(position, low, high));
  if (clamped == displayed_) {
    return;
  }
  displayed_ = clamped;
  Touch();
}

void SfProgressCtrl::SetVisible(bool visible) {
  if (visible == visible_) {
    return;
  }
  visible_ = visible;
  Touch();
}

void SfProgressCtrl::KillTimer(uint32_t id) {
  if (timers_ != nullptr && id != 0) {
    timers_->Kill(this, id);
  }
}
