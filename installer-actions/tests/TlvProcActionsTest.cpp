#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TlvFormerSuiteFixture.h"
#include "installer-actions/tlvproc/TlvProgramRelease.h"
#include "installer-actions/tlvproc/TlvRunAndWait.h"
#include "msi/MsiInstallation.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

using Strings = std::vector<std::string>;

// Virtual time that also lets a moment of real time pass at each sleep, so
// that a child process can end while the waiter polls.
class SteppingClock : public VirtualWaitClock {
 public:
  void SleepFor(std::chrono::milliseconds duration) override {
    VirtualWaitClock::SleepFor(duration);
    ::usleep(kRealMicroseconds);
  }

 private:
  static constexpr useconds_t kRealMicroseconds = 2000;
};

class TlvProcActions : public TlvFormerSuiteTest {
 protected:
  std::optional<std::u16string> Property(const std::u16string& name) const { return msi::PropertyOf(install_, name); }
  void InstallLogging(msi::PropertyMap properties = {}) {
    properties[u"QMVLOGGING"] = u"True";
    properties[u"QMV_INSTALLER_LOGFILENAME"] = u"test.log";
    InstallPackage(properties);
  }
  // The log with every entry's time written "T".
  std::string Log() const {
    static const std::regex kTime(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\])");
    return std::regex_replace(ReadFile(LogPath()), kTime, "[T]");
  }
  // A recording "regsvr32" first on PATH.
  void AddRegisterProgram() {
    WriteScript(Root() / "bin" / "regsvr32", "printf '%s\\n' \"$@\" >> '" + T() + "/regsvr32.record'\n");
    const char* path = std::getenv("PATH");
    SetEnv("PATH", (Root() / "bin").string() + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
  }
  fs::path KeysFolder() const { return CommonData() / "Kavo Corporation" / "QMV" / "TempQMVInfo"; }
};

TEST_F(TlvProcActions, ExportsOnlyTheActions) {
  for (const char* name :
       {"TLV_ReleaseSelfRegistModule", "TLV_ReleaseResidentRegistModule", "TLV_SearchInstallModule",
        "TLV_DeleteTLVModule", "TLV_CopyTemporaryKeysDat", "TLV_CopyTLVIDRegistry", "TLV_DeleteTLVIDRegistry",
        "TLV_SelectCallFunction"}) {
    EXPECT_NE(TlvProcExport(name), nullptr) << name;
  }
  EXPECT_EQ(TlvProcExport("_ZN23InstallerCommonFunction11DeleteFilesERK8XpString"), nullptr);
  EXPECT_EQ(TlvProcExport("QMV_SelectCallFunction"), nullptr);
  Run("TLV_SelectCallFunction");
}

TEST_F(TlvProcActions, SearchSetsOneFlagPerComponent) {
  BuildFixture();
  MakeKey(Hklm(), XpString(kTlvSuiteKey) + u"\\Second");
  WriteTables(TablesText(
      "[Components]\n"
      "SOFTWARE\\Kavo Corporation\\Kavo Telvane\tBrowser\t\tINSTALLED_BROWSER_FLAG\n"
      "SOFTWARE\\Kavo Corporation\\Kavo Telvane\tAccessor\tMissing\tINSTALLED_ACCESSOR_FLAG\n"
      "SOFTWARE\\Kavo Corporation\\Kavo Telvane\tAbsent\tSecond\tINSTALLED_ABSENT_FLAG\n"
      "SOFTWARE\\Kavo Corporation\\Kavo Telvane\tBrowser\tSecond\tINSTALLED_BOTH_FLAG\n"));
  Run("TLV_SearchInstallModule");
  EXPECT_EQ(Property(u"INSTALLED_BROWSER_FLAG"), u"True");
  EXPECT_EQ(Property(u"INSTALLED_ACCESSOR_FLAG"), u"False");
  EXPECT_EQ(Property(u"INSTALLED_ABSENT_FLAG"), u"False");
  EXPECT_EQ(Property(u"INSTALLED_BOTH_FLAG"), u"True");

  // The former suite gone: every flag is "False".
  ASSERT_EQ(Hklm().DeleteKeyTree(kTlvSuiteKey), kXpOk);
  InstallPackage();
  Run("TLV_SearchInstallModule");
  for (const char16_t* flag :
       {u"INSTALLED_BROWSER_FLAG", u"INSTALLED_ACCESSOR_FLAG", u"INSTALLED_ABSENT_FLAG", u"INSTALLED_BOTH_FLAG"}) {
    EXPECT_EQ(Property(flag), u"False") << XpString(flag).ToMultiByte().ToStdString();
  }
}

