#include "setup/launch/RunInstaller.h"

#include <chrono>
#include <memory>

#include "platform/process/XpCommandLineSplit.h"
#include "platform/process/XpProcess.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSyncObject.h"
#include "setup/launch/CPrepareMsgDlg.h"

namespace {

constexpr std::chrono::milliseconds kPollInterval{50};
constexpr uint32_t kSemaphoreMaximum = 1;

std::unique_ptr<XpProcess> StartInstaller(const InstallerLaunch& launch) {
  if (launch.program.IsEmpty()) return nullptr;
  XpProcessStartInfo info;
  info.path = launch.program;
  info.arguments.push_back(launch.program);
  for (const XpString& argument : XpCommandLineSplit(launch.command)) info.arguments.push_back(argument);
  info.workingFolder = launch.workingFolder;
  std::unique_ptr<XpProcess> process;
  if (XpFailed(XpProcess::Start(info, &process))) return nullptr;
  return process;
}

// Polls the semaphore and the process until one of them is done; true
// when the semaphore came first.
bool WaitForSemaphoreOrEnd(XpNamedObject& semaphore, XpProcess& process, XpWaitClock& clock) {
  for (;;) {
    if (XpSucceeded(semaphore.Wait(kXpTryOnce))) return true;
    if (process.HasEnded()) return false;
    clock.SleepFor(kPollInterval);
  }
}

void EndWindow(const InstallerLaunch& launch) {
  if (launch.window != nullptr) launch.window->End();
}

}  // namespace

uint32_t RunInstaller(const InstallerLaunch& launch) {
  XpNamedObject semaphore;
  bool existed = false;
  bool useSemaphore = false;
  if (launch.prepareMsg) {
    useSemaphore = XpSucceeded(semaphore.CreateSemaphore(kSetupPrepareSemaphoreName, 0, kSemaphoreMaximum, &existed)) &&
                   !existed;
    // One that existed already belongs to someone else and is not used.
    if (!useSemaphore) semaphore.Close();
  }
  std::unique_ptr<XpProcess> process = StartInstaller(launch);
  if (!process) {
    EndWindow(launch);
    return kSetupInstallerNotStarted;
  }
  if (useSemaphore && WaitForSemaphoreOrEnd(semaphore, *process, *launch.clock)) EndWindow(launch);
  semaphore.Close();
  static_cast<void>(process->Wait());
  const uint32_t exitCode = process->GetExitCode();
  if (exitCode != 0) EndWindow(launch);
  return exitCode;
}
