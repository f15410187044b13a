#include "setup/app/SetupApplication.h"

#include <unistd.h>

#include <utility>

#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "setup/app/CheckOperatingSystem.h"
#include "setup/app/ReportError.h"
#include "setup/app/SetupMutex.h"
#include "setup/app/SetupStringTable.h"
#include "setup/config/SetupVersionText.h"
#include "setup/package/CheckRequiredFiles.h"
#include "setup/package/ExtractPackageArchive.h"
#include "setup/package/SettingsDigestCheck.h"

namespace {

constexpr const char16_t* kDataFolderName = u"Data/";
constexpr const char16_t* kDigestFileName = u"data.bin";
constexpr const char16_t* kVersionFileName = u"Version.txt";
// The text of a report when the settings file is missing or incomplete.
constexpr const char16_t* kInstallerText = u"Installer";
constexpr const char16_t* kArchiveSuffixes[] = {u".cab", u".zip"};
constexpr const char* kLinePrefix = "setup: ";

std::string Utf8(const XpString& text) { return std::string(text.ToMultiByte().View()); }

std::string Quoted(const XpString& path) { return "\"" + Utf8(path) + "\""; }

// The path ends in ".cab" or ".zip", compared exactly.
bool IsArchiveName(const XpString& path) {
  for (const char16_t* suffix : kArchiveSuffixes) {
    if (path.View().ends_with(suffix)) return true;
  }
  return false;
}

}  // namespace

SetupApplication::SetupApplication(XfUiHost& host, SetupEnvironment environment)
    : host_(host), environment_(std::move(environment)) {}

SetupApplication::~SetupApplication() = default;

int SetupApplication::Run(const XpStringVector& arguments) {
  arguments_ = arguments;
  std::optional<CError> error = StartUp();
  if (!error) error = CheckInstallSet();
  if (!error) error = PrepareInstaller();
  const int status = error ? Report(*error) : Install();
  CloseMutexes();
  return status;
}

std::optional<CError> SetupApplication::StartUp() {
  EnterProgramFolder();
  busy_ = TakeMutex(kSetupBootstrapMutexName, bootstrapMutex_);
  if (TakeMutex(kSetupInstallerMutexName, installerMutex_)) busy_ = true;

  if (programFolder_.IsEmpty() || !XpFileExists(settingsPath_)) {
    return CError(kSetupStringFilesMissing, XpString(kInstallerText),
                  "the settings file " + Quoted(settingsPath_) + " is missing or not a file");
  }
  if (!settings_.Read(settingsPath_)) {
    return CError(kSetupStringFilesMissing, XpString(kInstallerText),
                  "the settings file " + Quoted(settingsPath_) +
                      " lacks a required key or its Settings value is not valid");
  }
  return std::nullopt;
}

std::optional<CError> SetupApplication::CheckInstallSet() {
  if (settings_.IsPrepareMsgOn()) StartPreparingWindow();
  if (!settings_.Extract().IsEmpty()) {
    const XpString archive = XpPathJoin(programFolder_, settings_.Extract());
    if (IsArchiveName(archive) && !ExtractPackage(archive, dataFolder_)) {
      return FilesMissing("the archive " + Quoted(archive) + " could not be unpacked");
    }
  }
  const XpString digestFile = dataFolder_ + kDigestFileName;
  if (!XpFileExists(digestFile)) {
    return FilesMissing("the digest file " + Quoted(digestFile) + " is missing or not a file");
  }
  if (!VerifySettingsDigest()) {
    return FilesMissing("the settings file does not match " + Quoted(digestFile));
  }
  StopWatcher();
  if (TakeMutex(kSetupViewerMutexName, viewerMutex_)) {
    if (settings_.IsWatcherSuppressed()) StartWatcher();
    busy_ = true;
  }
  if (!environment_.os || !CheckOperatingSystem(*environment_.os)) {
    return CError(kSetupStringOsNotSupported, std::nullopt,
                  "this operating system is not supported");
  }
  if (!CheckRequiredFiles()) return FilesMissing("a required file of the install set is missing");
  const XpString versionFile = dataFolder_ + kVersionFileName;
  if (!ReadVersionText(versionFile, &packageVersion_)) {
    return FilesMissing("the package version " + Quoted(versionFile) + " cannot be read");
  }
  return std::nullopt;
}