TEST_F(TlvProcActions, ServersAreUnregistered) {
  BuildFixture();
  AddRegisterProgram();
  // A class with both keys uses its program server; one with neither is skipped.
  const std::string both = "{C0000000-0000-0000-0000-000000000003}";
  SetText(Hkcr(), u"CLSID\\" + XpString::FromUtf8(both) + u"\\InprocServer32", u"",
          T() + "/old/both.so");
  SetText(Hkcr(), u"CLSID\\" + XpString::FromUtf8(both) + u"\\LocalServer32", u"",
          T() + "/old/Srv.exe");
  WriteTables(TablesText() + "[ComServers]\n0\t" + both + "\n1\t{C0000000-0000-0000-0000-000000000009}\n");
  Run("TLV_ReleaseSelfRegistModule");
  // The library row of the class with both keys takes the program server's path.
  EXPECT_EQ(Lines(Root() / "regsvr32.record"),
            (Strings{"/u", "/s", T() + "/old/x.so", "/u", "/s", T() + "/old/Srv.exe"}));
  EXPECT_EQ(Lines(Root() / "server.record"), (Strings{T() + "/old/Srv.exe", "/unregserver"}));
}

TEST_F(TlvProcActions, ServerCommands) {
  const struct Case {
    int32_t kind;
    const char16_t* registered;
    const char16_t* command;
  } cases[] = {
      {1, u"\"/opt/K T/Srv.exe\" -Embedding", u"\"/opt/K T/Srv.exe\" /unregserver"},
      {1, u"/opt/Srv.exe", u"\"/opt/Srv.exe\" /unregserver"},
      {1, u"/opt/Srv.EXE /x", u"\"/opt/Srv.EXE /x\" /unregserver"},
      {1, u"/opt/executables/Srv.exe", u"\"/opt/exe\" /unregserver"},
      {0, u"/opt/K T/x.so", u"regsvr32.exe /u /s \"/opt/K T/x.so\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TlvProgramRelease::ServerCommand(c.kind, c.registered).ToMultiByte().ToStdString(),
              XpString(c.command).ToMultiByte().ToStdString())
        << XpString(c.registered).ToMultiByte().ToStdString();
  }
}

TEST_F(TlvProcActions, RunAndWaitGivesUpOnASlowProgram) {
  WriteScript(Root() / "slow", "echo $$ > '" + T() + "/slow.pid'\nexec sleep 30\n");
  WriteScript(Root() / "quick", "exit 3\n");
  SteppingClock clock;
  EXPECT_EQ(TlvRunAndWait::Run(XpString::FromUtf8("\"" + T() + "/quick\""), clock), 0u);
  EXPECT_EQ(TlvRunAndWait::Run(u"no-such-program-here /x", clock), InstallerCommonFunction::kNotFound);
  EXPECT_EQ(TlvRunAndWait::Run(u"", clock), InstallerCommonFunction::kNotFound);

  const auto start = clock.Elapsed();
  EXPECT_EQ(TlvRunAndWait::Run(XpString::FromUtf8("\"" + T() + "/slow\""), clock),
            InstallerCommonFunction::kNotFound);
  EXPECT_GE((clock.Elapsed() - start).count(), 10000);
  // The slow program is left running; end it.
  for (int i = 0; i < 1000 && Lines(Root() / "slow.pid").empty(); ++i) ::usleep(1000);
  const Strings pid = Lines(Root() / "slow.pid");
  ASSERT_EQ(pid.size(), 1u);
  EXPECT_EQ(::kill(std::stoi(pid[0]), SIGKILL), 0);
}

