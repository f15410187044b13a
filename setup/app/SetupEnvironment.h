#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"
#include "setup/app/CheckOperatingSystem.h"

// What setup takes from the machine it runs on; tests give their own.
struct SetupEnvironment {
  using LineWriter = std::function<void(const std::string& line)>;

  // setup's own folder, with a trailing '/'; "" when it cannot be told.
  XpString programFolder;
  // Nothing when the system could not be asked.
  std::optional<SetupOsIdentity> os;
  // The user's POSIX locale ("de_AT.UTF-8").
  std::string userLocale;
  // Writes one line, without its line end, to standard error.
  LineWriter errorLine;
  // Writes one line to standard output; standard output itself when empty.
  LineWriter outputLine;
  // The local time of the installer's log name; the clock when empty.
  std::function<XpDateTime()> now;
  // The clock of setup's waits and pauses.
  XpWaitClock* waitClock = &XpWaitClock::Real();

  static SetupEnvironment Live();
};
