#include "installer-actions/tlvproc/TlvRunAndWait.h"

#include <memory>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "platform/process/XpCommandLineSplit.h"
#include "platform/process/XpFindProgram.h"
#include "platform/process/XpProcess.h"

uint32_t TlvRunAndWait::Run(const XpString& command, XpWaitClock& clock) {
  const XpStringVector arguments = XpCommandLineSplit(command);
  if (arguments.empty()) return InstallerCommonFunction::kNotFound;
  XpProcessStartInfo info;
  info.path = XpFindProgram(arguments.front());
  if (info.path.IsEmpty()) return InstallerCommonFunction::kNotFound;
  info.arguments = arguments;
  std::unique_ptr<XpProcess> process;
  if (XpFailed(XpProcess::Start(info, &process))) return InstallerCommonFunction::kNotFound;
  const XpWaitClock::TimePoint deadline = clock.Now() + kWaitLimit;
  while (!process->HasEnded()) {
    if (clock.Now() >= deadline) return InstallerCommonFunction::kNotFound;
    clock.SleepFor(kPollInterval);
  }
  return 0;
}
