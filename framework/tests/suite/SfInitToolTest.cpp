#include "framework/suite/SfInitTool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using testsupport::SysCall;

constexpr uint32_t kUser = XpRegistry::kRootCurrentUser;
constexpr const char16_t* kProgram = u"Kavo Telvane";
constexpr const char* kAppKey = "Software\\Kavo Corporation\\Kavo Telvane";
constexpr const char* kInitToolKey = "Software\\Kavo Corporation\\Kavo Telvane\\InitTool\\1.0";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class InitToolFixture : public testsupport::HermeticTest {
 protected:
  void TearDown() override {
    faults_.Clear();
    HermeticTest::TearDown();
  }

  std::string T(const std::string& relative) const { return (Root() / relative).string(); }
  void WriteFile(const std::string& relative, const std::string& content) const {
    fs::create_directories(fs::path(T(relative)).parent_path());
    std::ofstream(T(relative), std::ios::binary) << content;
  }

  static std::string AppKey(const std::string& relative) {
    return relative.empty() ? kAppKey : std::string(kAppKey) + "\\" + relative;
  }
  static bool KeyExists(const std::string& path) {
    XpRegistry key;
    return key.Open(XpString::FromUtf8(path), kUser, XpRegistry::kAccessRead) == kXpOk;
  }
  static bool ValueExists(const std::string& path, const std::string& name) {
    XpRegistry key;
    return key.Open(XpString::FromUtf8(path), kUser, XpRegistry::kAccessRead) == kXpOk &&
           key.HasValue(XpString::FromUtf8(name));
  }
  static void SetValue(const std::string& path, const std::string& name) {
    XpRegistry key;
    ASSERT_EQ(key.Open(XpString::FromUtf8(path), kUser, XpRegistry::kAccessWrite), kXpOk) << path;
    ASSERT_EQ(key.SetDword(XpString::FromUtf8(name), 1), kXpOk) << name;
  }
  static void CreateKey(const std::string& path) {
    XpRegistry key;
    ASSERT_EQ(key.Open(XpString::FromUtf8(path), kUser, XpRegistry::kAccessWrite), kXpOk) << path;
  }
  static void SetList(const std::string& subkey, const std::string& list,
                      const std::vector<std::string>& entries) {
    XpStringVector wide;
    for (const std::string& entry : entries) wide.push_back(XpString::FromUtf8(entry));
    const XfRegistryKey key = SfInitToolOpenKey(kProgram, XpString::FromUtf8(subkey));
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->SetStringList(XpString::FromUtf8(list), wide), kXpOk);
  }

  // The program key holds a value, kept keys, and Browser and Importer
  // keys with kept and other parts.
  static void BuildSettingsTree() {
    SetValue(AppKey(""), "V");
    CreateKey(AppKey("InitTool\\1.0\\X"));
    SetValue(AppKey("MusicTransfer\\k"), "m");
    SetValue(AppKey("Browser\\1.0\\RegisteredFolders"), "FolderCount");
    SetValue(AppKey("Browser\\1.0\\RegisteredFolders"), "Folder0");
    SetValue(AppKey("Browser\\1.0\\Settings"), "S");
    SetValue(AppKey("Browser"), "BrowserValue");
    SetValue(AppKey("Importer\\DCF\\1.0"), "DestDir");
    SetValue(AppKey("Importer\\DCF\\1.0"), "Other");
  }

  testsupport::FaultInjection faults_;
};
using SfInitTool = InitToolFixture;

TEST_F(SfInitTool, KeyPathsNameTheProgramUnderTheMaker) {
  EXPECT_EQ(SfInitToolGetAppKeyPath(kProgram).ToMultiByte().ToStdString(), kAppKey);
  EXPECT_EQ(SfInitToolGetKeyPath(kProgram).ToMultiByte().ToStdString(), kInitToolKey);

  EXPECT_FALSE(KeyExists(std::string(kInitToolKey) + "\\Made"));
  const XfRegistryKey key = SfInitToolOpenKey(kProgram, u"Made");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->GetPath().ToMultiByte().ToStdString(), std::string(kInitToolKey) + "\\Made");
  EXPECT_TRUE(KeyExists(std::string(kInitToolKey) + "\\Made"));
}

