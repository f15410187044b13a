#include "setup/app/SetupApplication.h"

#include <unistd.h>

#include <utility>

#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/process/XpFindProgram.h"
#include "setup/app/CheckOperatingSystem.h"
#include "setup/app/ReportError.h"
#include "setup/app/SetupMutex.h"
#include "setup/app/SetupStringTable.h"
#include "setup/config/SetupVersionText.h"
#include "setup/config/UserLanguageTransform.h"
#include "setup/launch/CPrepareMsgDlg.h"
#include "setup/launch/RestartWindows.h"
#include "setup/launch/SetPackageSourceList.h"
#include "setup/launch/SetupCommandLine.h"
#include "setup/package/CheckRequiredFiles.h"
#include "setup/package/ExtractPackageArchive.h"
#include "setup/package/SettingsDigestCheck.h"
#include "setup/signature/PackageSignature.h"

namespace {

constexpr const char16_t* kDataFolderName = u"Data/";
constexpr const char16_t* kDigestFileName = u"data.bin";
constexpr const char16_t* kVersionFileName = u"Version.txt";
// The text of a report when the settings file is missing or incomplete.
constexpr const char16_t* kInstallerText = u"Installer";
constexpr const char16_t* kArchiveSuffixes[] = {u".cab", u".zip"};
constexpr const char* kLinePrefix = "setup: ";

std::string Quoted(const XpString& path) { return "\"" + path.ToMultiByte().ToStdString() + "\""; }

// The path ends in ".cab" or ".zip", compared exactly.
bool IsArchiveName(const XpString& path) {
  for (const char16_t* suffix : kArchiveSuffixes) {
    if (path.View().ends_with(suffix)) return true;
  }
  return false;
}

}  // namespace

SetupApplication::SetupApplication(XfUiHost& host, SetupEnvironment environment)
    : host_(host), environment_(std::move(environment)), watcher_(*environment_.waitClock) {}

SetupApplication::~SetupApplication() { EndPreparingWindow(); }

void SetupApplication::EndPreparingWindow() {
  if (window_) window_->End();
}

int SetupApplication::Run(const XpStringVector& arguments) {
  arguments_ = arguments;
  std::optional<CError> error = StartUp();
  if (!error) error = CheckInstallSet();
  if (!error) error = PrepareInstaller();
  const int status = error ? Report(*error) : Install();
  EndPreparingWindow();
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
    // The command fails only when the package was refused.
    return FilesMissing("the installer package " + Quoted(dataFolder_ + settings_.Target()) +
                        " has no valid signature of the maker");
  }
  return std::nullopt;
}

int SetupApplication::Install() {
  const uint32_t installerExit = RunInstaller();
  if (installerExit != 0) {
    if (settings_.IsWatcherSuppressed()) StartWatcher();
    ErrorLine(
        installerExit == kSetupInstallerNotStarted
            ? "the installer \"" + XpString(kSetupInstallerProgram).ToMultiByte().ToStdString() +
                  "\" could not be started: looked in " + Quoted(programFolder_) + " and on PATH"
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
  if (!programFolder_.IsEmpty() && ::chdir(programFolder_.ToMultiByte().CStr()) != 0) {
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
  ErrorLine("the mutex " + XpString(name).ToMultiByte().ToStdString() + " cannot be made");
  return false;
}

int SetupApplication::Report(const CError& error) {
  EndPreparingWindow();
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

XpString SetupApplication::FindInstaller() const {
  const XpString beside = programFolder_ + kSetupInstallerProgram;
  if (!programFolder_.IsEmpty() && XpFileExists(beside)) return beside;
  return XpFindProgram(kSetupInstallerProgram);
}

void SetupApplication::StartPreparingWindow() {
  if (window_) return;
  window_ = std::make_unique<PreparingWindow>(host_, settings_.ProductName());
  window_->Start();
}

bool SetupApplication::ExtractPackage(const XpString& archive, const XpString& folder) {
  const XpResult result = ExtractPackageArchive(archive, folder);
  if (XpFailed(result)) ErrorLine("unpacking ended with code " + std::to_string(result));
  return XpSucceeded(result);
}

bool SetupApplication::VerifySettingsDigest() {
  SettingsDigestCheck check(host_, settingsPath_, dataFolder_ + kDigestFileName);
  return check.Verify();
}

void SetupApplication::StopWatcher() { static_cast<void>(watcher_.Stop()); }

void SetupApplication::StartWatcher() { watcher_.Start(); }

void SetupApplication::RegisterWatcher() {
  static_cast<void>(watcher_.Register(!settings_.IsWatcherSuppressed(), settings_.IsRebootRequired()));
}

bool SetupApplication::CheckRequiredFiles() {
  return ::CheckRequiredFiles(programFolder_, settings_.Target());
}

void SetupApplication::ReadFileConfigurationFacts() { fileFacts_ = ::ReadFileConfigurationFacts(); }

void SetupApplication::SetPackageSourceList() {
  static_cast<void>(::SetPackageSourceList(settings_.Target(), programFolder_));
}

void SetupApplication::ReadInstalledProduct() { product_ = ::ReadInstalledProduct(packageVersion_); }

bool SetupApplication::BuildInstallerCommand(const XpStringVector& arguments, bool allMutexesNew) {
  const SetupCommandLine commandLine =
      ParseSetupCommandLine(arguments, dataFolder_, packageVersion_, product_.version);
  InstallerCommandFacts facts;
  facts.settings = &settings_;
  facts.allMutexesNew = allMutexesNew;
  facts.packageAccepted = IsPackageAccepted(dataFolder_ + settings_.Target());
  uint32_t transform = 0;
  if (UserLanguageTransform(SetupLcidFromLocale(environment_.userLocale), &transform)) {
    facts.languageTransform = transform;
  }
  facts.logName = SetupLogName(settings_.ProductName(), environment_.now ? environment_.now() : XpDateTime::Now());
  facts.product = product_;
  command_ = ::BuildInstallerCommand(commandLine, facts);
  return command_.succeeded;
}

uint32_t SetupApplication::RunInstaller() {
  InstallerLaunch launch;
  launch.program = FindInstaller();
  launch.command = command_.text;
  launch.workingFolder = programFolder_;
  launch.prepareMsg = settings_.IsPrepareMsgOn();
  launch.window = window_.get();
  launch.clock = environment_.waitClock;
  return ::RunInstaller(launch);
}

void SetupApplication::RunFileConfiguration() {
  FileConfigurationRun run;
  run.facts = fileFacts_;
  run.settings = &settings_;
  run.installModePassed = command_.installModePassed;
  run.programFolder = programFolder_;
  static_cast<void>(::RunFileConfiguration(run));
}

bool SetupApplication::IsRestartNeeded() { return watcher_.IsRestartNeeded(); }

void SetupApplication::RestartWindows() { ::RestartWindows(environment_.outputLine); }
