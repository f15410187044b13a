#pragma once

#include <cstdint>

#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

class PreparingWindow;

// The semaphore the installer releases once to close the preparing notice.
inline constexpr const char16_t* kSetupPrepareSemaphoreName = u"Global\\QMVSetupPrepareMsgSemaphore";
// The installer's name: a program beside setup or on PATH.
inline constexpr const char16_t* kSetupInstallerProgram = u"Msiexec";
// The exit code when the installer could not be started.
inline constexpr uint32_t kSetupInstallerNotStarted = 0xCCCCCCCC;

struct InstallerLaunch {
  // The installer found; "" when there is none.
  XpString program;
  // Its command text, split into arguments by the Windows rules.
  XpString command;
  XpString workingFolder;
  // PrepareMsg is on: the run waits for the semaphore too.
  bool prepareMsg = false;
  // The notice to end; may be null.
  PreparingWindow* window = nullptr;
  XpWaitClock* clock = &XpWaitClock::Real();
};

// Starts the installer and waits without limit until it has ended; the exit
// code is always taken after that. With PrepareMsg the notice is ended as
// soon as the installer releases the semaphore; when the semaphore existed
// already, the wait is on the installer alone. On any exit code other than 0
// the notice is ended too.
uint32_t RunInstaller(const InstallerLaunch& launch);
