#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// A colour as 0x00BBGGRR.
using XfColour = uint32_t;

inline constexpr XfColour XfRgb(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<XfColour>(red) | (static_cast<XfColour>(green) << 8) | (static_cast<XfColour>(blue) << 16);
}

// System colour indexes that drawing models use.
inline constexpr int32_t kXfColourWindow = 5;
inline constexpr int32_t kXfColourWindowText = 8;
inline constexpr int32_t kXfColourHighlight = 13;
inline constexpr int32_t kXfColourHighlightText = 14;
inline constexpr int32_t kXfColourButtonFace = 15;
inline constexpr int32_t kXfColour3dFace = kXfColourButtonFace;
inline constexpr int32_t kXfColourGrayText = 17;
inline constexpr int32_t kXfColourButtonText = 18;

// The system colours. They start at fixed defaults; tests and back ends may
// change them, and every change is announced to the subscribers ("colours
// changed"), outside the theme's lock. Safe to use from any thread.
class XfUiTheme {
 public:
  using Listener = std::function<void()>;

  XfUiTheme();
  XfUiTheme(const XfUiTheme&) = delete;
  XfUiTheme& operator=(const XfUiTheme&) = delete;

  // 0 for an index without a colour.
  XfColour GetSysColor(int32_t index) const;
  void SetSysColor(int32_t index, XfColour colour);
  // Several colours at once, announced once.
  void SetSysColors(const std::map<int32_t, XfColour>& colours);
  // Back to the defaults, announced once.
  void Reset();

  // Returns a token for Unsubscribe.
  int32_t Subscribe(Listener listener);
  void Unsubscribe(int32_t token);

 private:
  void Announce();

  mutable std::mutex mutex_;
  std::map<int32_t, XfColour> colours_;
  std::map<int32_t, Listener> listeners_;
  int32_t nextToken_ = 1;
};
