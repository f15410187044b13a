#pragma once

#include <cstdint>

#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

// The product's resident volume watcher, as the registry names it.
class VolumeWatcherControl {
 public:
  // The exit code of a run that could not start.
  static constexpr uint32_t kStartFailed = 31;
  static constexpr uint32_t kRestartNeeded = 3010;
  // A process's exit status keeps 8 bits here: 3010 arrives as 194.
  static constexpr uint32_t kRestartNeededStatus = kRestartNeeded & 0xFF;

  explicit VolumeWatcherControl(XpWaitClock& clock = XpWaitClock::Real());

  // The watcher's file: the path the registry names, or for a name ending
  // in ".exe" that name without it in the same folder. Never looked for on
  // PATH. False, with path and name emptied, when neither is a file.
  bool Locate();
  // Some process's executable is named as the watcher, exactly.
  bool IsRunning() const;
  // When it runs: " /exitall", waited for, then a pause of five seconds.
  // True when it does not run, or the run ended with 0 or 3010.
  bool Stop();
  // When it does not run: starts it without arguments and lets it go.
  void Start();
  // Registers it: " /install" when registration is on, " /reboot" when a
  // reboot is required; nothing runs when neither. True for 0 or 3010.
  bool Register(bool registration, bool requireReboot);

  const XpString& Path() const { return path_; }
  const XpString& Name() const { return name_; }
  // A run ended with 3010 (or its 8-bit status).
  bool IsRestartNeeded() const { return restartNeeded_; }

 private:
  // The watcher's exit code, 0 when not waited for; kStartFailed when it
  // cannot start.
  uint32_t Run(const XpString& arguments, bool wait);
  bool Succeeded(uint32_t exitCode);

  XpWaitClock& clock_;
  XpString path_;
  XpString name_;
  bool restartNeeded_ = false;
};

// The file a registry program path names: the path itself, or without a
// trailing ".exe" in the same folder; "" when neither is a file.
XpString SetupProgramFile(const XpString& path);

// Starts program in workingFolder with the arguments that the text splits
// into; waits when asked. The exit code, 0 when not waited for;
// startFailure when it cannot start.
uint32_t SetupRunProgram(const XpString& program, const XpString& arguments, const XpString& workingFolder,
                         bool wait, uint32_t startFailure);