std::optional<CError> SetupApplication::PrepareInstaller() {
  ReadFileConfigurationFacts();
  SetPackageSourceList();
  ReadInstalledProduct();
  if (!BuildInstallerCommand(arguments_, allMutexesNew_)) {
    return FilesMissing("the installer command could not be built");
  }
  return std::nullopt;
}

int SetupApplication::Install() {
  const uint32_t installerExit = RunInstaller();
  if (installerExit != 0) {
    if (settings_.IsWatcherSuppressed()) StartWatcher();
    ErrorLine(installerExit == kSetupInstallerNotStarted
                  ? std::string("the installer could not be started")
                  : "the installer ended with exit code " + std::to_string(installerExit));
    return kSetupExitBusy;
  }
  if (busy_) {
    ErrorLine("another setup was running");
    return kSetupExitBusy;
  }
  RunFileConfiguration();
  RegisterWatcher();
  ReleaseSetupMutex(kSetupViewerMutexName, viewerMutex_);
  ReleaseSetupMutex(kSetupInstallerMutexName, installerMutex_);
  StartWatcher();
  if (IsRestartNeeded()) RestartWindows();
  return kSetupExitSuccess;
}

void SetupApplication::EnterProgramFolder() {
  programFolder_ = environment_.programFolder;
  if (!programFolder_.IsEmpty()) XpPathAddTrailingBackslash(programFolder_);
  dataFolder_ = programFolder_ + kDataFolderName;
  settingsPath_ = programFolder_ + SetupSettings::kFileName;
  // Every path setup uses is absolute: a folder that cannot be entered
  // only leaves the programs setup starts in another working folder.
  if (!programFolder_.IsEmpty() && ::chdir(Utf8(programFolder_).c_str()) != 0) {
    ErrorLine("cannot enter the folder " + Quoted(programFolder_));
  }
}

bool SetupApplication::TakeMutex(const char16_t* name, XpNamedObject& handle) {
  switch (CreateSetupMutex(name, handle)) {
    case SetupMutexOutcome::kCreated:
      return false;
    case SetupMutexOutcome::kExisted:
      allMutexesNew_ = false;
      return true;
    case SetupMutexOutcome::kFailed:
      break;
  }
  // Not another setup, but setup cannot claim that every mutex is its own.
  allMutexesNew_ = false;
  ErrorLine("the mutex " + Utf8(name) + " cannot be made");
  return false;
}

int SetupApplication::Report(const CError& error) {
  ErrorLine(error.Reason());
  ReportError(error, settings_, host_);
  return error.ExitValue();
}

void SetupApplication::CloseMutexes() {
  viewerMutex_.Close();
  installerMutex_.Close();
  bootstrapMutex_.Close();
}

void SetupApplication::ErrorLine(const std::string& text) const {
  if (environment_.errorLine) environment_.errorLine(kLinePrefix + text);
}

CError SetupApplication::FilesMissing(const std::string& reason) const {
  return CError(kSetupStringFilesMissing, std::nullopt, reason);
}

void SetupApplication::StartPreparingWindow() {}

bool SetupApplication::ExtractPackage(const XpString& archive, const XpString& folder) {
  const XpResult result = ExtractPackageArchive(archive, folder);
  if (XpFailed(result)) ErrorLine("unpacking ended with code " + std::to_string(result));
  return XpSucceeded(result);
}

bool SetupApplication::VerifySettingsDigest() {
  SettingsDigestCheck check(host_, settingsPath_, dataFolder_ + kDigestFileName);
  return check.Verify();
}

void SetupApplication::StopWatcher() {}

void SetupApplication::StartWatcher() {}

void SetupApplication::RegisterWatcher() {}

bool SetupApplication::CheckRequiredFiles() {
  return ::CheckRequiredFiles(programFolder_, settings_.Target());
}

void SetupApplication::ReadFileConfigurationFacts() {}

void SetupApplication::SetPackageSourceList() {}

void SetupApplication::ReadInstalledProduct() {}

bool SetupApplication::BuildInstallerCommand(const XpStringVector& /*arguments*/,
                                             bool /*allMutexesNew*/) {
  return false;
}

uint32_t SetupApplication::RunInstaller() { return kSetupInstallerNotStarted; }

void SetupApplication::RunFileConfiguration() {}

bool SetupApplication::IsRestartNeeded() { return false; }

void SetupApplication::RestartWindows() {}
