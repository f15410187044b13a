// A small action library over InstallerCommonFunction, to show the log
// that a custom action writes.

#include "installer-actions/common/InstallerCommonFunction.h"

extern "C" __attribute__((visibility("default"))) uint32_t IcfTest_LogEntry(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  XpString message;
  (void)message.Format(u"MSI Hundle: %d", install);
  common.LogTitled(u"IcfTest_LogEntry Start", message);
  XpString value;
  (void)common.GetPropertyMsi(install, u"ProductName", value);
  (void)common.GetPropertyMsi(install, u"QMV_INSTALLER_LOGFILENAME", value);
  common.LogTitled(u"IcfTest_LogEntry End", message);
  return 0;
}
