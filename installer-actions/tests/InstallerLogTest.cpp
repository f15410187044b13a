#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "MsiRunProcess.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/testsupport/ForkedChild.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

using InstallerLog = InstallerTest;

TEST_F(InstallerLog, TheSwitchAndTheFileName) {
  struct Case {
    const char16_t* logging;  // null: unset
    const char16_t* fileName;
    const char16_t* product;
    std::string logFile;  // "": no log
    std::string storedName;
  } cases[] = {
      {u"true", u"x.log", u"Demo", "", "x.log"},
      {nullptr, u"x.log", u"Demo", "", "x.log"},
      {u"True", u"x.log", u"Demo", "x.log", "x.log"},
      {u"True", u"x.LOG", u"Demo", kStampedName, kStampedName},
      {u"True", nullptr, u"", "QMVInstaller_dll.log", ""},
      {u"True", u"../x.log", u"Demo", kStampedName, kStampedName},
      {u"True", u"sub/x.log", u"Demo", kStampedName, kStampedName},
      {u"True", u"..", u"Demo", kStampedName, kStampedName},
      {u"True", nullptr, u"A/B", "QMVInstaller_dll.log", ""},
      {u"True", nullptr, nullptr, "QMVInstaller_dll.log", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logFile);
    fs::remove_all(TempDir());
    fs::create_directories(TempDir());
    msi::PropertyMap properties;
    if (c.logging != nullptr) properties[u"QMVLOGGING"] = c.logging;
    if (c.fileName != nullptr) properties[u"QMV_INSTALLER_LOGFILENAME"] = c.fileName;
    if (c.product != nullptr) properties[u"ProductName"] = c.product;
    Install(properties);
    auto common = MakeObject();
    EXPECT_EQ(common->IsLogging(), !c.logFile.empty());
    common->Log(u"message", u"title");
    if (c.logFile.empty()) {
      EXPECT_TRUE(TempFiles().empty());
    } else {
      EXPECT_EQ(TempFiles(), std::vector<std::string>{c.logFile});
      EXPECT_EQ(common->LogFileName().ToMultiByte().ToStdString(), c.logFile);
    }
    const auto stored = msi::PropertyOf(install_, u"QMV_INSTALLER_LOGFILENAME");
    EXPECT_EQ(stored ? XpString(std::u16string_view(*stored)).ToMultiByte().ToStdString() : "",
              c.storedName);
  }
}

