#include "framework/suite/SfExtProgramEntry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/tests/suite/SfExtProgramTestFiles.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/value/XpIniDict.h"

namespace {

namespace fs = std::filesystem;
using Entry = ::SfExtProgramEntry;
using extprogramtest::EntryFile;
using extprogramtest::ReadBytes;
using testsupport::Fault;
using testsupport::SysCall;

constexpr uint32_t kMachine = XpRegistry::kRootLocalMachine;
constexpr uint32_t kUser = XpRegistry::kRootCurrentUser;
constexpr const char* kSuiteKey = "Software\\Kavo Corporation\\Kavo Telvane";

class ExtProgramEntryFixture : public testsupport::HermeticTest {
 protected:
  void TearDown() override {
    faults_.Clear();
    HermeticTest::TearDown();
  }

  std::string T(const std::string& relative) const { return (Root() / relative).string(); }
  void Touch(const std::string& relative) const { extprogramtest::WriteBytes(T(relative), "x"); }

  // Saves file as $T/entries/<name> and reads it.
  Entry ReadBack(const EntryFile& file, const std::string& name = "e.xml") const {
    file.Save(T("entries/" + name));
    Entry entry;
    EXPECT_EQ(entry.Read(XpString::FromUtf8(T("entries/" + name))), kXpOk);
    return entry;
  }

  testsupport::FaultInjection faults_;
};

using SfExtProgramEntry = ExtProgramEntryFixture;

TEST_F(SfExtProgramEntry, MissingKeysKeepTheirDefaults) {
  EntryFile file;
  file.appName = "Only";
  const Entry entry = ReadBack(file);
  EXPECT_EQ(entry.appName.ToMultiByte().ToStdString(), "Only");
  EXPECT_EQ(entry.displayLevel, 0xFFFFFFFFu);
  EXPECT_TRUE(entry.multiple);
  EXPECT_FALSE(entry.groupApp);
  EXPECT_FALSE(entry.hasExeName);
  EXPECT_TRUE(entry.exePath.IsEmpty());
  EXPECT_EQ(entry.uiOrder, 0);
  EXPECT_EQ(entry.id, 0u);
  EXPECT_EQ(entry.filePath.ToMultiByte().ToStdString(), T("entries/e.xml"));
  EXPECT_EQ(entry.sourcePath.ToMultiByte().ToStdString(), T("entries/e.xml"));
  EXPECT_TRUE(entry.creationTime.IsValid());
}

TEST_F(SfExtProgramEntry, KeysOfAnotherTypeReadAsDefaults) {
  XpIniDict dict;
  ASSERT_EQ(dict.Add(u"AppName", kXpIniTypeInt, 5), kXpOk);
  ASSERT_EQ(dict.Add(u"DisplayLevel", kXpIniTypeString, u"1"), kXpOk);
  ASSERT_EQ(dict.Add(u"Multiple", kXpIniTypeInt, 0), kXpOk);
  ASSERT_EQ(dict.Add(u"Modal", kXpIniTypeString, u"true"), kXpOk);
  ASSERT_EQ(dict.Add(u"ContentTypeMaskList", kXpIniTypeString, u"10"), kXpOk);
  ASSERT_EQ(dict.Add(u"ExeName", kXpIniTypeBool, true), kXpOk);
  ASSERT_EQ(dict.SaveToFile(XpString::FromUtf8(T("typed.xml"))), kXpOk);
  Entry entry;
  ASSERT_EQ(entry.Read(XpString::FromUtf8(T("typed.xml"))), kXpOk);
  EXPECT_TRUE(entry.appName.IsEmpty());
  EXPECT_EQ(entry.displayLevel, Entry::kNoDisplayLevel);
  EXPECT_TRUE(entry.multiple);
  EXPECT_FALSE(entry.modal);
  EXPECT_TRUE(entry.contentTypeMasks.empty());
  EXPECT_FALSE(entry.hasExeName);
}

TEST_F(SfExtProgramEntry, MasksAreHexadecimalAndOthersArePassedOver) {
  EntryFile file = EntryFile::User("M");
  file.contentTypeMasks = {"10000101", "FF", "xyz", "", "0x10", "123456789", "-1", "ffffffff"};
  file.mediaTypeMasks = {"2", "g"};
  const Entry entry = ReadBack(file);
  EXPECT_EQ(entry.contentTypeMasks, (std::vector<uint32_t>{0x10000101, 0xFF, 0xFFFFFFFF}));
  EXPECT_EQ(entry.mediaTypeMasks, (std::vector<uint32_t>{2}));
  EXPECT_TRUE(entry.HasContentType(0xFF));
  EXPECT_FALSE(entry.HasContentType(0x10));
}

TEST_F(SfExtProgramEntry, ReadFailsForMissingFilesAndOtherContent) {
  extprogramtest::WriteBytes(T("text.xml"), "just text");
  extprogramtest::WriteBytes(T("other.xml"), "<?xml version=\"1.0\"?><html/>");
  fs::create_directories(T("folder.xml"));
  for (const char* name : {"missing.xml", "text.xml", "other.xml", "folder.xml"}) {
    Entry entry;
    entry.appName = u"kept";
    EXPECT_NE(entry.Read(XpString::FromUtf8(T(name))), kXpOk) << name;
    EXPECT_EQ(entry.appName.ToMultiByte().ToStdString(), "kept") << name;
  }
}

struct LocationCase {
  const char* name;
  const char* location;  // $T is replaced by the test folder
  const char* expected;  // the same
};

TEST_F(SfExtProgramEntry, ResolvesTheExecutableFromLocationAndName) {
  extprogramtest::SetRegistryString(kUser, "Software\\T\\Loc", "Path", "/opt/t");
  extprogramtest::SetRegistryString(kMachine, "Software\\T\\Loc", "Path", "/opt/m");
  const LocationCase cases[] = {
      {"current user reference", "HKEY_CURRENT_USER\\Software\\T\\Loc\\Path", "/opt/t/tool"},
      {"local machine reference", "HKEY_LOCAL_MACHINE\\Software\\T\\Loc\\Path", "/opt/m/tool"},
      {"missing value", "HKEY_CURRENT_USER\\Software\\T\\Loc\\Other", "tool"},
      {"missing key", "HKEY_CURRENT_USER\\Software\\T\\None\\Path", "tool"},
      {"other root", "HKEY_CLASSES_ROOT\\Software\\T\\Loc\\Path", "tool"},
      {"root only", "HKEY_CURRENT_USER", "tool"},
      {"folder", "$T/bin", "$T/bin/tool"},
  };
  for (const LocationCase& c : cases) {
    std::string location = c.location;
    std::string expected = c.expected;
    if (location.starts_with("$T")) location = T(location.substr(3));
    if (expected.starts_with("$T")) expected = T(expected.substr(3));
    EntryFile file = EntryFile::User("L");
    file.installedLocation = location;
    file.exeName = "tool";
    EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), expected) << c.name;
  }
}

