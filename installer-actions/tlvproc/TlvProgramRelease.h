#pragma once

#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/tlvproc/TlvTables.h"
#include "platform/sync/XpWaitClock.h"

// Stops and unregisters the former suite's programs: its COM servers and
// its resident programs. Each command waits on clock (see TlvRunAndWait).
class TlvProgramRelease {
 public:
  TlvProgramRelease(InstallerCommonFunction& common, XpWaitClock& clock) : common_(common), clock_(clock) {}

  // For each class: its registered server, "LocalServer32" before
  // "InprocServer32"; a program server is run with "/unregserver", a
  // library server is unregistered through "regsvr32.exe /u /s". A class
  // with neither is skipped.
  void ReleaseServers(const std::vector<TlvComServerRow>& servers);
  // Each resident program found below the former folder, in table order:
  // "/exitall", then "/unregistall". A program not found is skipped.
  void ReleaseResidents();

  // The command that unregisters a registered server.
  static XpString ServerCommand(int32_t kind, const XpString& registered);

 private:
  InstallerCommonFunction& common_;
  XpWaitClock& clock_;
};
