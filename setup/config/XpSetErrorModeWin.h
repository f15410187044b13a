#pragma once

#include <cstdint>

// A scope guard that keeps the process's error mode and gives it back when
// it goes. Linux has no error mode (nothing shows critical-error boxes), so
// the mode kept is always 0 and nothing changes.
class XpSetErrorModeWin {
 public:
  XpSetErrorModeWin();
  XpSetErrorModeWin(const XpSetErrorModeWin&) = delete;
  XpSetErrorModeWin& operator=(const XpSetErrorModeWin&) = delete;
  ~XpSetErrorModeWin();

  uint32_t GetPreviousMode() const { return previousMode_; }

 private:
  uint32_t previousMode_ = 0;
};
