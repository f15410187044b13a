#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "installer-actions/common/InstallerSpecialFolders.h"
#include "installer-actions/common/InstallerWildcard.h"
#include "platform/shell/XpSpecialFolder.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

using InstallerCommonFunction = InstallerTest;

TEST_F(InstallerCommonFunction, PropertyReadsApplyTheCapacity) {
  Install({{u"A", u"x"}, {u"L", std::u16string(300, u'l')}});
  auto common = MakeObject();
  XpString value = u"old";
  EXPECT_EQ(common->GetPropertyMsi(install_, u"A", value), 0u);
  EXPECT_EQ(value.ToMultiByte().ToStdString(), "x");
  EXPECT_EQ(common->GetPropertyMsi(install_, u"L", value), 234u);
  EXPECT_EQ(value.GetLength(), 261);
  EXPECT_EQ(common->GetPropertyMsi(install_, u"Unset", value), 1608u);
  EXPECT_EQ(value.ToMultiByte().ToStdString(), "");
  EXPECT_EQ(common->GetPropertyMsi(0, u"A", value), 6u);
  EXPECT_EQ(common->SetPropertyMsi(install_, u"A", nullptr), 0u);
  EXPECT_FALSE(msi::PropertyOf(install_, u"A"));
}

TEST_F(InstallerCommonFunction, FeatureSwitchFromAProperty) {
  struct Case {
    const char16_t* value;  // null: unset
    uint32_t result;
    int32_t state;
  } cases[] = {
      {u"1", 0, 3},
      {u"0", 0, 2},
      {u"", 0, 2},
      {nullptr, 1608, msi::kNoFeatureState},
  };
  for (const Case& c : cases) {
    msi::PropertyMap properties{{u"QMVLOGGING", u"True"}, {u"QMV_INSTALLER_LOGFILENAME", u"test.log"}};
    if (c.value != nullptr) properties[u"DTSHORTCUTS_CREATE_FLAG"] = c.value;
    Install(properties, {u"DesktopShortcuts_Feature"});
    fs::remove(LogPath());
    auto common = MakeObject();
    EXPECT_EQ(common->SetFeatureStateFromMsiProperty(install_, u"DTSHORTCUTS_CREATE_FLAG",
                                                     u"DesktopShortcuts_Feature", u"1"),
              c.result);
    EXPECT_EQ(msi::FeatureStatesOf(install_)[0].second, c.state);
    const std::string log = ReadFile(LogPath());
    EXPECT_NE(log.find("[SetFeatureStateFromMsiProperty Start]\r\n\tMSI Hundle: " + std::to_string(install_) +
                       "\r\n\tProperty Name: DTSHORTCUTS_CREATE_FLAG\r\n\tFeature Name: "
                       "DesktopShortcuts_Feature\r\n\tLocal String: 1\r\n"),
              std::string::npos);
    const bool ended = log.find("[SetFeatureStateFromMsiProperty End Success]\r\n\tReturn Code: 0\r\n"
                                "\tFeature Value: " + std::to_string(c.state) + "\r\n") != std::string::npos;
    EXPECT_EQ(ended, c.result == 0);
  }
  // An undeclared feature: the end entry has the installer's code.
  Install({{u"F", u"1"}, {u"QMVLOGGING", u"True"}, {u"QMV_INSTALLER_LOGFILENAME", u"test.log"}});
  auto common = MakeObject();
  EXPECT_EQ(common->SetFeatureStateFromMsiProperty(install_, u"F", u"XX_Feature", u"1"), 1606u);
  EXPECT_NE(ReadFile(LogPath()).find("End Success]\r\n\tReturn Code: 1606\r\n\tFeature Value: 3\r\n"),
            std::string::npos);
}

TEST_F(InstallerCommonFunction, TargetPaths) {
  auto common = MakeLoggingObject();
  const std::string folder255 = "/" + std::string(254, 'f');
  struct Case {
    std::string folder;
    std::string name;
    std::string output;
  } cases[] = {
      {"/a", "b", "/a/b"},
      {"/a/", "b", "/a/b"},
      {"/a", "", "/a/"},
      {"", "b", "/b"},
      {"/a\\", "b", "/a\\/b"},
      {folder255, "0123456789", "previous"},
      {"/" + std::string(257, 'f'), "", "/" + std::string(257, 'f') + "/"},
      {"/" + std::string(258, 'f'), "", "previous"},
  };
  for (const Case& c : cases) {
    XpString output = u"previous";
    common->CreateTargetFilePath(XpString::FromUtf8(c.folder), XpString::FromUtf8(c.name), output);
    EXPECT_EQ(output.ToMultiByte().ToStdString(), c.output) << c.folder.size();
  }
  EXPECT_NE(ReadFile(LogPath()).find("[CreateTargetFilePath]\r\n\tInput Path: /a\r\n\tInput File Name: b\r\n"
                                     "\tOutput Path: /a/b\r\n"),
            std::string::npos);
}

