#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "QmvProcLibrary.h"
#include "msi/MsiInstallation.h"

namespace installertest {
namespace {

// The fake's licence text.
constexpr const char16_t* kRussianText = u"Лицензионное соглашение DirectX";
constexpr const char* kRussianLength = "31";

enum class Package { kComplete, kNoSetup32, kNoLicenceText, kNoSourceDir };

struct Row {
  const char* name;
  std::optional<std::u16string> embedded;
  std::u16string installMode;
  Package package;
  const char* eulaAnswer;   // the fake's ShowEULA
  const char* setupResult;  // the fake's DirectXSetupW
  int32_t questionAnswer;   // the installer's yes/no
  // The calls the fake records; "F" stands for the DirectX folder.
  std::vector<std::string> calls;
  int endResult;
  int questions;
};

class QmvDirectXInstallControl : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    SetEnv("KAVO_FAKE_DSETUP_LOG", RecordPath().string());
  }

  std::filesystem::path RecordPath() const { return Root() / "calls.txt"; }
  std::filesystem::path DirectXFolder() const { return Root() / "pkg" / "DirectX"; }

  void MakePackage(Package package) {
    std::filesystem::remove_all(Root() / "pkg");
    std::filesystem::create_directories(DirectXFolder());
    const char* library = package == Package::kNoLicenceText ? KAVO_FAKE_DSETUP_NO_EULA_TEXT : KAVO_FAKE_DSETUP;
    std::filesystem::copy_file(library, DirectXFolder() / "dsetup.so");
    if (package != Package::kNoSetup32) std::filesystem::copy_file(library, DirectXFolder() / "dsetup32.so");
  }

  // Runs the export for one row; the questions asked are kept.
  void RunRow(const Row& row, const std::string& logName) {
    MakePackage(row.package);
    std::filesystem::remove(RecordPath());
    SetEnv("KAVO_FAKE_DSETUP_EULA", row.eulaAnswer);
    SetEnv("KAVO_FAKE_DSETUP_RESULT", row.setupResult);
    msi::PropertyMap properties = {
        {u"QMVLOGGING", u"True"},
        {u"QMV_INSTALLER_LOGFILENAME", XpString::FromUtf8(logName).CStr()},
        {u"ProductName", u"Demo"},
        {u"INSTALLMODE", row.installMode}};
    if (row.embedded) properties[u"EMBEDDED"] = *row.embedded;
    if (row.package != Package::kNoSourceDir)
      properties[u"SourceDir"] = XpString::FromUtf8(Root().string() + "/pkg/").CStr();
    Install(properties);
    questions_.clear();
    const int32_t answer = row.questionAnswer;
    msi::SetYesNoAnswerer(install_, [this, answer](const std::u16string& caption, const std::u16string& text) {
      questions_.push_back({caption, text});
      return answer;
    });
    const QmvAction action = QmvProcExport("QMV_DirectXInstallControl");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action(install_), 0u);
  }

  std::vector<std::string> RecordedCalls() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(RecordPath()));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::vector<std::string> Expand(const std::vector<std::string>& calls) const {
    std::vector<std::string> expanded;
    for (std::string call : calls) {
      const size_t at = call.find("F,");
      if (at != std::string::npos) call.replace(at, 1, DirectXFolder().string());
      expanded.push_back(call);
    }
    return expanded;
  }

  std::vector<std::pair<std::u16string, std::u16string>> questions_;
};

const std::string kCallback = "DirectXSetupSetCallback(set)";
const std::string kShowEula = "DirectXSetupShowEULA(null)";
const std::string kSetup = "DirectXSetupW(null, F, 0x10018)";
const std::string kAnswered = "callback answered 1";
const std::string kLength = "DirectXSetupGetEULAW(null, 0, 0x19)";
const std::string kText = std::string("DirectXSetupGetEULAW(buffer, ") + kRussianLength + ", 0x19)";

