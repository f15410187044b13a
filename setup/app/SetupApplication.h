#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/sync/XpNamedObject.h"
#include "platform/text/XpString.h"
#include "setup/app/CError.h"
#include "setup/app/SetupEnvironment.h"
#include "setup/launch/InstallerCommand.h"
#include "setup/launch/RunFileConfiguration.h"
#include "setup/launch/RunInstaller.h"
#include "setup/launch/VolumeWatcherControl.h"
#include "setup/settings/SetupSettings.h"

class PreparingWindow;
class XfUiHost;

// Exit statuses of setup.
inline constexpr int kSetupExitSuccess = 0;
inline constexpr int kSetupExitFailure = CError::kExitValue;
// Another setup was running, or the installer failed.
inline constexpr int kSetupExitBusy = 80;

// setup from start to exit, in its fixed order of steps:
//   1 make the program folder the working folder;
//   2, 3 create the bootstrap and the installer mutex;
//   4, 5 read "setup.ini" from the program folder;
//   6 start the preparing window when PrepareMsg is "True";
//   7 unpack the archive that Extract names;
//   8 "Data/data.bin" must be a file, and the settings must match it;
//   9 stop the resident watcher; 10 create the viewer mutex;
//   11 check the operating system; 12 check the required files;
//   14 read the package's "Data/Version.txt";
//   15-17 read what the installer run needs; 18 build its command;
//   19 run the installer; 20 a busy setup stops here;
//   21 run the file configuration; 22 register the watcher;
//   23 release the viewer and installer mutexes and start the watcher;
//   24 restart when a watcher run asked for it.
// A failure before the installer runs is reported with one box and ends
// setup with exit status 1.
//
// The steps that unpack and check the package and that drive the installer
// are the protected hooks below; tests replace them to watch the order.
class SetupApplication {
 public:
  SetupApplication(XfUiHost& host, SetupEnvironment environment);
  SetupApplication(const SetupApplication&) = delete;
  SetupApplication& operator=(const SetupApplication&) = delete;
  virtual ~SetupApplication();

  // Runs every step with setup's arguments (without the program name) and
  // returns the exit status: 0, 1 after a reported failure, or 80. Every
  // mutex is closed when it returns.
  int Run(const XpStringVector& arguments);

 protected:
  // Step 6.
  virtual void StartPreparingWindow();
  // Step 7: unpacks archive into folder.
  virtual bool ExtractPackage(const XpString& archive, const XpString& folder);
  // Step 8: the settings file against "data.bin".
  virtual bool VerifySettingsDigest();
  // Steps 9, 10, 19, 22 and 23.
  virtual void StopWatcher();
  virtual void StartWatcher();
  virtual void RegisterWatcher();
  // Step 12.
  virtual bool CheckRequiredFiles();
  // Steps 15, 16 and 17.
  virtual void ReadFileConfigurationFacts();
  virtual void SetPackageSourceList();
  virtual void ReadInstalledProduct();
  // Step 18: allMutexesNew is true while every mutex setup created was new.
  virtual bool BuildInstallerCommand(const XpStringVector& arguments, bool allMutexesNew);
  // Step 19: the installer's exit code.
  virtual uint32_t RunInstaller();
  // Step 21.
  virtual void RunFileConfiguration();
  // Step 24.
  virtual bool IsRestartNeeded();
  virtual void RestartWindows();

  XfUiHost& Host() { return host_; }
  const SetupEnvironment& Environment() const { return environment_; }
  const SetupSettings& Settings() const { return settings_; }
  // Folders end with '/'.
  const XpString& ProgramFolder() const { return programFolder_; }
  const XpString& DataFolder() const { return dataFolder_; }
  const XpString& SettingsPath() const { return settingsPath_; }
  // The text of the package's "Version.txt", once read.
  const XpString& PackageVersion() const { return packageVersion_; }
  // The installer command, once built.
  const InstallerCommand& Command() const { return command_; }
  // The installer: "Msiexec" beside setup, else on PATH; "" when neither.
  XpString FindInstaller() const;

 private:
  // Steps 1 to 5.
  std::optional<CError> StartUp();
  // Steps 6 to 14.
  std::optional<CError> CheckInstallSet();
  // Steps 15 to 18.
  std::optional<CError> PrepareInstaller();
  // Steps 19 to 24; the exit status.
  int Install();

  void EnterProgramFolder();
  // Steps 2, 3 and 10: creates the mutex into handle; true when it
  // existed already.
  bool TakeMutex(const char16_t* name, XpNamedObject& handle);
  int Report(const CError& error);
  void EndPreparingWindow();
  // One line on standard error, after "setup: ".
  void ErrorLine(const std::string& text) const;
  void CloseMutexes();
  // A CError 143 for the step named in reason.
  CError FilesMissing(const std::string& reason) const;

  XfUiHost& host_;
  SetupEnvironment environment_;
  SetupSettings settings_;
  XpString programFolder_;
  XpString dataFolder_;
  XpString settingsPath_;
  XpString packageVersion_;
  XpStringVector arguments_;
  XpNamedObject bootstrapMutex_;
  XpNamedObject installerMutex_;
  XpNamedObject viewerMutex_;
  bool busy_ = false;
  bool allMutexesNew_ = true;
  std::unique_ptr<PreparingWindow> window_;
  VolumeWatcherControl watcher_;
  FileConfigurationFacts fileFacts_;
  InstalledProduct product_;
  InstallerCommand command_;
};
