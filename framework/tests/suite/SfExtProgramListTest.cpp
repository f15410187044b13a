#include "framework/suite/SfExtProgramList.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "framework/suite/SfInitTool.h"
#include "framework/suite/SfSuiteRegistry.h"
#include "framework/tests/suite/SfExtProgramTestFiles.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using Entry = ::SfExtProgramEntry;
using List = ::SfExtProgramList;
using extprogramtest::EntryFile;
using extprogramtest::ReadBytes;
using testsupport::Fault;
using testsupport::SysCall;
using Kind = SfExtProgramListKind;
using Names = std::vector<std::string>;

constexpr uint32_t kMachine = XpRegistry::kRootLocalMachine;
constexpr uint32_t kUser = XpRegistry::kRootCurrentUser;
constexpr const char* kFoldersKey =
    "Software\\Kavo Corporation\\Kavo Telvane\\Browser\\ExtProgramXML";
constexpr const char* kIgnoreKey =
    "Software\\Kavo Corporation\\Kavo Telvane\\Browser\\ExtProgramXML\\Ignore";

Names NamesOf(const List::Entries& entries) {
  Names names;
  for (const Entry& entry : entries) names.push_back(entry.appName.ToMultiByte().ToStdString());
  return names;
}

class ExtProgramListFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    ext_ = SfGetExtToolsFolder().ToMultiByte().ToStdString();
    ASSERT_FALSE(ext_.empty());
    extprogramtest::SetRegistryString(kMachine, kFoldersKey, "Reg", T("reg"));
    fs::create_directories(T("reg"));
  }
  void TearDown() override {
    faults_.Clear();
    HermeticTest::TearDown();
  }

  std::string T(const std::string& relative) const { return (Root() / relative).string(); }
  std::string Ext(const std::string& name) const { return ext_ + "/" + name; }
  void Touch(const std::string& relative) const { extprogramtest::WriteBytes(T(relative), "x"); }

  // An entry whose executable exists at $T/bin/<exe>.
  EntryFile WithExe(EntryFile file, const std::string& exe) const {
    Touch("bin/" + exe);
    file.installedLocation = T("bin");
    file.exeName = exe;
    return file;
  }

  // The external-tools folder: file name -> "AppName" of the entry file.
  std::map<std::string, std::string> ExtFolder() const {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& child : fs::directory_iterator(ext_)) {
      Entry entry;
      const std::string path = child.path().string();
      files[child.path().filename().string()] = entry.Read(XpString::FromUtf8(path)) == kXpOk
                                                    ? entry.appName.ToMultiByte().ToStdString()
                                                    : "?";
    }
    return files;
  }

  // Builds a list and destroys it; the names of its user list.
  Names BuildAndDestroy() const {
    List list;
    return NamesOf(list.GetUserList());
  }

  std::string ext_;
  testsupport::FaultInjection faults_;
};

using SfExtProgramList = ExtProgramListFixture;

TEST_F(SfExtProgramList, ReadsEntryFilesWithXmlExtensionInAnyCase) {
  EntryFile::User("A").Save(Ext("A.XML"));
  EntryFile::User("N").Save(Ext("note.txt"));
  EntryFile tool = EntryFile::User("Tool");
  tool.installSettingName = "Tool";
  tool.installedLocation = T("none");
  tool.exeName = "missing";
  tool.Save(Ext("tool.xml"));
  EntryFile plain = EntryFile::User("Plain");
  plain.installedLocation = T("none");
  plain.exeName = "missing";
  plain.Save(Ext("plain.xml"));
  EntryFile noLevel;
  noLevel.appName = "NoLevel";
  noLevel.groupApp = true;
  noLevel.Save(Ext("nolevel.xml"));
  extprogramtest::WriteBytes(Ext("bad.xml"), "not a property list");

  List list;
  EXPECT_EQ(NamesOf(list.GetUserList()), (Names{"A", "Plain"}));
  for (uint32_t kind = 0; kind < List::kListCount; ++kind) {
    if (static_cast<Kind>(kind) == Kind::kUser) continue;
    EXPECT_TRUE(list.GetList(static_cast<Kind>(kind)).empty()) << kind;
  }
}

