#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include "framework/ui/dialog/XfUiGeometry.h"
#include "framework/ui/host/XfUiTheme.h"
#include "framework/ui/host/XfUiTimers.h"

// ShowWindow commands the bar knows.
inline constexpr int32_t kSfShowHide = 0;
inline constexpr int32_t kSfShowNoActivate = 4;
inline constexpr int32_t kSfShow = 5;
inline constexpr int32_t kSfShowNa = 8;

// The bar's timers.
inline constexpr uint32_t kSfProgressTimerShow = 3001;
inline constexpr uint32_t kSfProgressTimerHide = 3002;
inline constexpr uint32_t kSfProgressTimerGlide = 3003;
inline constexpr uint32_t kSfProgressTimerMarquee = 3004;

// A progress bar as a model that back ends draw. Beyond a plain bar its
// position can glide to a new value in small timed steps, showing and hiding
// can be delayed, and it walks its own marquee where the system has none.
// Used on the UI thread only.
class SfProgressCtrl final : public XfUiTimerTarget {
 public:
  // What the own marquee paints: blocks in the block colour, the rest of
  // the client area in the face colour.
  struct MarqueePaint {
    std::vector<XfUiRect> blocks;
    XfColour blockColour = 0;
    XfColour faceColour = 0;
  };

  SfProgressCtrl();
  SfProgressCtrl(const SfProgressCtrl&) = delete;
  SfProgressCtrl& operator=(const SfProgressCtrl&) = delete;
  ~SfProgressCtrl();

  // The control comes into being: its timers run on timers, and it starts
  // visible or hidden. Before Create (and after Destroy) positions are set
  // at once and nothing is delayed.
  void Create(XfUiTimers* timers, bool visible = true);
  // Kills the show/hide, glide and marquee timers.
  void Destroy();
  bool IsCreated() const { return timers_ != nullptr; }

  // The range (0 to 100 at first); the shown position is kept inside it.
  void SetRange(int32_t lower, int32_t upper);
  void GetRange(int32_t* lower, int32_t* upper) const;
  // The position shown now, which lags behind the target while gliding.
  int32_t GetDisplayedPos() const { return displayed_; }

  // Smoothing is on when enabled and the duration is not 0; steps below 1
  // count as 1.
  void SetSmoothing(bool enabled, uint32_t durationMs, int32_t steps);
  void SetShowHideDelays(uint32_t showDelayMs, uint32_t hideDelayMs);

  // The target position.
  int32_t GetPos();
  // Moves to the position and returns the previous target.
  int32_t SetPos(int32_t position);
  // As SetPos, with the position kept inside the range first.
  int32_t SetPosClamped(int32_t position);

  void SetMarquee(bool on, uint32_t intervalMs);
  // Returns whether the bar was visible before.
  bool ShowWindow(int32_t command);
  bool IsWindowVisible() const { return visible_; }

  // True on systems whose bar draws its own marquee (NT 5.1 and later).
  bool HasNativeMarquee() const { return nativeMarquee_; }
  // The native marquee style and its interval, for back ends to animate.
  bool IsMarqueeStyle() const { return marqueeStyle_; }
  uint32_t MarqueeIntervalMs() const { return marqueeIntervalMs_; }
  // True while a marquee runs, native or own.
  bool IsMarqueeOn() const { return marqueeTimerId_ != 0; }
  int32_t MarqueePosition() const { return marqueePosition_; }

  // The client size is the renderer's.
  void SetClientSize(XfUiSize size);
  XfUiSize ClientSize() const { return client_; }

  // The own marquee's painting; nothing when the default painting applies
  // (native marquee, or the own marquee not running).
  std::optional<MarqueePaint> PaintOwnMarquee(const XfUiTheme& theme) const;

  // Marquee geometry: the block width for a client height, the number of
  // block positions across the client, and the five blocks from a position
  // (clipped, empty ones left out).
  static int32_t MarqueeBlockWidth(int32_t clientHeight);
  static int32_t MarqueePositionCount(XfUiSize client);
  static std::vector<XfUiRect> MarqueeBlocks(int32_t position, XfUiSize client);

  // Changes whenever something a renderer shows changes.
  uint64_t Revision() const { return revision_; }

  uint32_t GlideTimerId() const { return glideTimerId_; }
  uint32_t ShowHideTimerId() const { return showHideTimerId_; }
  uint32_t MarqueeTimerId() const { return marqueeTimerId_; }

  void OnTimer(uint32_t id) override;

 private:
  void MoveTo(int32_t position);
  void GlideTick();
  void MarqueeTick();
  void OnShowWindow(bool show);
  void ShowHideTick(bool show);
  void SetDisplayed(int64_t position);
  void SetVisible(bool visible);
  void KillTimer(uint32_t id);
  void Touch() { ++revision_; }

  XfUiTimers* timers_ = nullptr;
  bool visible_ = true;
  int32_t lower_ = 0;
  int32_t upper_ = 100;
  int32_t displayed_ = 0;
  XfUiSize client_;

  bool nativeMarquee_ = false;
  bool smooth_ = true;
  uint32_t glideTimerId_ = 0;
  uint32_t glideDurationMs_ = 200;
  int32_t glideSteps_ = 5;
  int32_t glideStep_ = 0;
  int32_t target_ = INT_MIN;

  uint32_t showDelayMs_ = 0;
  uint32_t hideDelayMs_ = 0;
  uint32_t showHideTimerId_ = 0;
  std::atomic<int32_t> reentry_{0};

  uint32_t marqueeTimerId_ = 0;
  int32_t marqueePosition_ = 0;
  bool marqueeStyle_ = false;
  uint32_t marqueeIntervalMs_ = 0;

  uint64_t revision_ = 0;
};
