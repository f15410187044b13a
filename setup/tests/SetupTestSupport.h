#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"
#include "setup/app/SetupApplication.h"
#include "setup/app/SetupEnvironment.h"

namespace setuptest {

using Lines = std::shared_ptr<std::vector<std::string>>;

// A UI host on the scripted back end; its transcript goes to lines.
std::unique_ptr<XfUiHost> MakeScriptedHost(std::string_view script, const Lines& lines);

// The transcript lines of the boxes shown.
std::vector<std::string> BoxLines(const std::vector<std::string>& lines);
// The transcript line of an error box with this caption and text.
std::string ErrorBoxLine(const XpString& caption, const XpString& text);

// The text of a settings file with two sections.
struct IniFile {
  std::map<std::string, std::string> general;
  std::map<std::string, std::string> bootstrap;
  std::string Text() const;
};

// A complete settings file: InstallerID "QMV-1", Settings "2", Target
// "QMV.msi", ProductName "QMV" and ErrorCaptionText "%s Setup".
IniFile CompleteSettings();

// A hermetic test with a program folder of its own; the working folder is
// given back at the end, since setup enters its program folder.
class SetupFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path ProgramDir() const { return Root() / "program"; }
  // The program folder with its trailing '/'.
  XpString ProgramFolder() const;
  void WriteProgramFile(const std::string& name, const std::string& bytes) const;
  void WriteSettings(const IniFile& settings) const;
  // setup.ini, Data/data.bin and Data/Version.txt of a complete install set.
  void WriteInstallSet(const IniFile& settings) const;

  // An environment over the program folder and the live operating system,
  // whose standard-error lines go to errorLines.
  SetupEnvironment TestEnvironment();

  std::vector<std::string> errorLines;

 private:
  std::filesystem::path savedWorkingFolder_;
};

// Records the hooks setup calls, by name, and answers as told.
class RecordingSetup : public SetupApplication {
 public:
  using SetupApplication::SetupApplication;

  std::vector<std::string> calls;
  bool extractAnswer = true;
  bool digestAnswer = true;
  bool requiredFilesAnswer = true;
  bool buildAnswer = true;
  bool restartAnswer = false;
  uint32_t installerExit = 0;
  XpString archiveSeen;
  XpString folderSeen;
  std::optional<bool> allMutexesNewSeen;
  // Run inside RunInstaller and inside IsRestartNeeded.
  std::function<void()> duringInstaller;
  std::function<void()> afterRelease;

 protected:
  void StartPreparingWindow() override;
  bool ExtractPackage(const XpString& archive, const XpString& folder) override;
  bool VerifySettingsDigest() override;
  void StopWatcher() override;
  void StartWatcher() override;
  void RegisterWatcher() override;
  bool CheckRequiredFiles() override;
  void ReadFileConfigurationFacts() override;
  void SetPackageSourceList() override;
  void ReadInstalledProduct() override;
  bool BuildInstallerCommand(const XpStringVector& arguments, bool allMutexesNew) override;
  uint32_t RunInstaller() override;
  void RunFileConfiguration() override;
  bool IsRestartNeeded() override;
  void RestartWindows() override;
};

}  // namespace setuptest