TEST_F(SfExtProgramList, UserListTakesTheFirstTwentyInReadOrder) {
  for (int n = 1; n <= 25; ++n) {
    EntryFile::User(std::to_string(n)).Save(Ext(std::to_string(n) + ".xml"));
  }
  List list;
  const Names expected = {"1",  "10", "11", "12", "13", "14", "15", "16", "17", "18",
                          "19", "2",  "20", "21", "22", "23", "24", "25", "3",  "4"};
  EXPECT_EQ(NamesOf(list.GetUserList()), expected);
  for (size_t i = 0; i < list.GetUserList().size(); ++i) {
    EXPECT_EQ(list.GetUserList()[i].id, i + 1) << i;
  }
  EXPECT_EQ(list.GetCount(), 20u);
}

TEST_F(SfExtProgramList, EntriesOverTheLimitKeepTheirFiles) {
  for (int n = 1; n <= 25; ++n) {
    EntryFile::User(std::to_string(n)).Save(Ext(std::to_string(n) + ".xml"));
  }
  std::map<std::string, std::string> dropped;
  for (int n = 5; n <= 9; ++n) {
    dropped[std::to_string(n)] = ReadBytes(Ext(std::to_string(n) + ".xml"));
  }
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(BuildAndDestroy().size(), 20u) << round;
    std::multiset<std::string> programs;
    for (const auto& [file, name] : ExtFolder()) programs.insert(name);
    EXPECT_EQ(programs.size(), 25u) << round;
    for (int n = 1; n <= 25; ++n) EXPECT_EQ(programs.count(std::to_string(n)), 1u) << n;
    for (const auto& [name, bytes] : dropped) {
      EXPECT_EQ(ReadBytes(Ext(name + ".xml")), bytes) << name;
    }
  }
}

TEST_F(SfExtProgramList, EntriesLandInTheListsOfTheirLevel) {
  const struct {
    const char* name;
    bool groupApp;
    int64_t level;
  } files[] = {
      {"g0", true, 0},  {"g2", true, 2},    {"g3", true, 3},    {"g4", true, 4},
      {"g5", true, 5},  {"g6", true, 6},    {"g100", true, 100}, {"u100", false, 100},
      {"u0", false, 0}, {"u2", false, 2},   {"g7", true, 7},    {"g1", true, 1},
  };
  int n = 0;
  for (const auto& f : files) {
    EntryFile file = EntryFile::User(f.name);
    file.groupApp = f.groupApp;
    file.displayLevel = f.level;
    file.Save(T("reg/f" + std::to_string(++n) + ".xml"));
  }
  List list;
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup0)), Names{"g0"});
  EXPECT_EQ(NamesOf(list.GetList(Kind::kUser)), Names{"g1"});
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup2)), Names{"g2"});
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup3)), Names{"g3"});
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup4)), (Names{"g4", "g5"}));
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup5)), (Names{"g4", "g5"}));
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup6)), Names{"g6"});
  EXPECT_EQ(NamesOf(list.GetList(Kind::kList100)), (Names{"u100", "g100"}));
}

TEST_F(SfExtProgramList, BuiltInRowSwitchesOffOnlyItsLevel) {
  EntryFile level0 = EntryFile::Group("GPS0", 0);
  level0.installSettingName = "GPSMatch";
  level0.Save(T("reg/a.xml"));
  EntryFile level2 = EntryFile::Group("GPS2", 2);
  level2.installSettingName = "GPSMatch";
  level2.Save(T("reg/b.xml"));
  List list;
  EXPECT_TRUE(list.GetList(Kind::kGroup0).empty());
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup2)), Names{"GPS2"});
}

