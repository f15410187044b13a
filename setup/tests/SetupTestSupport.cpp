#include "setup/tests/SetupTestSupport.h"

#include <unistd.h>

#include <fstream>
#include <system_error>
#include <utility>

#include <gtest/gtest.h>

#include "framework/ui/backend/XfUiScript.h"
#include "framework/ui/backend/XfUiScriptedBackend.h"
#include "framework/ui/backend/XfUiTranscript.h"

namespace setuptest {

std::unique_ptr<XfUiHost> MakeScriptedHost(std::string_view script, const Lines& lines) {
  XfUiScript parsed;
  std::string error;
  EXPECT_TRUE(XfUiScript::Parse(script, &parsed, &error)) << error;
  auto transcript =
      std::make_unique<XfUiTranscript>([lines](std::string_view line) { lines->emplace_back(line); });
  auto backend = std::make_unique<XfUiScriptedBackend>(std::move(parsed), std::move(transcript));
  XfUiHostOptions options;
  options.catchSignals = false;
  return std::make_unique<XfUiHost>(std::move(backend), options);
}

std::vector<std::string> BoxLines(const std::vector<std::string>& lines) {
  std::vector<std::string> boxes;
  for (const std::string& line : lines) {
    if (line.starts_with("box \"")) boxes.push_back(line);
  }
  return boxes;
}

std::string ErrorBoxLine(const XpString& caption, const XpString& text) {
  return "box " + XfUiTranscript::Quote(caption) + " " + XfUiTranscript::Quote(text) +
         " style 0x10 buttons OK default OK";
}

std::string IniFile::Text() const {
  std::string text = "[General]\r\n";
  for (const auto& [key, value] : general) text += key + "=" + value + "\r\n";
  text += "[Bootstrap]\r\n";
  for (const auto& [key, value] : bootstrap) text += key + "=" + value + "\r\n";
  return text;
}

IniFile CompleteSettings() {
  IniFile settings;
  settings.general = {{"InstallerID", "QMV-1"}, {"Settings", "2"}, {"Target", "QMV.msi"}};
  settings.bootstrap = {{"ProductName", "QMV"}, {"ErrorCaptionText", "%s Setup"}};
  return settings;
}

void SetupFixture::SetUp() {
  HermeticTest::SetUp();
  std::error_code error;
  savedWorkingFolder_ = std::filesystem::current_path(error);
  std::filesystem::create_directories(ProgramDir() / "Data");
}

void SetupFixture::TearDown() {
  std::error_code error;
  if (!savedWorkingFolder_.empty()) std::filesystem::current_path(savedWorkingFolder_, error);
  HermeticTest::TearDown();
}

XpString SetupFixture::ProgramFolder() const {
  return XpString::FromUtf8(ProgramDir().string() + "/");
}

void SetupFixture::WriteProgramFile(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path path = ProgramDir() / name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

void SetupFixture::WriteSettings(const IniFile& settings) const {
  WriteProgramFile("setup.ini", settings.Text());
}

void SetupFixture::WriteInstallSet(const IniFile& settings) const {
  WriteSettings(settings);
  WriteProgramFile("Data/data.bin", "digest");
  WriteProgramFile("Data/Version.txt", "1.1.00.12250\r\n");
}

SetupEnvironment SetupFixture::TestEnvironment() {
  SetupEnvironment environment;
  environment.programFolder = ProgramFolder();
  environment.os = SetupReadLiveOsIdentity();
  environment.userLocale = "en_US.UTF-8";
  environment.errorLine = [this](const std::string& line) { errorLines.push_back(line); };
  return environment;
}

void RecordingSetup::StartPreparingWindow() { calls.push_back("StartPreparingWindow"); }

bool RecordingSetup::ExtractPackage(const XpString& archive, const XpString& folder) {
  calls.push_back("ExtractPackage");
  archiveSeen = archive;
  folderSeen = folder;
  return extractAnswer;
}

bool RecordingSetup::VerifySettingsDigest() {
  calls.push_back("VerifySettingsDigest");
  return digestAnswer;
}

void RecordingSetup::StopWatcher() { calls.push_back("StopWatcher"); }

void RecordingSetup::StartWatcher() { calls.push_back("StartWatcher"); }

void RecordingSetup::RegisterWatcher() { calls.push_back("RegisterWatcher"); }

bool RecordingSetup::CheckRequiredFiles() {
  calls.push_back("CheckRequiredFiles");
  return requiredFilesAnswer;
}

void RecordingSetup::ReadFileConfigurationFacts() { calls.push_back("ReadFileConfigurationFacts"); }

void RecordingSetup::SetPackageSourceList() { calls.push_back("SetPackageSourceList"); }

void RecordingSetup::ReadInstalledProduct() { calls.push_back("ReadInstalledProduct"); }

bool RecordingSetup::BuildInstallerCommand(const XpStringVector& /*arguments*/,
                                           bool allMutexesNew) {
  calls.push_back("BuildInstallerCommand");
  allMutexesNewSeen = allMutexesNew;
  return buildAnswer;
}

uint32_t RecordingSetup::RunInstaller() {
  calls.push_back("RunInstaller");
  if (duringInstaller) duringInstaller();
  return installerExit;
}

void RecordingSetup::RunFileConfiguration() { calls.push_back("RunFileConfiguration"); }

bool RecordingSetup::IsRestartNeeded() {
  calls.push_back("IsRestartNeeded");
  if (afterRelease) afterRelease();
  return restartAnswer;
}

void RecordingSetup::RestartWindows() { calls.push_back("RestartWindows"); }

}  // namespace setuptest
