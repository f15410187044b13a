#include "setup/launch/RunFileConfiguration.h"

#include "platform/path/XpPath.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/launch/InstalledProduct.h"
#include "setup/launch/VolumeWatcherControl.h"
#include "setup/settings/SetupSettings.h"
#include "setup/signature/PackageSignature.h"

namespace {

constexpr const char16_t* kProgramName = u"QMVFileConfig.exe";
constexpr const char16_t* kLocationName = u"InstalledLocation";
constexpr uint32_t kLocationCapacity = 261;
constexpr uint32_t kNotStarted = 31;
constexpr int32_t kOldSuitePrefixUnits = 6;
constexpr const char16_t* kOldSuitePrefix = u"1.0.02";
constexpr const char16_t* kOldSuiteEntry = u"200";

XpString JoinedHistory(const XpString& formerVersion) {
  XpStringVector entries;
  static_cast<void>(ReadSetupHistory(&entries));
  if (formerVersion.Left(kOldSuitePrefixUnits).CompareNoCase(kOldSuitePrefix) == 0) entries.push_back(kOldSuiteEntry);
  XpString joined;
  for (const XpString& entry : entries) {
    if (!joined.IsEmpty()) joined += u",";
    joined += entry;
  }
  return joined;
}

}  // namespace

FileConfigurationFacts ReadFileConfigurationFacts() {
  FileConfigurationFacts facts;
  // The former suite counts only while its uninstall entry names an
  // existing location.
  if (!IsProductUninstallPresent() || !ReadFormerSuiteVersion(&facts.formerVersion)) facts.formerVersion = XpString();
  facts.pmPresent = IsMachineKeyPresent(kSetupPmUninstallKey);
  return facts;
}

XpString FileConfigurationArguments(const FileConfigurationRun& run) {
  const SetupSettings& settings = *run.settings;
  // The formats are constants matched to their arguments, so the appends cannot fail.
  XpString arguments;
  if (run.installModePassed) {
    (void)arguments.AppendFormat(u" /InstallMode=%s /Settings=%d",
                                 settings.GetFileConfigurationMode(),
                                 static_cast<int32_t>(settings.GetSettingsValue()));
  }
  const XpString& formerVersion = run.facts.formerVersion;
  const XpString history = JoinedHistory(formerVersion);
  if (!history.IsEmpty()) (void)arguments.AppendFormat(u" /QMVID=%s", history);
  if (run.facts.pmPresent) arguments += u" /PM";
  if (!formerVersion.IsEmpty()) (void)arguments.AppendFormat(u" /TLVVERSION=%s", formerVersion);
  return arguments;
}

bool RunFileConfiguration(const FileConfigurationRun& run) {
  XpString location;
  if (!ReadProductValue(XpString(), kLocationName, &location, kLocationCapacity)) return false;
  const XpString program = SetupProgramFile(XpPathJoin(location, kProgramName));
  if (program.IsEmpty()) return false;
  const bool accepted = run.accept ? run.accept(program) : IsPackageAccepted(program);
  if (!accepted) return false;
  static_cast<void>(SetupRunProgram(program, FileConfigurationArguments(run), run.programFolder, true, kNotStarted));
  return true;
}