TEST_F(SfExtProgramList, IgnoreValuesSwitchOffTheirLevel) {
  const struct {
    const char* label;
    std::optional<uint32_t> ignore;
    bool kept;
  } cases[] = {
      {"no row", std::nullopt, true},
      {"level 1", 1u, false},
      {"passed over", 0xFFFFFFFFu, true},
      {"another level", 2u, true},
  };
  for (const auto& c : cases) {
    (void)XpRegistry::DeleteKeyTree(XpString::FromUtf8(kIgnoreKey), kUser);
    fs::remove_all(ext_);
    fs::create_directories(ext_);
    if (c.ignore) extprogramtest::SetRegistryDword(kUser, kIgnoreKey, "Tool", *c.ignore);
    EntryFile tool = WithExe(EntryFile::User("Tool"), "tool");
    tool.installSettingName = "Tool";
    tool.Save(Ext("1.xml"));
    EXPECT_EQ(BuildAndDestroy(), c.kept ? Names{"Tool"} : Names{}) << c.label;
  }
}

TEST_F(SfExtProgramList, RegisteredEntryOfTheSameProgramUpdatesTheUserEntry) {
  EntryFile user = WithExe(EntryFile::User("M"), "m");
  user.option = "-o";
  user.description = "old";
  user.uiOrder = 7;
  user.Save(Ext("1.xml"));
  EntryFile registered = WithExe(EntryFile::User("M"), "m");
  registered.option = "-o";
  registered.description = "new";
  registered.modal = true;
  registered.uiOrder = 3;
  registered.contentTypeMasks = {"1"};
  registered.Save(T("reg/m.xml"));
  const std::string registeredBytes = ReadBytes(T("reg/m.xml"));
  {
    List list;
    ASSERT_EQ(list.GetUserList().size(), 1u);
    const Entry& entry = list.GetUserList()[0];
    EXPECT_EQ(entry.description.ToMultiByte().ToStdString(), "new");
    EXPECT_TRUE(entry.modal);
    EXPECT_EQ(entry.contentTypeMasks, std::vector<uint32_t>{1});
    EXPECT_EQ(entry.filePath.ToMultiByte().ToStdString(), Ext("1.xml"));
    EXPECT_EQ(entry.id, 1u);
    EXPECT_EQ(entry.uiOrder, 7);
  }
  EXPECT_EQ(ReadBytes(T("reg/m.xml")), registeredBytes) << "a registered file is never touched";
}

TEST_F(SfExtProgramList, ExecutableDifferingInCaseIsAnotherProgram) {
  WithExe(EntryFile::User("M"), "m").Save(Ext("1.xml"));
  EntryFile registered = EntryFile::User("M");
  registered.installedLocation = T("BIN");
  registered.exeName = "m";
  registered.description = "second";
  registered.Save(T("reg/m.xml"));
  List list;
  ASSERT_EQ(list.GetUserList().size(), 2u);
  EXPECT_TRUE(list.GetUserList()[0].description.IsEmpty());
  EXPECT_EQ(list.GetUserList()[1].description.ToMultiByte().ToStdString(), "second");
  EXPECT_EQ(list.GetUserList()[1].filePath.ToMultiByte().ToStdString(), Ext("2.xml"));
  EXPECT_TRUE(list.GetUserList()[1].sourcePath.IsEmpty());
}

TEST_F(SfExtProgramList, SortsByUiOrderKeepingReadOrderAmongEquals) {
  const struct {
    const char* name;
    int64_t order;
  } files[] = {{"a", 2}, {"b", 1}, {"c", 2}, {"d", 0}};
  int n = 0;
  for (const auto& f : files) {
    EntryFile file = EntryFile::User(f.name);
    file.uiOrder = f.order;
    file.Save(Ext(std::to_string(++n) + ".xml"));
    EntryFile group = EntryFile::Group(f.name, 2);
    group.uiOrder = f.order;
    group.Save(T("reg/" + std::to_string(n) + ".xml"));
  }
  List list;
  EXPECT_EQ(NamesOf(list.GetUserList()), (Names{"d", "b", "a", "c"}));
  EXPECT_EQ(NamesOf(list.GetList(Kind::kGroup2)), (Names{"d", "b", "a", "c"}));
}