TEST_F(SfInitTool, AddListEntryAppendsOnlyValuesNotYetListedExactly) {
  for (const char16_t* value : {u"a", u"a", u"A"}) {
    EXPECT_EQ(SfInitToolAddListEntry(kProgram, u"T", u"Delete", value), kXpOk);
  }
  XpRegistry key;
  ASSERT_EQ(key.Open(XpString::FromUtf8(std::string(kInitToolKey) + "\\T"), kUser,
                     XpRegistry::kAccessRead),
            kXpOk);
  EXPECT_EQ(key.QueryDword(u"DeleteCount", 0), 2u);
  EXPECT_EQ(key.QueryString(u"Delete0", u""), u"a");
  EXPECT_EQ(key.QueryString(u"Delete1", u""), u"A");

  XpStringVector list{u"before"};
  EXPECT_EQ(SfInitToolGetList(kProgram, &list, u"T", u"Delete"), kXpOk);
  EXPECT_EQ(list, (XpStringVector{u"before", u"a", u"A"}));
  EXPECT_EQ(SfInitToolGetList(kProgram, &list, u"T", u"Other"), kXpOk);
  EXPECT_EQ(list.size(), 3u);
}

TEST_F(SfInitTool, AddListEntryReportsAWriteThatFails) {
  ASSERT_EQ(SfInitToolAddListEntry(kProgram, u"T", u"Delete", u"first"), kXpOk);

  const std::string registryDir = T("registry");
  // The key opens, but saving the longer list fails.
  faults_.Add(Fault(SysCall::kWrite, registryDir).Errno(EIO));
  EXPECT_NE(SfInitToolAddListEntry(kProgram, u"T", u"Delete", u"second"), kXpOk);
  // A value already listed needs no write.
  EXPECT_EQ(SfInitToolAddListEntry(kProgram, u"T", u"Delete", u"first"), kXpOk);

  // A key that cannot be made cannot be opened.
  faults_.Clear();
  faults_.Add(Fault(SysCall::kAccess, registryDir).Errno(EACCES));
  EXPECT_EQ(SfInitToolAddListEntry(kProgram, u"New", u"Delete", u"x"), kXpErrGeneric);
  faults_.Clear();

  XpStringVector list;
  EXPECT_EQ(SfInitToolGetList(kProgram, &list, u"T", u"Delete"), kXpOk);
  EXPECT_EQ(list, XpStringVector{u"first"});
}

TEST_F(SfInitTool, RenameAndDeletePassNumbersLeafNamesAndRemovesTheSubkey) {
  WriteFile("x.jpg", "new x");
  WriteFile("x_1.jpg", "old");
  WriteFile("y.jpg", "y");
  WriteFile(".cache/h", "h");
  WriteFile("d1", "1");
  WriteFile("d2", "2");
  SetList("T", "Rename", {T("x.jpg"), T("y.jpg"), T(".cache/h")});
  SetList("T", "Delete", {T("d1"), T("d2")});

  EXPECT_EQ(SfInitToolRunRenameAndDelete(kProgram, u"T"), kXpOk);

  EXPECT_EQ(ReadFile(T("x_1.jpg")), "new x");
  EXPECT_FALSE(fs::exists(T("x.jpg")));
  EXPECT_EQ(ReadFile(T("y_2.jpg")), "y");
  EXPECT_EQ(ReadFile(T(".cache/h_3")), "h");
  EXPECT_FALSE(fs::exists(T(".cache/h")));
  EXPECT_TRUE(fs::is_directory(T(".cache")));
  EXPECT_FALSE(fs::exists(T(".cache_3")));
  EXPECT_FALSE(fs::exists(T("d1")));
  EXPECT_FALSE(fs::exists(T("d2")));
  EXPECT_FALSE(KeyExists(std::string(kInitToolKey) + "\\T"));
  EXPECT_TRUE(KeyExists(kInitToolKey));
}