TEST_F(SfExtProgramEntry, NeedsBothLocationAndNameForTheExecutable) {
  EntryFile onlyName = EntryFile::User("N");
  onlyName.exeName = "tool";
  EXPECT_TRUE(ReadBack(onlyName).exePath.IsEmpty());
  EntryFile onlyLocation = EntryFile::User("N");
  onlyLocation.installedLocation = "/opt";
  EXPECT_TRUE(ReadBack(onlyLocation).exePath.IsEmpty());
}

TEST_F(SfExtProgramEntry, SuiteProgramsAreFoundUnderTheSuiteKey) {
  const std::string program = std::string(kSuiteKey) + "\\Tools\\Suite";
  extprogramtest::SetRegistryString(kMachine, program, "CurrentVersion", "2.0");
  extprogramtest::SetRegistryString(kMachine, program + "\\2.0", "InstalledLocation", T("suite"));
  extprogramtest::SetRegistryString(kMachine, program + "\\2.0", "ExeName", "reg.bin");
  Touch("suite/reg.bin");
  Touch("suite/own.bin");

  EntryFile file = EntryFile::Group("S", 6);
  file.installSettingName = "Tools/Suite";
  EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), T("suite/reg.bin"))
      << "the registry's name";

  file.exeName = "own.bin";
  EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), T("suite/own.bin"))
      << "the entry's name first";

  file.exeName = "gone.bin";
  file.installedLocation = T("own");
  EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), T("own/gone.bin"))
      << "a missing file: own location";

  file.groupApp = false;
  file.exeName = "own.bin";
  EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), T("own/own.bin"))
      << "not a suite program";
}