TEST_F(SfExtProgramList, List100SortsDescriptionsLogicallyAndEqualsInReverse) {
  const struct {
    const char* name;
    const char* description;
    int64_t order;
  } files[] = {{"ten", "Tool 10", 5}, {"two", "Tool 2", 5}, {"first", "Same", 5},
               {"second", "Same", 5}, {"early", "Zed", 1}};
  int n = 0;
  for (const auto& f : files) {
    EntryFile file = EntryFile::User(f.name);
    file.displayLevel = 100;
    file.description = f.description;
    file.uiOrder = f.order;
    file.Save(T("reg/" + std::to_string(++n) + ".xml"));
  }
  List list;
  EXPECT_EQ(NamesOf(list.GetList(Kind::kList100)),
            (Names{"early", "second", "first", "two", "ten"}));
}

TEST_F(SfExtProgramList, RemovingSwitchesTheProgramOffAndDeletesItsFile) {
  EntryFile tool = WithExe(EntryFile::User("Tool"), "tool");
  tool.installSettingName = "Tool";
  tool.Save(Ext("1.xml"));
  WithExe(EntryFile::User("Plain"), "plain").Save(Ext("2.xml"));
  {
    List list;
    ASSERT_EQ(NamesOf(list.GetUserList()), (Names{"Tool", "Plain"}));
    list.Remove(99);
    EXPECT_EQ(list.GetUserList().size(), 2u);
    list.Remove(list.GetUserList()[0].id);
    EXPECT_EQ(NamesOf(list.GetUserList()), Names{"Plain"});
    EXPECT_FALSE(fs::exists(Ext("1.xml")));
    XpRegistry ignore;
    ASSERT_EQ(ignore.Open(XpString::FromUtf8(kIgnoreKey), kUser, XpRegistry::kAccessRead), kXpOk);
    EXPECT_EQ(ignore.QueryDword(u"Tool", 0), 1u);
    list.Remove(list.GetUserList()[0].id);
    XpStringVector names;
    ASSERT_EQ(ignore.EnumValues(&names), kXpOk);
    EXPECT_EQ(names.size(), 1u) << "no name, no row";
  }
  tool.Save(Ext("1.xml"));
  EXPECT_EQ(BuildAndDestroy(), Names{});
}

TEST_F(SfExtProgramList, RemovedEntryLeavesNoFileBehindAfterMoving) {
  EntryFile::User("A").Save(Ext("1.xml"));
  EntryFile::User("C").Save(Ext("3.xml"));
  {
    List list;
    ASSERT_EQ(list.GetUserList()[1].filePath.ToMultiByte().ToStdString(), Ext("2.xml"));
    list.Remove(list.GetUserList()[1].id);
  }
  EXPECT_EQ(ExtFolder(), (std::map<std::string, std::string>{{"1.xml", "A"}}));
}

TEST_F(SfExtProgramList, RemovalAndRebuildsLeaveNoStaleFiles) {
  EntryFile::User("A").Save(Ext("1.xml"));
  EntryFile::User("B").Save(Ext("2.xml"));
  EntryFile::User("C").Save(Ext("3.xml"));
  {
    List list;
    ASSERT_EQ(NamesOf(list.GetUserList()), (Names{"A", "B", "C"}));
    list.Remove(list.GetUserList()[1].id);
  }
  const std::map<std::string, std::string> expected = {{"1.xml", "A"}, {"2.xml", "C"}};
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(BuildAndDestroy(), (Names{"A", "C"})) << round;
    EXPECT_EQ(ExtFolder(), expected) << round;
  }
}

TEST_F(SfExtProgramList, DroppedEntryKeepsItsFile) {
  EntryFile x = EntryFile::User("X");
  x.installSettingName = "X";
  x.installedLocation = T("none");
  x.exeName = "missing";
  x.Save(Ext("1.xml"));
  const std::string xBytes = ReadBytes(Ext("1.xml"));
  EntryFile::User("B").Save(Ext("2.xml"));
  EXPECT_EQ(BuildAndDestroy(), Names{"B"});
  EXPECT_EQ(ReadBytes(Ext("1.xml")), xBytes);
  EXPECT_EQ(ExtFolder(), (std::map<std::string, std::string>{{"1.xml", "X"}, {"2.xml", "B"}}));
}