TEST_F(SfInitTool, RenameAndDeletePassOnAMissingSubkeyTouchesNothing) {
  WriteFile("x.jpg", "x");
  SetList("Other", "Rename", {T("x.jpg")});
  EXPECT_EQ(SfInitToolRunRenameAndDelete(kProgram, u"Missing"), kXpErrGeneric);
  EXPECT_TRUE(fs::exists(T("x.jpg")));
  EXPECT_FALSE(KeyExists(std::string(kInitToolKey) + "\\Missing"));
  EXPECT_TRUE(KeyExists(std::string(kInitToolKey) + "\\Other"));
}

TEST_F(SfInitTool, ARefusedMoveReplacesTheTargetFileButNeverAFolder) {
  WriteFile("r.jpg", "r");
  WriteFile("r_1.jpg", "old");
  WriteFile("f.jpg", "f");
  WriteFile("f_2.jpg/inside", "keep");
  WriteFile(".jpg", "dot");
  SetList("T", "Rename", {T("r.jpg"), T("f.jpg"), T(".jpg"), "relative.jpg", ""});
  const int refusedOnce = faults_.Add(Fault(SysCall::kRename, T("r.jpg")).Errno(EBUSY).Times(1));
  const int dotName = faults_.Add(Fault(SysCall::kRename, T(".jpg")).Errno(EBUSY));

  EXPECT_EQ(SfInitToolRunRenameAndDelete(kProgram, u"T"), kXpOk);

  EXPECT_EQ(faults_.Hits(refusedOnce), 1);
  EXPECT_EQ(ReadFile(T("r_1.jpg")), "r");
  EXPECT_FALSE(fs::exists(T("r.jpg")));
  // The folder in the way stays, and so does the entry.
  EXPECT_EQ(ReadFile(T("f_2.jpg/inside")), "keep");
  EXPECT_EQ(ReadFile(T("f.jpg")), "f");
  // A leaf that would keep its name is never moved onto itself.
  EXPECT_EQ(faults_.Hits(dotName), 0);
  EXPECT_EQ(ReadFile(T(".jpg")), "dot");
}

TEST_F(SfInitTool, GetNumberReadsTheDigitsBeforeTheLeafsLastDot) {
  struct Row {
    const char16_t* name;
    int32_t expected;
  };
  const Row rows[] = {
      {u"IMG_0012.JPG", 12},
      {u"ab1.jpg", 1},
      {u"a1.jpg", 0},
      {u"abc.jpg", 0},
      {u"IMG_0012", 0},
      {u"12.jpg", 0},
      {u"ab12.tar.gz", 0},
      {u"ab12.tar3.gz", 3},
      {u"/x/IMG_0007.JPG", 7},
      {u"/x/a1.jpg", 0},  // the folder's characters do not count
      {u"/x/ab1.d/IMG_5", 0},
      {u"ab2147483647.jpg", 2147483647},
      {u"ab2147483648.jpg", 0},
      {u"ab99999999999999999999.jpg", 0},
      {u"", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SfInitToolGetNumber(row.name), row.expected)
        << XpString(row.name).ToMultiByte().ToStdString();
  }
}

TEST_F(SfInitTool, SetNumberChangesOnlyTheLeafName) {
  struct Row {
    const char16_t* name;
    int32_t number;
    const char16_t* expected;
  };
  const Row rows[] = {
      {u"x.jpg", 3, u"x_3.jpg"},
      {u".jpg", 3, u".jpg"},
      {u"x", 3, u"x_3"},
      {u"a.b.jpg", 12, u"a.b_12.jpg"},
      {u"/h/.local/share/h", 1, u"/h/.local/share/h_1"},
      {u"/h/.cache/x.jpg", 2, u"/h/.cache/x_2.jpg"},
      {u"/h/.cache/.jpg", 2, u"/h/.cache/.jpg"},
      {u"/h/x.", 4, u"/h/x_4."},
      {u"", 5, u"_5"},
  };
  for (const Row& row : rows) {
    XpString name = row.name;
    SfInitToolSetNumber(&name, row.number);
    EXPECT_EQ(name, row.expected) << XpString(row.name).ToMultiByte().ToStdString();
  }
  SfInitToolSetNumber(nullptr, 1);
}