TEST_F(TlvProcActions, ASlowServerDoesNotStopTheNextRow) {
  BuildFixture();
  AddRegisterProgram();
  WriteScript(Root() / "old" / "Slow.exe", "echo $$ > '" + T() + "/slow.pid'\nexec sleep 30\n");
  SetText(Hkcr(), u"CLSID\\{C0000000-0000-0000-0000-000000000005}\\LocalServer32", u"", T() + "/old/Slow.exe");
  std::vector<TlvComServerRow> rows = {{1, u"{C0000000-0000-0000-0000-000000000005}"},
                                       {0, XpString::FromUtf8(kTlvInprocClass)}};
  SteppingClock clock;
  auto common = MakeObject();
  TlvProgramRelease(*common, clock).ReleaseServers(rows);
  EXPECT_GE(clock.Elapsed().count(), 10000);
  EXPECT_EQ(Lines(Root() / "regsvr32.record"), (Strings{"/u", "/s", T() + "/old/x.so"}));
  for (int i = 0; i < 1000 && Lines(Root() / "slow.pid").empty(); ++i) ::usleep(1000);
  const Strings pid = Lines(Root() / "slow.pid");
  ASSERT_EQ(pid.size(), 1u);
  EXPECT_EQ(::kill(std::stoi(pid[0]), SIGKILL), 0);
}

