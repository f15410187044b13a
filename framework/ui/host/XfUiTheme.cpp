#include "framework/ui/host/XfUiTheme.h"

#include <utility>

namespace {

std::map<int32_t, XfColour> DefaultColours() {
  return {
      {kXfColourWindow, XfRgb(255, 255, 255)},      {kXfColourWindowText, XfRgb(0, 0, 0)},
      {kXfColourHighlight, XfRgb(51, 153, 255)},    {kXfColourHighlightText, XfRgb(255, 255, 255)},
      {kXfColourButtonFace, XfRgb(240, 240, 240)},  {kXfColourGrayText, XfRgb(109, 109, 109)},
      {kXfColourButtonText, XfRgb(0, 0, 0)},
  };
}

}  // namespace

XfUiTheme::XfUiTheme() : colours_(DefaultColours()) {}

XfColour XfUiTheme::GetSysColor(int32_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = colours_.find(index);
  return found == colours_.end() ? 0 : found->second;
}

void XfUiTheme::SetSysColor(int32_t index, XfColour colour) { SetSysColors({{index, colour}}); }

void XfUiTheme::SetSysColors(const std::map<int32_t, XfColour>& colours) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [index, colour] : colours) {
      colours_[index] = colour;
    }
  }
  Announce();
}

void XfUiTheme::Reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    colours_ = DefaultColours();
  }
  Announce();
}

int32_t XfUiTheme::Subscribe(Listener listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int32_t token = nextToken_++;
  listeners_.emplace(token, std::move(listener));
  return token;
}

void XfUiTheme::Unsubscribe(int32_t token) {
  std::lock_guard<std::mutex> lock(mutex_);
  listeners_.erase(token);
}

void XfUiTheme::Announce() {
  std::map<int32_t, Listener> listeners;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listeners = listeners_;
  }
  for (const auto& [token, listener] : listeners) {
    listener();
  }
}
