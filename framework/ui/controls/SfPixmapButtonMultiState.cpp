#include "framework/ui/controls/SfPixmapButtonMultiState.h"

SfPixmapButtonMultiState::SfPixmapButtonMultiState(XfUiTheme& theme,
                                                   const XpResourceModule* resources,
                                                   uint32_t controlId, int32_t stateCount)
    : SfPixmapButton(theme, resources, controlId, stateCount) {
  const int32_t count = stateCount < 1 ? 1 : stateCount;
  for (int32_t state = 0; state < count; ++state) {
    next_.push_back(state + 1 < count ? state + 1 : 0);
  }
}

void SfPixmapButtonMultiState::SetBitmaps(uint32_t /*normal*/, uint32_t /*pushed*/,
                                          uint32_t /*disabled*/, uint32_t /*hovered*/) {}

void SfPixmapButtonMultiState::SetCheck(int32_t value) {
  if (IsState(value) && value != state_) {
    state_ = value;
    StoreCheck(value);
    Invalidate();
    return;
  }
  SfPixmapButton::SetCheck(value);
}

void SfPixmapButtonMultiState::Click() {
  state_ = next_[static_cast<size_t>(state_)];
  Invalidate();
  SfPixmapButton::Click();
}

void SfPixmapButtonMultiState::SetState(int32_t state) {
  if (!IsState(state) || state == state_) {
    return;
  }
  state_ = state;
  Invalidate();
}