TEST_F(TlvProcActions, ResidentProgramsAreToldToExitThenUnregister) {
  BuildFixture();
  InstallLogging();
  Run("TLV_ReleaseResidentRegistModule");
  EXPECT_EQ(Lines(Root() / "watcher.record"), (Strings{"/exitall", "/unregistall"}));
  const std::string log = Log();
  EXPECT_NE(log.find("[T] : [Execute String: \"" + Former().string() +
                     "/Watcher/TLVVolumeWatcher.exe\" /exitall]\r\n\tExecuteTargetExecFile\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("TLVContentAnalyzer"), std::string::npos);
  const std::string handle = std::to_string(install_);
  EXPECT_EQ(log.substr(0, log.find("\r\n", log.find("\r\n") + 2) + 2),
            "[T] : [MSI Hundle: " + handle + "]\r\n\tMSI Hundle\r\n");
  const std::string end = "[T] : []\r\n\tTLV_ReleaseResidentRegistModule End\r\n";
  ASSERT_GE(log.size(), end.size());
  EXPECT_EQ(log.substr(log.size() - end.size()), end);
}

TEST_F(TlvProcActions, ActionsNeedAFormerFolderOffTheRoot) {
  BuildFixture();
  // The home folder holds what the actions look for, but is no former folder.
  const fs::path home = Root() / "home";
  WriteFile(home / "Browser" / "keys.dat", "home keys");
  WriteScript(home / "Watcher" / "TLVVolumeWatcher.exe", "echo \"$1\" >> '" + T() + "/watcher.record'\n");
  for (const std::string& location : {std::string(), std::string("/"), home.string(), home.string() + "/"}) {
    SetText(Hklm(), kTlvFormerKey, u"InstallLocation", location);
    Run("TLV_CopyTemporaryKeysDat");
    Run("TLV_ReleaseResidentRegistModule");
    EXPECT_FALSE(fs::exists(KeysFolder())) << location;
    EXPECT_FALSE(fs::exists(Root() / "watcher.record")) << location;
  }
}

TEST_F(TlvProcActions, KeyFilesAreCopied) {
  BuildFixture();
  fs::remove(Former() / "QMVCore" / "keys.dat");
  Run("TLV_CopyTemporaryKeysDat");
  EXPECT_EQ(ReadFile(KeysFolder() / "keys.dat"), "browser keys");
  EXPECT_EQ(ReadFile(KeysFolder() / "Connectedkeys.dat"), "connected keys");

  WriteFile(Former() / "QMVCore" / "keys.dat", "core keys");
  Run("TLV_CopyTemporaryKeysDat");
  EXPECT_EQ(ReadFile(KeysFolder() / "keys.dat"), "core keys");
  EXPECT_EQ(Tree(KeysFolder()), (Strings{"Connectedkeys.dat", "keys.dat"}));
}

TEST_F(TlvProcActions, HistoryValuesAreCopiedAndDeleted) {
  BuildFixture();
  Run("TLV_CopyTLVIDRegistry");
  uint32_t type = 0;
  EXPECT_EQ(Value(kTlvProductKey, u"History", &type), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(type, kXpRegBinary);
  EXPECT_EQ(Value(kTlvProductKey, u"iProduct_History", &type), Value(kTlvFormerKey, u"iProduct_History"));
  EXPECT_EQ(type, kXpRegMultiSz);

  Run("TLV_DeleteTLVIDRegistry");
  EXPECT_FALSE(Value(kTlvProductKey, u"History").has_value());
  EXPECT_FALSE(Value(kTlvProductKey, u"iProduct_History").has_value());
  EXPECT_TRUE(Value(kTlvProductKey, u"InstalledLocation").has_value());

  // Without the former suite nothing arrives.
  ASSERT_EQ(Hklm().DeleteKeyTree(kTlvFormerKey), kXpOk);
  Run("TLV_CopyTLVIDRegistry");
  EXPECT_EQ(Values(kTlvProductKey), Strings{"InstalledLocation"});
}

TEST_F(TlvProcActions, LogShapes) {
  BuildFixture();
  const struct Case {
    const char* action;
    const char* start;  // the first entry
    const char* end;    // the last entry
  } cases[] = {
      {"TLV_SearchInstallModule", "[T] : [MSI Hundle: %H]\r\n\tTLV_SearchInstallModule Start\r\n",
       "[T] : [MSI Hundle: %H]\r\n\tTLV_SearchInstallModule End\r\n"},
      {"TLV_DeleteTLVIDRegistry", "[T] : []\r\n\tTLV_DeleteTLVIDRegistry Start\r\n",
       "[T] : []\r\n\tTLV_DeleteTLVIDRegistry End\r\n"},
      {"TLV_ReleaseSelfRegistModule", "[T] : [MSI Hundle: %H]\r\n\tMSI Hundle\r\n",
       "[T] : []\r\n\tTLV_ReleaseSelfRegistModule End\r\n"},
  };
  for (const Case& c : cases) {
    fs::remove(LogPath());
    InstallLogging();
    Run(c.action);
    const std::string h = std::to_string(install_);
    const std::string start = std::regex_replace(c.start, std::regex("%H"), h);
    const std::string end = std::regex_replace(c.end, std::regex("%H"), h);
    const std::string log = Log();
    EXPECT_EQ(log.substr(0, start.size()), start) << c.action;
    ASSERT_GE(log.size(), end.size()) << c.action;
    EXPECT_EQ(log.substr(log.size() - end.size()), end) << c.action;
  }
  // TLV_DeleteTLVIDRegistry logs nothing between its entries.
  fs::remove(LogPath());
  InstallLogging();
  Run("TLV_DeleteTLVIDRegistry");
  EXPECT_EQ(Log(), "[T] : []\r\n\tTLV_DeleteTLVIDRegistry Start\r\n[T] : []\r\n\tTLV_DeleteTLVIDRegistry End\r\n");
}

// The removal logs only its entries, the package reads and the tables file.
TEST_F(TlvProcActions, RemovalLogsOnlyItsEntriesAndReads) {
  BuildFixture();
  InstallLogging();
  Run("TLV_DeleteTLVModule");
  std::vector<std::string> titles;
  const std::string log = Log();
  static const std::regex kTitle(R"(\[T\] : \[([^\]]*)\]\r\n)");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), kTitle); it != std::sregex_iterator(); ++it) {
    titles.push_back((*it)[1]);
  }
  EXPECT_EQ(titles, (Strings{"", "MsiGetProperty Result", "TLVProcTables", "MsiGetProperty Result", ""})) << log;
  EXPECT_NE(log.find("\tTLV_DeleteTLVModule Start\r\n"), std::string::npos);
  EXPECT_NE(log.find("Property Name: SourceDir"), std::string::npos);
  EXPECT_NE(log.find("Property Name: APPLICATIONROOTDIRECTORY"), std::string::npos);
  EXPECT_NE(log.find("Path: " + T() + "/pkg/TLVProcTables.txt\r\n\tResult: 0\r\n"), std::string::npos) << log;
  EXPECT_EQ(Tree(Former()), Strings{"notes.txt"});
}

}  // namespace
}  // namespace installertest
