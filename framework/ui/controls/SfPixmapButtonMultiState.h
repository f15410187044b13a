#pragma once

#include <cstdint>
#include <vector>

#include "framework/ui/controls/SfPixmapButton.h"

// A pixmap button with several states, each with its own four pictures,
// that moves to the next state on every click (the last back to the
// first). Its one bitmap holds 4 x N pictures stacked top to bottom, each
// of height / (4 x N); state s takes pictures 4s to 4s + 3.
class SfPixmapButtonMultiState : public SfPixmapButton {
 public:
  // stateCount below 1 counts as 1.
  SfPixmapButtonMultiState(XfUiTheme& theme, const XpResourceModule* resources,
                           uint32_t controlId, int32_t stateCount);

  // The pictures come from one bitmap only (SetBitmap): does nothing.
  void SetBitmaps(uint32_t normal, uint32_t pushed, uint32_t disabled, uint32_t hovered) override;
  // A state index other than the current one changes the state; any other
  // value is an ordinary check value.
  void SetCheck(int32_t value) override;
  // Moves to the next state, then clicks.
  void Click() override;

  int32_t GetState() const { return state_; }
  int32_t GetStateCount() const { return static_cast<int32_t>(next_.size()); }
  // Repaints only when the state changes; an index outside the states is
  // ignored.
  void SetState(int32_t state);
  // State 1 for on, 0 for off.
  void SetStateOn(bool on) { SetState(on ? 1 : 0); }

 protected:
  int32_t CurrentState() const override { return state_; }

 private:
  bool IsState(int32_t value) const { return value >= 0 && value < GetStateCount(); }

  std::vector<int32_t> next_;
  int32_t state_ = 0;
};