TEST_F(InstallerCommonFunction, VersionStrings) {
  const fs::path folder = Dir("v");
  auto common = MakeLoggingObject();
  struct Case {
    std::string content;
    uint32_t capacity;
    std::string version;
  } cases[] = {
      {"1.1.00.12250\r\nx", 522, "1.1.00.12250"},
      {"5.0\n", 522, "5.0"},
      {"\xEF\xBB\xBF" "2.0", 522, "2.0"},
      {"", 522, ""},
      {std::string(600, '7') + "\n", 522, std::string(521, '7')},
      {"abc", 1, ""},
  };
  for (const Case& c : cases) {
    WriteFile(folder / "Version.txt", c.content);
    XpString output = u"previous";
    EXPECT_EQ(common->GetVersionString(XpString::FromUtf8(folder.string()), output, c.capacity),
              0u);
    EXPECT_EQ(output.ToMultiByte().ToStdString(), c.version);
  }
  XpString output = u"previous";
  EXPECT_EQ(common->GetVersionString(XpString::FromUtf8(Dir("empty").string()), output),
            0x8FFFFFFFu);
  EXPECT_EQ(output.ToMultiByte().ToStdString(), "previous");
  EXPECT_NE(ReadFile(LogPath()).find("[GetVersionString Result]\r\n\tReturn Code: 0\r\n\tPath: " +
                                     folder.string() + "\r\n\tVesion : 1.1.00.12250\r\n"),
            std::string::npos);
}

TEST_F(InstallerCommonFunction, VersionComparison) {
  auto common = MakeObject();
  const fs::path candidate = Root() / "candidate";
  const fs::path installed = Root() / "installed";
  struct Case {
    const char* candidate;  // null: no Version.txt
    const char* installed;
    int32_t answer;
  } cases[] = {
      {"5.1.0.12250", "5.1.00.12250", 1},
      {"1.0", "1.0.0", 0},
      {"1.0.0", "1.0", 1},
      {"5.1.00.12250", "5.1.01.10000", 0},
      {"5.2", "5.1.99.99999", 1},
      {"1.2.3.4.5", "1.2.3.4.9", 1},
      {"1.x.3", "1.0.3", 1},
      {"1.2", "1.10", 0},
      {"2.0", nullptr, 1},
      {nullptr, "2.0", 1},
      {"", "0", 1},
  };
  for (const Case& c : cases) {
    fs::remove_all(candidate);
    fs::remove_all(installed);
    fs::create_directories(candidate);
    fs::create_directories(installed);
    if (c.candidate != nullptr) WriteFile(candidate / "Version.txt", c.candidate);
    if (c.installed != nullptr) WriteFile(installed / "Version.txt", c.installed);
    EXPECT_EQ(common->IsNotOlderVersion(XpString::FromUtf8(candidate.string()),
                                        XpString::FromUtf8(installed.string())),
              c.answer)
        << (c.candidate ? c.candidate : "-") << " vs " << (c.installed ? c.installed : "-");
  }
}

TEST_F(InstallerCommonFunction, SmallHelpers) {
  XpString text = u"C:\\dir\\";
  ::InstallerCommonFunction::RemoveTrailingChar(text, u'\\');
  EXPECT_EQ(text.ToMultiByte().ToStdString(), "C:\\dir");
  ::InstallerCommonFunction::RemoveTrailingChar(text, u'\\');
  EXPECT_EQ(text.ToMultiByte().ToStdString(), "C:\\dir");
  XpString empty;
  ::InstallerCommonFunction::RemoveTrailingChar(empty, u'/');
  EXPECT_TRUE(empty.IsEmpty());

  std::u16string full(260, u'x');
  EXPECT_EQ(::InstallerCommonFunction::BoundedLength(nullptr), 0x8FFFFFFFu);
  EXPECT_EQ(::InstallerCommonFunction::BoundedLength(full.data()), 0x8FFFFFFFu);
  full[259] = u'\0';
  EXPECT_EQ(::InstallerCommonFunction::BoundedLength(full.data()), 259u);
  EXPECT_EQ(::InstallerCommonFunction::BoundedLength(u""), 0u);

  struct Match {
    const char16_t* name;
    const char16_t* pattern;
    bool matches;
  } matches[] = {
      {u"file", u"*.*", true},     {u"a.b.c", u"*.c", true},  {u"abc", u"a?c", true},
      {u"ac", u"a?c", false},      {u"A.TXT", u"*.txt", false}, {u"x", u"", false},
      {u"aXbXc", u"a*b*c", true},  {u"abcbd", u"a*bd", true}, {u"", u"*", true},
  };
  for (const Match& m : matches) {
    EXPECT_EQ(InstallerMatchesPattern(m.name, m.pattern), m.matches)
        << XpString(m.name).ToMultiByte().ToStdString() << " "
        << XpString(m.pattern).ToMultiByte().ToStdString();
  }
}

TEST_F(InstallerCommonFunction, SpecialFoldersByCsidl) {
  const std::string home = (Root() / "home").string();
  const std::string machine = (Root() / "machine").string();
  struct Case {
    int32_t csidl;
    std::string folder;
  } cases[] = {
      {kCsidlPersonal, home + "/Documents"},
      {kCsidlMyMusic, home + "/Music"},
      {kCsidlMyVideo, home + "/Videos"},
      {kCsidlMyPictures, home + "/Pictures"},
      {kCsidlDesktopDirectory, home + "/Desktop"},
      {kCsidlCommonDesktopDirectory, home + "/Desktop"},
      {kCsidlCommonDocuments, ""},
      {kCsidlCommonMusic, ""},
      {kCsidlCommonPictures, ""},
      {kCsidlCommonVideo, ""},
      {kCsidlProfile, home},
      {kCsidlCommonAppData, machine + "/var/lib/kavo"},
      {kCsidlProgramFiles, machine + "/opt"},
      {kCsidlCommonPrograms, machine + "/usr/share/applications"},
      {999, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallerGetSpecialFolder(c.csidl, false).ToMultiByte().ToStdString(), c.folder)
        << c.csidl;
  }
}

}  // namespace
}  // namespace installertest