TEST_F(SfInitTool, IsInListMatchesKeysOnTheWayToInsideOrAtAListedKey) {
  const XpStringVector list{u"Software\\A\\B"};
  struct Row {
    const char16_t* path;
    bool expected;
  };
  const Row rows[] = {
      {u"software\\a", true},     {u"Software\\A\\B\\C", true}, {u"Software\\A\\BC", false},
      {u"SOFTWARE\\A\\B", true},  {u"Software\\A\\B\\", true},  {u"Software/A/B/C", true},
      {u"Software\\X", false},    {u"Soft", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SfInitToolIsInList(list, row.path), row.expected)
        << XpString(row.path).ToMultiByte().ToStdString();
  }
  EXPECT_FALSE(SfInitToolIsInList({}, u"Software"));
}

TEST_F(SfInitTool, ResetWithFalseKeepsTheFolderSettings) {
  BuildSettingsTree();
  EXPECT_EQ(SfInitToolResetSettings(kProgram, false), kXpOk);

  EXPECT_FALSE(ValueExists(AppKey(""), "V"));
  EXPECT_FALSE(KeyExists(AppKey("Browser\\1.0\\Settings")));
  EXPECT_FALSE(ValueExists(AppKey("Browser"), "BrowserValue"));
  EXPECT_FALSE(ValueExists(AppKey("Importer\\DCF\\1.0"), "Other"));

  EXPECT_TRUE(KeyExists(AppKey("InitTool\\1.0\\X")));
  EXPECT_TRUE(ValueExists(AppKey("MusicTransfer\\k"), "m"));
  EXPECT_TRUE(ValueExists(AppKey("Browser\\1.0\\RegisteredFolders"), "FolderCount"));
  EXPECT_TRUE(ValueExists(AppKey("Browser\\1.0\\RegisteredFolders"), "Folder0"));
  EXPECT_TRUE(ValueExists(AppKey("Importer\\DCF\\1.0"), "DestDir"));
}

TEST_F(SfInitTool, ResetWithTrueDeletesTheFolderSettingsToo) {
  BuildSettingsTree();
  EXPECT_EQ(SfInitToolResetSettings(kProgram, true), kXpOk);

  EXPECT_FALSE(KeyExists(AppKey("Browser")));
  EXPECT_FALSE(KeyExists(AppKey("Importer")));
  EXPECT_FALSE(ValueExists(AppKey(""), "V"));
  EXPECT_TRUE(KeyExists(AppKey("InitTool\\1.0\\X")));
  EXPECT_TRUE(ValueExists(AppKey("MusicTransfer\\k"), "m"));
}

TEST_F(SfInitTool, ResetDeletesValueNamesWithASeparatorByName) {
  BuildSettingsTree();
  // The name "Gone\W" is stored as one value of the program key.
  SetValue(AppKey(""), "Gone/W");
  EXPECT_EQ(SfInitToolResetSettings(kProgram, false), kXpOk);
  XpRegistry key;
  ASSERT_EQ(key.Open(XpString::FromUtf8(AppKey("")), kUser, XpRegistry::kAccessRead), kXpOk);
  XpStringVector values;
  ASSERT_EQ(key.EnumValues(&values), kXpOk);
  EXPECT_TRUE(values.empty());
  XpStringVector subkeys;
  ASSERT_EQ(key.EnumSubkeys(&subkeys), kXpOk);
  EXPECT_EQ(subkeys, (XpStringVector{u"InitTool", u"MusicTransfer", u"Browser", u"Importer"}));
}

TEST_F(SfInitTool, ResetOfAMissingProgramKeyIsNotMade) {
  EXPECT_EQ(SfInitToolResetSettings(u"Nobody", false), kXpOk);
  EXPECT_FALSE(KeyExists("Software\\Kavo Corporation\\Nobody"));
  SfInitToolCleanKeyTree(u"Software\\Nowhere", {});
  EXPECT_FALSE(KeyExists("Software\\Nowhere"));
}

}  // namespace