TEST_F(InstallerLog, EntryBytes) {
  auto common = MakeLoggingObject();
  // Reading the switch and the name wrote nothing: logging was still off.
  EXPECT_FALSE(fs::exists(LogPath()));
  EXPECT_EQ(common->WriteLog(u"a%b\nc", u"T"), 1);
  EXPECT_EQ(ReadFile(LogPath()), "[2026/01/02 03:04:05] : [T]\r\n\ta%%b\r\n\tc\r\n");
  fs::remove(LogPath());
  EXPECT_EQ(common->WriteLog(nullptr, nullptr), 1);
  EXPECT_EQ(common->WriteLog(u"", u"100%"), 1);
  EXPECT_EQ(common->WriteLog(u"\u00e9", u"t"), 1);
  EXPECT_EQ(ReadFile(LogPath()),
            "[2026/01/02 03:04:05] : [(NULL)]\r\n\t(NULL)\r\n"
            "[2026/01/02 03:04:05] : [100%%]\r\n\t\r\n"
            "[2026/01/02 03:04:05] : [t]\r\n\t\xC3\xA9\r\n");
  EXPECT_EQ(fs::status(LogPath()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(InstallerLog, LogAndLogTitledDifferInArgumentOrderOnly) {
  auto common = MakeLoggingObject();
  common->Log(u"m", u"t");
  common->LogTitled(u"t", u"m");
  const std::string entry = "[2026/01/02 03:04:05] : [t]\r\n\tm\r\n";
  EXPECT_EQ(ReadFile(LogPath()), entry + entry);
}

TEST_F(InstallerLog, InstallerCallsAreLogged) {
  Install({{u"A", u"x"}}, {u"RU_Feature"});
  auto common = MakeLoggingObject();
  XpString value;
  EXPECT_EQ(common->GetPropertyMsi(install_, u"A", value), 0u);
  EXPECT_EQ(common->SetPropertyMsi(install_, u"B", u"y"), 0u);
  EXPECT_EQ(common->SetFeatureStateMsi(install_, u"RU_Feature", 3), 0u);
  const std::string handle = std::to_string(install_);
  EXPECT_EQ(ReadFile(LogPath()),
            "[2026/01/02 03:04:05] : [MsiGetProperty Result]\r\n\tMsiGetProperty Return: 0\r\n"
            "\tProperty Name: A\r\n\tProperty Value: x\r\n\tMSI Hundle: " + handle + "\r\n\tData Size: 1\r\n"
            "[2026/01/02 03:04:05] : [MsiSetProperty Result]\r\n\tMsiSetProperty Return: 0\r\n"
            "\tProperty Name: B\r\n\tProperty Value: y\r\n\tMSI Hundle: " + handle + "\r\n"
            "[2026/01/02 03:04:05] : [SetFeatureStateMsi]\r\n\tMsiSetFeatureState Return: 0\r\n"
            "\tFeature Name: RU_Feature\r\n\tSet Feature: 3\r\n");
}

TEST_F(InstallerLog, TwoProcessesLeaveWholeEntries) {
  constexpr int kEntries = 100;
  MakeLoggingObject();
  // Real waits: each side holds the mutex only for a moment.
  auto common = std::make_unique<::InstallerCommonFunction>(install_, clock_, XpWaitClock::Real());
  const std::string body(200, 'x');
  auto writeAll = [&](const char16_t* title) {
    for (int i = 0; i < kEntries; ++i) {
      if (common->WriteLog(XpString::FromUtf8(body + "\n" + body), title) != 1) return 1;
    }
    return 0;
  };
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([&](testsupport::ChildChannel& channel) {
    channel.SignalReady();
    channel.WaitForGo();
    return writeAll(u"child");
  }));
  ASSERT_TRUE(child.WaitReady());
  child.LetGo();
  EXPECT_EQ(writeAll(u"parent"), 0);
  EXPECT_EQ(child.Wait(), 0);

  const std::string text = ReadFile(LogPath());
  const std::string tail = "]\r\n\t" + body + "\r\n\t" + body + "\r\n";
  const std::string parentEntry = "[2026/01/02 03:04:05] : [parent" + tail;
  const std::string childEntry = "[2026/01/02 03:04:05] : [child" + tail;
  size_t pos = 0;
  int parents = 0;
  int children = 0;
  while (pos < text.size()) {
    if (text.compare(pos, parentEntry.size(), parentEntry) == 0) {
      ++parents;
      pos += parentEntry.size();
    } else if (text.compare(pos, childEntry.size(), childEntry) == 0) {
      ++children;
      pos += childEntry.size();
    } else {
      FAIL() << "broken entry at " << pos;
    }
  }
  EXPECT_EQ(parents, kEntries);
  EXPECT_EQ(children, kEntries);
}

TEST_F(InstallerLog, EntryIsDroppedAfterTenSecondsWhileAnotherProcessHoldsTheMutex) {
  auto common = MakeLoggingObject();
  ASSERT_EQ(common->WriteLog(u"first", u"t"), 1);
  const std::string before = ReadFile(LogPath());
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel& channel) {
    XpNamedObject mutex;
    if (XpFailed(mutex.CreateMutex(InstallerCommonFunction::kLogMutexName, true))) return 1;
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  }));
  ASSERT_TRUE(child.WaitReady());
  EXPECT_EQ(common->WriteLog(u"dropped", u"t"), 0);
  EXPECT_GE(waitClock_.Elapsed(), std::chrono::seconds(10));
  EXPECT_LT(waitClock_.Elapsed(), std::chrono::seconds(11));
  EXPECT_EQ(ReadFile(LogPath()), before);
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(common->WriteLog(u"after", u"t"), 1);
}

TEST_F(InstallerLog, NeverWritesThroughALinkOrIntoAnotherKindOfFile) {
  auto common = MakeLoggingObject();
  const fs::path target = Dir("elsewhere") / "target";
  WriteFile(target, "keep");
  fs::create_symlink(target, LogPath());
  EXPECT_EQ(common->WriteLog(u"m", u"t"), 0);
  EXPECT_EQ(ReadFile(target), "keep");
  fs::remove(LogPath());
  fs::create_directory(LogPath());
  EXPECT_EQ(common->WriteLog(u"m", u"t"), 0);
  fs::remove(LogPath());
  ASSERT_EQ(::mkfifo(LogPath().c_str(), 0600), 0);
  EXPECT_EQ(common->WriteLog(u"m", u"t"), 0);
}

TEST_F(InstallerLog, DriverRunsAnActionThatLogs) {
  const msitest::ProgramRun run = msitest::RunProgram(
      KAVO_MSIRUN_PROGRAM, {KAVO_ICF_TEST_ACTIONS, "IcfTest_LogEntry", "QMVLOGGING=True", "ProductName=Demo"},
      Dir("run"));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::regex expected(
      "call IcfTest_LogEntry 0\n"
      "property ProductName=Demo\n"
      "property QMVLOGGING=True\n"
      "property QMV_INSTALLER_LOGFILENAME=(DemoInstaller_dll-[0-9]{8}-[0-9]{6}\\.log)\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(run.out, match, expected)) << run.out;
  const std::string log = ReadFile(TempDir() / match[1].str());
  EXPECT_NE(log.find("] : [IcfTest_LogEntry Start]\r\n\tMSI Hundle: 1\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\tProperty Name: ProductName\r\n\tProperty Value: Demo\r\n"), std::string::npos);
  EXPECT_NE(log.find("\tProperty Value: " + match[1].str() + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("] : [IcfTest_LogEntry End]\r\n\tMSI Hundle: 1\r\n"), std::string::npos);
}

}  // namespace
}  // namespace installertest
