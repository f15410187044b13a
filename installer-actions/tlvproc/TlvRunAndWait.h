#pragma once

#include <chrono>
#include <cstdint>

#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

// Runs a command line (split by the Windows rules, its program found as
// XpFindProgram finds it) and waits up to kWaitLimit on clock for it to end.
// 0 when it ended in time; kNotFound when the program was not found, could
// not start or still runs (a running program is left to the process reaper).
class TlvRunAndWait {
 public:
  static constexpr std::chrono::milliseconds kWaitLimit{10000};
  static constexpr std::chrono::milliseconds kPollInterval{20};

  static uint32_t Run(const XpString& command, XpWaitClock& clock);
};