TEST_F(SfExtProgramEntry, SuiteProgramWithoutSuiteKeyUsesVersionOneAndItsOwnLocation) {
  Touch("v1/tool");
  EntryFile file = EntryFile::Group("S", 2);
  file.installSettingName = "Absent";
  file.installedLocation = T("own");
  file.exeName = "tool";
  EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), T("own/tool"));

  // Without "CurrentVersion" the version is "1.0".
  extprogramtest::SetRegistryString(kMachine, std::string(kSuiteKey) + "\\Absent\\1.0",
                                    "InstalledLocation", T("v1"));
  EXPECT_EQ(ReadBack(file).exePath.ToMultiByte().ToStdString(), T("v1/tool"));
}

TEST_F(SfExtProgramEntry, IconBesideTheExecutableAndBitmapBesideTheEntryFile) {
  EntryFile file = EntryFile::User("I");
  file.installedLocation = T("bin");
  file.exeName = "tool";
  file.iconName = "tool.ico";
  file.imageBitmapName = "i.bmp";
  const Entry entry = ReadBack(file);
  EXPECT_EQ(entry.iconPath.ToMultiByte().ToStdString(), T("bin/tool.ico"));
  EXPECT_EQ(entry.bitmapPath.ToMultiByte().ToStdString(), T("entries/i.bmp"));
}

