#include "setup/launch/InstallerCommand.h"

#include "platform/path/XpPath.h"
#include "platform/process/XpCommandLineQuote.h"
#include "platform/shell/XpSpecialFolder.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/config/SetupVersionText.h"
#include "setup/settings/SetupSettings.h"

namespace {

constexpr const char16_t* kDefaultProductName = u"QMV";
constexpr const char16_t* kReinstall = u" REINSTALL=ALL REINSTALLMODE=vomus";
constexpr const char16_t* kVersionFileName = u"Version.txt";
constexpr const char16_t* kLocationName = u"InstalledLocation";
constexpr uint32_t kLocationCapacity = 261;
constexpr int32_t kRangeVersionUnits = 6;
constexpr int32_t kRangeHighestStart = 7;
constexpr const char16_t* kHistoryOwnPrefix = u"26";

// Appends one formatted part. The formats are constants matched to their
// arguments, so only a text past XpString's length limit could fail.
template <typename... Args>
void AppendPart(XpString* text, const char16_t* format, const Args&... args) {
  (void)text->AppendFormat(format, args...);
}

XpString Quote(const XpString& text) { return XpCommandLineQuote(text, true); }

const char16_t* Flag(bool set) { return set ? u"True" : u"False"; }

bool Contains(const XpString& text, const char16_t* part) {
  return text.View().find(part) != std::u16string_view::npos;
}

// The options: the log, the transforms and the quiet switch.
void AppendOptions(const SetupCommandLine& commandLine, const InstallerCommandFacts& facts, XpString* text) {
  const SetupSettings& settings = *facts.settings;
  XpString value;
  if (commandLine.HasOption(kSetupOptionThru, &value)) {
    AppendPart(text, u" /L*v %s", Quote(facts.logName));
    AppendPart(text, u" %s", value);
  } else {
    if (commandLine.HasOption(kSetupOptionLogging)) {
      AppendPart(text, u" /L*v %s", Quote(facts.logName));
      *text += u" QMVLOGGING=True";
    }
    if (commandLine.HasOption(kSetupOptionTransforms, &value)) {
      AppendPart(text, u" TRANSFORMS=:%s", value);
    } else if (!settings.Transforms().IsEmpty()) {
      AppendPart(text, u" TRANSFORMS=:%s", settings.Transforms());
    } else if (facts.languageTransform != 0) {
      AppendPart(text, u" TRANSFORMS=:%d", static_cast<int32_t>(facts.languageTransform));
    }
  }
  if (commandLine.HasOption(kSetupOptionQuiet) && (settings.GetSettingsValue() & SetupSettings::kFlagQuietAllowed) != 0) {
    *text += u" /qn";
  }
}

void AppendInstalled(const InstalledProduct& product, XpString* text) {
  AppendPart(text,
             u" INSTALLED_INSTALLPATH=%s INSTALLED_SELECTEDLANG=%s INSTALLED_COUNTRYORAREACODE=%s"
             u" INSTALLED_BROADCASTSYSTEM=%d",
             Quote(product.location), product.language, product.countryOrAreaCode,
             static_cast<int32_t>(product.broadcastSystem));
  AppendPart(text, u" OPPOSITE_UPDATE_FLAG=%s", Flag(product.IsPackageOlder()));
}

void AppendExistence(const InstalledProduct& existence, XpString* text) {
  AppendPart(text, u" DL_INSTALLED_INSTALLPATH=%s", Quote(existence.location));
  if (existence.broadcastSystem != 0) {
    AppendPart(text, u" DL_INSTALLED_BROADCASTSYSTEM=%d",
               static_cast<int32_t>(existence.broadcastSystem));
  }
  if (!existence.language.IsEmpty())
    AppendPart(text, u" DL_INSTALLED_SELECTEDLANG=%s", existence.language);
  if (!existence.countryOrAreaCode.IsEmpty()) {
    AppendPart(text, u" DL_INSTALLED_COUNTRYORAREACODE=%s", existence.countryOrAreaCode);
  }
  AppendPart(text, u" DL_OPPOSITE_UPDATE_FLAG=%s", Flag(existence.IsPackageOlder()));
  *text += kReinstall;
}

void AppendProperties(const SetupCommandLine& commandLine, const InstallerCommandFacts& facts, XpString* text) {
  const SetupSettings& settings = *facts.settings;
  if (!settings.InstallerId().IsEmpty()) AppendPart(text, u" QMVID=%s", settings.InstallerId());
  if (!settings.IsWatcherSuppressed()) *text += u" CONNECTDEVICE=True";
  if (facts.allMutexesNew) *text += u" QMVMUTEXCHECK_FLAG=False";
  if (IsProductUninstallPresent()) *text += u" INSTALLED_TLV_FLAG=True";
  if (!settings.Existence().IsEmpty()) {
    const InstalledProduct existence = ReadExistenceProduct(settings.Existence(), commandLine.packageVersion);
    if (existence.installed) AppendExistence(existence, text);
    if (facts.product.installed) AppendInstalled(facts.product, text);
  } else if (facts.product.installed) {
    AppendInstalled(facts.product, text);
    if ((settings.GetSettingsValue() & SetupSettings::kFlagNoReinstall) == 0) *text += kReinstall;
  }
  if (!settings.ProductCode().IsEmpty() && IsMachineKeyPresent(kSetupUninstallRoot + settings.ProductCode()) &&
      !Contains(*text, u"REINSTALL=ALL") && !Contains(*text, u"REINSTALLMODE=vomus")) {
    *text += kReinstall;
  }
}

// The version of the former suite, else of the product itself.
bool ReadUpdaterVersion(XpString* version) {
  XpString location;
  if (!ReadMakerValue(kSetupFormerSuiteSubkey, kLocationName, &location, kLocationCapacity) &&
      !ReadProductValue(XpString(), kLocationName, &location, kLocationCapacity)) {
    return false;
  }
  return ReadVersionText(XpPathJoin(location, kVersionFileName), version);
}

void AppendUpdaterFlag(const SetupSettings& settings, XpString* text) {
  XpString version;
  if (!ReadUpdaterVersion(&version)) return;
  if (!IsVersionInUpdateRange(version, settings.UpdateRange())) {
    *text += u" UPDATER_TARGET_FLAG=False";
    return;
  }
  XpStringVector history;
  if (!ReadSetupHistory(&history)) return;
  bool allOwn = !history.empty();
  for (const XpString& entry : history) {
    if (!entry.View().starts_with(kHistoryOwnPrefix)) allOwn = false;
  }
  AppendPart(text, u" UPDATER_TARGET_FLAG=%s", Flag(!allOwn));
}

}  // namespace