TEST_F(QmvDirectXInstallControl, EachRowRunsTheSetupAsAsked) {
  const Row rows[] = {
      {"no licence", u"1033", u"1", Package::kComplete, "6", "-9", 6, {kCallback, kSetup, kAnswered}, -9, 0},
      {"licence declined", u"1033", u"0", Package::kComplete, "7", "0", 6, {kCallback, kShowEula}, 0, 0},
      {"licence accepted", u"1033", u"0", Package::kComplete, "6", "0", 6, {kCallback, kShowEula, kSetup, kAnswered}, 0,
       0},
      {"russian declined", u"1049", u"0", Package::kComplete, "6", "5", 7, {kCallback, kLength, kText}, 0, 1},
      {"russian accepted", u"1049", u"0", Package::kComplete, "6", "5", 6,
       {kCallback, kLength, kText, kSetup, kAnswered}, 5, 1},
      {"russian without licence", u"1049", u"1", Package::kComplete, "7", "12", 7,
       {kCallback, kLength, kText, kSetup, kAnswered}, 12, 0},
      {"not exactly russian", u"01049", u"1 ", Package::kComplete, "7", "0", 6, {kCallback, kShowEula}, 0, 0},
      {"no language", std::nullopt, u"1", Package::kComplete, "6", "3", 6, {kCallback, kSetup, kAnswered}, 3, 0},
      {"no source", u"1033", u"0", Package::kNoSourceDir, "6", "0", 6, {}, -999, 0},
      {"no dsetup32", u"1033", u"0", Package::kNoSetup32, "6", "0", 6, {}, -999, 0},
      {"no licence text entry", u"1033", u"0", Package::kNoLicenceText, "6", "0", 6, {}, -999, 0},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string logName = "row" + std::to_string(index++) + ".log";
    RunRow(row, logName);
    if (row.calls.empty()) {
      EXPECT_FALSE(std::filesystem::exists(RecordPath()));
    } else {
      EXPECT_EQ(RecordedCalls(), Expand(row.calls));
    }
    ASSERT_EQ(questions_.size(), static_cast<size_t>(row.questions));
    if (row.questions > 0) {
      EXPECT_EQ(questions_[0].first, u"");
      EXPECT_EQ(questions_[0].second, kRussianText);
    }
    const std::string log = ReadFile(LogPath(logName));
    EXPECT_NE(log.find("[getMsiWindowHandle()]\r\n\thWnd is NULL\r\n"), std::string::npos) << log;
    const std::string end =
        "[QMV_DirectXInstallControl End]\r\n\tDirectXInstall Return: " + std::to_string(row.endResult) + "\r\n";
    EXPECT_NE(log.find(end), std::string::npos) << log;
  }
}

TEST_F(QmvDirectXInstallControl, TheRussianTextEndsAtTheCountTheLibraryGives) {
  struct Case {
    const char* units;
    std::u16string text;
  } const cases[] = {{"0", u""}, {"5", u"Лицен"}, {"40", kRussianText}, {"4000000", u""}};
  const Row row = {"russian", u"1049", u"0", Package::kComplete, "6", "0", 7, {}, 0, 1};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.units);
    SetEnv("KAVO_FAKE_DSETUP_EULA_UNITS", c.units);
    RunRow(row, "test.log");
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_EQ(questions_[0].second, c.text);
  }
  const std::vector<std::string> calls = RecordedCalls();
  EXPECT_EQ(calls, (std::vector<std::string>{kCallback, kLength}));
}

TEST_F(QmvDirectXInstallControl, TheSettingsAreLogged) {
  const Row row = {"russian", u"1049", u"1", Package::kComplete, "6", "0", 6, {}, 0, 0};
  RunRow(row, "test.log");
  const std::string log = ReadFile(LogPath());
  const std::string folder = DirectXFolder().string();
  const std::string entries[] = {
      "[QMV_DirectXInstallControl Start]\r\n\tMSI Hundle: ",
      "[Language check]\r\n\tReturn: 0\r\n\tSelectedLanguage: 1049\r\n\tbRussianLanguage: 1\r\n",
      "[DirectX Installer folder]\r\n\tReturn: 0\r\n\tMSI folder: " + Root().string() + "/pkg/\r\n\tDirectX folder: " +
          folder + "\r\n",
      "[Window Title]\r\n\tReturn: 1608\r\n",
      "[QMV on Tarn]\r\n\tReturn: 0\r\n\tinstall mode: 1\r\n\tbEnableEULA: 0\r\n",
  };
  for (const std::string& entry : entries) {
    EXPECT_NE(log.find(entry), std::string::npos) << entry << "\n" << log;
  }
}

}  // namespace
}  // namespace installertest