TEST_F(SfExtProgramEntry, WriterPutsTheKeysInItsOrder) {
  EntryFile file = EntryFile::User("W");
  file.installedLocation = T("bin");
  file.exeName = "tool";
  file.iconName = "tool.ico";
  file.contentTypeMasks = {"10000101"};
  Entry entry = ReadBack(file);
  entry.filePath = XpString::FromUtf8(T("out/1.xml"));
  fs::create_directories(T("out"));
  ASSERT_EQ(entry.Write(), kXpOk);
  EXPECT_TRUE(entry.creationTime.IsValid());

  const std::string bytes = ReadBytes(T("out/1.xml"));
  const char* order[] = {"AppName",      "Description",        "GroupApp", "InstallSettingName",
                         "InstalledLocation", "ExeName",       "IconName", "Modal",
                         "Option",       "DisplayLevel",       "Multiple", "UIOrder",
                         "ContentTypeMaskList", "XMLReceivable", "EveryTimeEnable",
                         "IncludeNotSelected"};
  size_t last = 0;
  for (const char* key : order) {
    const size_t at = bytes.find(std::string("<key>") + key + "</key>");
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GT(at, last) << key;
    last = at;
  }
  EXPECT_NE(bytes.find("<array><string>10000101</string></array>"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("<key>InstalledLocation</key><string>" + T("bin") + "</string>"),
            std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("<key>ExeName</key><string>tool</string>"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("<key>IconName</key><string>tool.ico</string>"), std::string::npos) << bytes;
}

TEST_F(SfExtProgramEntry, WrittenEntryReadsBackWithEveryField) {
  EntryFile file = EntryFile::User("Round");
  file.description = "text";
  file.installSettingName = "Setting";
  file.installedLocation = "HKEY_CURRENT_USER\\Software\\T\\Loc\\Path";
  file.exeName = "tool";
  file.imageBitmapName = "i.bmp";
  file.modal = true;
  file.option = "-x";
  file.uiOrder = 4;
  file.contentTypeMasks = {"1", "ab"};
  file.mediaTypeMasks = {"3"};
  extprogramtest::SetRegistryString(kUser, "Software\\T\\Loc", "Path", T("bin"));
  Entry written = ReadBack(file);
  written.multiple = false;
  written.subFolderReceivable = true;
  written.summaryString = u"summary";
  written.settingDescription = u"settings";
  written.supportedDeviceMask = 0x80000001;
  written.displayLevel = Entry::kNoDisplayLevel;
  written.filePath = XpString::FromUtf8(T("entries/copy.xml"));
  ASSERT_EQ(written.Write(), kXpOk);

  Entry read;
  ASSERT_EQ(read.Read(written.filePath), kXpOk);
  EXPECT_TRUE(read.IsSameProgram(written));
  EXPECT_EQ(read.exePath.ToMultiByte().ToStdString(), T("bin/tool"));
  EXPECT_EQ(read.description.ToMultiByte().ToStdString(), "text");
  EXPECT_EQ(read.installSettingName.ToMultiByte().ToStdString(), "Setting");
  EXPECT_EQ(read.imageBitmapName.ToMultiByte().ToStdString(), "i.bmp");
  EXPECT_TRUE(read.modal);
  EXPECT_FALSE(read.multiple);
  EXPECT_EQ(read.uiOrder, 4);
  EXPECT_EQ(read.displayLevel, Entry::kNoDisplayLevel);
  EXPECT_EQ(read.contentTypeMasks, (std::vector<uint32_t>{1, 0xAB}));
  EXPECT_EQ(read.mediaTypeMasks, (std::vector<uint32_t>{3}));
  EXPECT_TRUE(read.subFolderReceivable);
  EXPECT_EQ(read.summaryString.ToMultiByte().ToStdString(), "summary");
  EXPECT_EQ(read.settingDescription.ToMultiByte().ToStdString(), "settings");
  EXPECT_EQ(read.supportedDeviceMask, 0x80000001u);
}

TEST_F(SfExtProgramEntry, FailedWriteLeavesTheOldFile) {
  Entry entry = ReadBack(EntryFile::User("Old"));
  const std::string before = ReadBytes(T("entries/e.xml"));
  entry.appName = u"New";
  faults_.Add(Fault(SysCall::kWrite, T("entries")).Errno(ENOSPC));
  EXPECT_EQ(entry.Write(), kXpErrDiskFull);
  faults_.Clear();
  EXPECT_EQ(ReadBytes(T("entries/e.xml")), before);

  entry.filePath = u"relative.xml";
  EXPECT_EQ(entry.Write(), kXpErrPathNotFound);
  entry.filePath = XpString();
  EXPECT_EQ(entry.Write(), kXpErrPathNotFound);
}

TEST_F(SfExtProgramEntry, SameProgramComparesNameExecutableAndOptionExactly) {
  Entry base;
  base.appName = u"App";
  base.exePath = u"/opt/app/run";
  base.option = u"-a";
  struct Case {
    const char16_t* appName;
    const char16_t* exePath;
    const char16_t* option;
    bool same;
  };
  const Case cases[] = {
      {u"App", u"/opt/app/run", u"-a", true},   {u"app", u"/opt/app/run", u"-a", false},
      {u"App", u"/opt/App/run", u"-a", false},  {u"App", u"/opt/app/run", u"-A", false},
      {u"App", u"/opt/app/run", u"", false},
  };
  for (const Case& c : cases) {
    Entry other;
    other.appName = c.appName;
    other.exePath = c.exePath;
    other.option = c.option;
    EXPECT_EQ(base.IsSameProgram(other), c.same) << XpString(c.appName).ToMultiByte().ToStdString()
                                                 << XpString(c.exePath).ToMultiByte().ToStdString();
  }
}

TEST_F(SfExtProgramEntry, TakeOverCopiesTextsAndFlagsOnly) {
  Entry user;
  user.appName = u"A";
  user.description = u"old";
  user.filePath = u"/x/1.xml";
  user.id = 3;
  user.uiOrder = 7;
  user.exePath = u"/bin/a";
  Entry newer;
  newer.appName = u"A2";
  newer.description = u"new";
  newer.displayLevel = 1;
  newer.modal = true;
  newer.option = u"-o";
  newer.multiple = false;
  newer.xmlReceivable = true;
  newer.contentTypeMasks = {1};
  newer.mediaTypeMasks = {2};
  newer.exePath = u"/bin/b";
  newer.uiOrder = 1;
  user.TakeOverFrom(newer);
  EXPECT_EQ(user.appName.ToMultiByte().ToStdString(), "A2");
  EXPECT_EQ(user.description.ToMultiByte().ToStdString(), "new");
  EXPECT_EQ(user.displayLevel, 1u);
  EXPECT_TRUE(user.modal);
  EXPECT_EQ(user.option.ToMultiByte().ToStdString(), "-o");
  EXPECT_FALSE(user.multiple);
  EXPECT_TRUE(user.xmlReceivable);
  EXPECT_EQ(user.contentTypeMasks, std::vector<uint32_t>{1});
  EXPECT_EQ(user.mediaTypeMasks, std::vector<uint32_t>{2});
  EXPECT_EQ(user.filePath.ToMultiByte().ToStdString(), "/x/1.xml");
  EXPECT_EQ(user.id, 3u);
  EXPECT_EQ(user.uiOrder, 7);
  EXPECT_EQ(user.exePath.ToMultiByte().ToStdString(), "/bin/a");
}

}  // namespace