XpString SetupLogName(const XpString& productName, const XpDateTime& now) {
  XpString folder = XpGetSpecialFolder(kXpFolderTemp, false);
  XpPathAddTrailingBackslash(folder);
  const XpString name = productName.IsEmpty() ? XpString(kDefaultProductName) : productName;
  XpString logName;
  // A constant format with its own arguments cannot fail.
  (void)logName.Format(u"%s[%s]Installer-%04d%02d%02d-%02d%02d%02d.log", folder, name,
                       now.GetYear(), now.GetMonth(), now.GetDay(), now.GetHour(), now.GetMinute(),
                       now.GetSecond());
  return logName;
}

bool IsVersionInUpdateRange(const XpString& version, const XpString& range) {
  const XpString lowest = version.Left(kRangeVersionUnits);
  const XpString highest = range.GetLength() > kRangeHighestStart ? range.Mid(kRangeHighestStart) : XpString();
  return lowest.Compare(range.CStr()) > 0 && highest.Compare(lowest.CStr()) >= 0;
}

InstallerCommand BuildInstallerCommand(const SetupCommandLine& commandLine, const InstallerCommandFacts& facts) {
  InstallerCommand command;
  XpString& text = command.text;
  const SetupSettings& settings = *facts.settings;
  AppendPart(&text, u" /I %s REBOOT=ReallySuppress",
             Quote(commandLine.packageFolder + settings.Target()));
  AppendPart(&text, u" INSTALLERVERSION=%s", commandLine.packageVersion);
  if (!commandLine.installedVersion.IsEmpty())
    AppendPart(&text, u" QMVVERSION=%s", commandLine.installedVersion);
  if (facts.packageAccepted) AppendOptions(commandLine, facts, &text);
  AppendProperties(commandLine, facts, &text);
  const bool selectMode = (settings.GetSettingsValue() & SetupSettings::kFlagSelectMode) != 0;
  if (!selectMode || commandLine.HasOption(kSetupOptionInstallMode)) {
    AppendPart(&text, u" INSTALLMODE=%s SETTINGS=%d", settings.GetInstallMode(),
               static_cast<int32_t>(settings.GetSettingsValue()));
    command.installModePassed = true;
    AppendUpdaterFlag(settings, &text);
  }
  command.succeeded = facts.packageAccepted;
  return command;
}