TEST_F(SfExtProgramList, ReplaceLeavesOnlyTheNewEntries) {
  EntryFile::User("A").Save(Ext("1.xml"));
  EntryFile::User("C").Save(Ext("3.xml"));
  {
    List list;
    ASSERT_EQ(list.GetUserList()[1].sourcePath.ToMultiByte().ToStdString(), Ext("3.xml"));
    Entry d;
    d.appName = u"D";
    d.displayLevel = 1;
    list.ReplaceUserList({d});
    EXPECT_EQ(NamesOf(list.GetUserList()), Names{"D"});
    EXPECT_EQ(list.GetUserList()[0].id, 1u);
    EXPECT_EQ(list.GetCount(), 1u);
  }
  EXPECT_EQ(ExtFolder(), (std::map<std::string, std::string>{{"1.xml", "D"}}));
}

TEST_F(SfExtProgramList, SaveReportsTheFirstFailedWriteAndRegistersOnlyWrittenFiles) {
  EntryFile::User("A").Save(Ext("1.xml"));
  EntryFile::User("B").Save(Ext("2.xml"));
  const std::string bBytes = ReadBytes(Ext("2.xml"));
  List list;
  faults_.Add(Fault(SysCall::kWrite, ext_).Errno(ENOSPC).FromCall(2));
  EXPECT_EQ(list.SaveUserList(), kXpErrDiskFull);
  faults_.Clear();
  XpStringVector registered;
  ASSERT_EQ(SfInitToolGetList(u"Kavo Telvane", &registered, u"ExpAppData", u"Delete"), kXpOk);
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0].ToMultiByte().ToStdString(), Ext("1.xml"));
  EXPECT_EQ(ReadBytes(Ext("2.xml")), bBytes);
  EXPECT_EQ(list.GetUserList()[1].uiOrder, 2);

  EXPECT_EQ(list.SaveUserList(), kXpOk);
  registered.clear();
  ASSERT_EQ(SfInitToolGetList(u"Kavo Telvane", &registered, u"ExpAppData", u"Delete"), kXpOk);
  EXPECT_EQ(registered,
            (XpStringVector{XpString::FromUtf8(Ext("1.xml")), XpString::FromUtf8(Ext("2.xml"))}));
}

TEST_F(SfExtProgramList, FindOrAddAnswersTheSameProgramOrAddsIt) {
  WithExe(EntryFile::User("A"), "a").Save(Ext("1.xml"));
  List list;
  Entry same = list.GetUserList()[0];
  same.description = u"other text";
  EXPECT_EQ(list.FindOrAdd(same), 1u);
  EXPECT_EQ(list.GetUserList().size(), 1u);

  Entry other;
  other.appName = u"B";
  other.sourcePath = XpString::FromUtf8(T("reg/b.xml"));
  EXPECT_EQ(list.FindOrAdd(other), 2u);
  ASSERT_EQ(list.GetUserList().size(), 2u);
  EXPECT_EQ(list.GetUserList()[1].filePath.ToMultiByte().ToStdString(), Ext("2.xml"));
  EXPECT_TRUE(list.GetUserList()[1].sourcePath.IsEmpty());

  list.SetMaxUserEntries(2);
  other.appName = u"C";
  EXPECT_EQ(list.FindOrAdd(other), 2u) << "full: the last entry's identifier";
  EXPECT_EQ(list.GetUserList().size(), 2u);
}

