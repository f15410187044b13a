#include "setup/launch/VolumeWatcherControl.h"

#include <chrono>
#include <memory>

#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/process/XpCommandLineSplit.h"
#include "platform/process/XpFindProcessesByExeName.h"
#include "platform/process/XpProcess.h"
#include "setup/config/SetupRegistryReaders.h"

namespace {

constexpr const char16_t* kWatcherKeyName = u"VolumeWatcher";
constexpr const char16_t* kExeSuffix = u".exe";
constexpr std::chrono::milliseconds kStopPause{5000};

}  // namespace

XpString SetupProgramFile(const XpString& path) {
  if (XpFileExists(path)) return path;
  const std::u16string_view text = path.View();
  if (!text.ends_with(kExeSuffix)) return XpString();
  const XpString bare(text.substr(0, text.size() - std::u16string_view(kExeSuffix).size()));
  return XpFileExists(bare) ? bare : XpString();
}

uint32_t SetupRunProgram(const XpString& program, const XpString& arguments, const XpString& workingFolder,
                         bool wait, uint32_t startFailure) {
  XpProcessStartInfo info;
  info.path = program;
  info.arguments.push_back(program);
  for (const XpString& argument : XpCommandLineSplit(arguments)) info.arguments.push_back(argument);
  info.workingFolder = workingFolder;
  std::unique_ptr<XpProcess> process;
  if (XpFailed(XpProcess::Start(info, &process))) return startFailure;
  // A process let go is reaped by the platform.
  if (!wait) return 0;
  if (XpFailed(process->Wait())) return startFailure;
  return process->GetExitCode();
}

VolumeWatcherControl::VolumeWatcherControl(XpWaitClock& clock) : clock_(clock) {}

bool VolumeWatcherControl::Locate() {
  path_ = XpString();
  name_ = XpString();
  XpString registered;
  if (!ReadProductProgramPath(kWatcherKeyName, &registered)) return false;
  path_ = SetupProgramFile(registered);
  if (path_.IsEmpty()) return false;
  name_ = XpPathGetLeafName(path_);
  return true;
}

bool VolumeWatcherControl::IsRunning() const { return !name_.IsEmpty() && !XpFindProcessesByExeName(name_).empty(); }

bool VolumeWatcherControl::Stop() {
  if (!Locate() || !IsRunning()) return true;
  const bool succeeded = Succeeded(Run(u" /exitall", true));
  clock_.SleepFor(kStopPause);
  return succeeded;
}

void VolumeWatcherControl::Start() {
  if (!Locate() || IsRunning()) return;
  static_cast<void>(Run(XpString(), false));
}

bool VolumeWatcherControl::Register(bool registration, bool requireReboot) {
  XpString arguments;
  if (registration) arguments += u" /install";
  if (requireReboot) arguments += u" /reboot";
  if (arguments.IsEmpty()) return true;
  if (!Locate()) return false;
  return Succeeded(Run(arguments, true));
}

uint32_t VolumeWatcherControl::Run(const XpString& arguments, bool wait) {
  return SetupRunProgram(path_, arguments, XpString(), wait, kStartFailed);
}

bool VolumeWatcherControl::Succeeded(uint32_t exitCode) {
  const bool restart = exitCode == kRestartNeeded || exitCode == kRestartNeededStatus;
  if (restart) restartNeeded_ = true;
  return exitCode == 0 || restart;
}
