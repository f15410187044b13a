#include "setup/app/SetupStringTable.h"

namespace {

struct SetupStringRow {
  uint32_t id;
  const char16_t* text;
};

constexpr SetupStringRow kRows[] = {
    {103, u"setup"},
    {109, u"SETUP"},
    {121,
     u"Another version of setup is already running.\n\rOnly one version of this application can "
     u"run at a single time."},
    {122, u"%s Setup"},
    {123, u"CreateMutex failed to allocate handle for single instance check."},
    {124, u"%s Setup has failed.  If the problem persists, please contact Product Support."},
    {125, u"QMV"},
    {126,
     u"An error occurred while parsing installer settings file '%s' or the file could not be "
     u"located."},
    {127, u"CreateProcess failed for the following command-line: %s"},
    {128,
     u"Local system administrator's privileges are required to run %s Setup. Setup will now "
     u"exit."},
    {129, u"To start %1 Setup, click OK. To quit without installing, click Cancel."},
    {130, u"%s Setup Error"},
    {131,
     u"Version detection failed for %1. Insure that the installer exists at the specified "
     u"location.%n%nMessage returned: %2"},
    {132, u"Product installer '%s' could not be located. Setup will now exit."},
    {133, u"Setup has completed. Would you like to reboot now?"},
    {134, u"Setup succeeded."},
    {135, u"No version.txt."},
    {136, u"Not all the files needed are exist. Could not setup!"},
    {137,
     u"Could not install on current OS. \nTarget OS are Windows XP/Windows Server2003/Windows "
     u"Vista/Windows 7"},
    {138, u"Failed to extract file from .cab or .zip files"},
    {139, u"Failed to execute QMVVolumnWatcher.exe!"},
    {140, u"Failed to execute QMVFileConfig.exe!"},
    {141, u"The digital sign of MSI installer is invalid!"},
    {kSetupStringOsNotSupported,
     u"Cannot install because this program does not support\nWindows XP Service Pack 2 or "
     u"earlier Windows operating systems.\nUpdate to Service Pack 3 or later, and then try "
     u"again."},
    {kSetupStringFilesMissing,
     u"Cannot start %s because the necessary files do not exist or the files are corrupted."},
};

}  // namespace

const char16_t* SetupLoadString(uint32_t id) {
  for (const SetupStringRow& row : kRows) {
    if (row.id == id) return row.text;
  }
  return nullptr;
}