TEST_F(SfExtProgramList, CollectsGroupList2EntriesByContentType) {
  EntryFile g1 = EntryFile::Group("G1", 2);
  g1.contentTypeMasks = {"10", "20"};
  g1.Save(T("reg/1.xml"));
  EntryFile g2 = EntryFile::Group("G2", 2);
  g2.contentTypeMasks = {"20"};
  g2.Save(T("reg/2.xml"));
  EntryFile g3 = EntryFile::Group("G3", 3);
  g3.contentTypeMasks = {"10"};
  g3.Save(T("reg/3.xml"));
  EntryFile u = EntryFile::User("U");
  u.contentTypeMasks = {"10"};
  u.Save(T("reg/4.xml"));
  List list;
  const struct {
    uint32_t type;
    Names expected;
  } cases[] = {{0x10, {"G1"}}, {0x20, {"G1", "G2"}}, {0x30, {}}};
  for (const auto& c : cases) {
    List::Entries out;
    EXPECT_EQ(list.CollectByContentType(c.type, &out), !c.expected.empty()) << c.type;
    EXPECT_EQ(NamesOf(out), c.expected) << c.type;
  }
  List::Entries out(1);
  EXPECT_TRUE(list.CollectByContentType(0x10, &out));
  EXPECT_EQ(out.size(), 2u) << "appends";
}

TEST_F(SfExtProgramList, RenumberCountsFromEachBase) {
  for (const char* name : {"a", "b"}) {
    EntryFile::Group(std::string("g0") + name, 0).Save(T("reg/g0" + std::string(name) + ".xml"));
    EntryFile::Group(std::string("g6") + name, 6).Save(T("reg/g6" + std::string(name) + ".xml"));
    EntryFile l100 = EntryFile::User(std::string("l") + name);
    l100.displayLevel = 100;
    l100.Save(T("reg/l" + std::string(name) + ".xml"));
    EntryFile::User(std::string("u") + name).Save(Ext(std::string("u") + name + ".xml"));
  }
  List list;
  list.SetIdBases({10, 5, 20, 30, 40, 50, 100});
  list.Renumber();
  const auto ids = [&list](Kind kind) {
    std::vector<uint32_t> result;
    for (const Entry& entry : list.GetList(kind)) result.push_back(entry.id);
    return result;
  };
  EXPECT_EQ(ids(Kind::kGroup0), (std::vector<uint32_t>{11, 12}));
  EXPECT_EQ(ids(Kind::kUser), (std::vector<uint32_t>{6, 7}));
  EXPECT_EQ(ids(Kind::kList100), (std::vector<uint32_t>{100, 101}));
  EXPECT_EQ(ids(Kind::kGroup6), (std::vector<uint32_t>{0, 0}));
  EXPECT_EQ(list.GetCount(), 2u);
  Entry added;
  added.appName = u"n";
  EXPECT_EQ(list.FindOrAdd(added), 8u);
}

TEST_F(SfExtProgramList, ExtToolsFolderRegisteredAgainIsReadOnce) {
  extprogramtest::SetRegistryString(kMachine, kFoldersKey, "Again", ext_ + "/");
  EntryFile::User("A").Save(Ext("1.xml"));
  EXPECT_EQ(BuildAndDestroy(), Names{"A"});
  EXPECT_EQ(ExtFolder(), (std::map<std::string, std::string>{{"1.xml", "A"}}));
}

TEST_F(SfExtProgramList, DestroyingSavesTheUserListInOrder) {
  EntryFile b = EntryFile::User("B");
  b.uiOrder = 9;
  b.Save(Ext("1.xml"));
  EntryFile a = EntryFile::User("A");
  a.uiOrder = 3;
  a.Save(Ext("2.xml"));
  EXPECT_EQ(BuildAndDestroy(), (Names{"A", "B"}));
  Entry first;
  Entry second;
  ASSERT_EQ(first.Read(XpString::FromUtf8(Ext("1.xml"))), kXpOk);
  ASSERT_EQ(second.Read(XpString::FromUtf8(Ext("2.xml"))), kXpOk);
  EXPECT_EQ(first.appName.ToMultiByte().ToStdString(), "B");
  EXPECT_EQ(first.uiOrder, 2);
  EXPECT_EQ(second.appName.ToMultiByte().ToStdString(), "A");
  EXPECT_EQ(second.uiOrder, 1);
}

}  // namespace
