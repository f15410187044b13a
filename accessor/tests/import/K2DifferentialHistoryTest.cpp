#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "accessor/import/K2DifferentialHistory.h"
#include "framework/suite/SfInitTool.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"
#include "platform/value/XpIniDict.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using testsupport::SysCall;

constexpr const char* kPlistHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
constexpr const char* kPlistTail = "</dict>\n</plist>\n";

class K2DifferentialHistory : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    folder_ = Dir("history").string();
  }

  std::string FilePath(const std::string& name) const {
    return folder_ + "/DCFIND_" + name + ".dat";
  }

  ::K2DifferentialHistory History(const std::string& name) const {
    return ::K2DifferentialHistory(XpString::FromUtf8(name), XpString::FromUtf8(folder_));
  }

  static XpStringVector DeleteList() {
    XpStringVector list;
    EXPECT_EQ(SfInitToolGetList(u"QMV", &list, u"ImportHistory", u"Delete"), kXpOk);
    return list;
  }

  // The "GUID" element of the file as the value tree reads it.
  static void ExpectStoredMax(const std::string& path, int64_t expected) {
    XpIniDict dict;
    ASSERT_EQ(dict.LoadFromFile(XpString::FromUtf8(path)), kXpOk) << path;
    const XpIniElement* element = dict.Find(u"GUID");
    ASSERT_NE(element, nullptr);
    ASSERT_EQ(element->GetType(), kXpIniTypeInt);
    int64_t value = -1;
    ASSERT_EQ(element->GetInt64(&value), kXpOk);
    EXPECT_EQ(value, expected);
  }

  void WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream(FilePath(name), std::ios::binary) << text;
  }

  std::string folder_;
  testsupport::FaultInjection faults_;
};

TEST_F(K2DifferentialHistory, FirstLoadCreatesAndListsTheFileOnce) {
  ::K2DifferentialHistory history = History("A1B2");
  ASSERT_EQ(history.Load(), kXpOk);
  EXPECT_EQ(history.GetMax(), 0);
  EXPECT_EQ(history.GetFilePath().ToMultiByte().ToStdString(), FilePath("A1B2"));
  ExpectStoredMax(FilePath("A1B2"), 0);
  ASSERT_EQ(DeleteList().size(), 1u);
  EXPECT_EQ(DeleteList()[0].ToMultiByte().ToStdString(), FilePath("A1B2"));

  ASSERT_EQ(history.UpdateMax(12), kXpOk);
  ASSERT_EQ(history.Save(), kXpOk);
  ExpectStoredMax(FilePath("A1B2"), 12);
  EXPECT_EQ(DeleteList().size(), 1u);
}

TEST_F(K2DifferentialHistory, UpdateMaxKeepsTheLargerSignedValue) {
  ::K2DifferentialHistory history = History("C3");
  for (const int64_t value : {5, 3, -1}) ASSERT_EQ(history.UpdateMax(value), kXpOk);
  EXPECT_EQ(history.GetMax(), 5);

  ::K2DifferentialHistory fresh;
  ASSERT_EQ(fresh.UpdateMax(-1), kXpOk);
  EXPECT_EQ(fresh.GetMax(), 0);

  WriteFile("NEG",
            std::string(kPlistHead) + "<key>GUID</key><integer>-10</integer>\n" + kPlistTail);
  ::K2DifferentialHistory negative = History("NEG");
  ASSERT_EQ(negative.Load(), kXpOk);
  EXPECT_EQ(negative.GetMax(), -10);
  ASSERT_EQ(negative.UpdateMax(-20), kXpOk);
  EXPECT_EQ(negative.GetMax(), -10);
  ASSERT_EQ(negative.UpdateMax(-5), kXpOk);
  EXPECT_EQ(negative.GetMax(), -5);
}

TEST_F(K2DifferentialHistory, LargeValueRoundTrips) {
  constexpr int64_t kLarge = int64_t{1} << 40;
  ::K2DifferentialHistory history = History("D4");
  ASSERT_EQ(history.UpdateMax(kLarge), kXpOk);
  ASSERT_EQ(history.Save(), kXpOk);
  ::K2DifferentialHistory loaded = History("D4");
  ASSERT_EQ(loaded.Load(), kXpOk);
  EXPECT_EQ(loaded.GetMax(), kLarge);
}

TEST_F(K2DifferentialHistory, WithoutAUsablePathNothingIsTouched) {
  const std::string missing = folder_ + "/missing";
  const struct {
    const char* what;
    std::string name;
    std::string folder;
  } cases[] = {
      {"empty name", "", folder_},
      {"missing folder", "E5", missing},
      {"name leaving the folder", "../E5", folder_},
  };
  for (const auto& c : cases) {
    ::K2DifferentialHistory history(XpString::FromUtf8(c.name), XpString::FromUtf8(c.folder));
    EXPECT_TRUE(history.GetFilePath().IsEmpty()) << c.what;
    EXPECT_EQ(history.Load(), kXpErrWrongState) << c.what;
    EXPECT_EQ(history.Save(), kXpErrWrongState) << c.what;
  }
  EXPECT_TRUE(fs::is_empty(folder_));
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_TRUE(DeleteList().empty());
}

TEST_F(K2DifferentialHistory, SetFolderTakesOnlyAnExistingFolder) {
  ::K2DifferentialHistory history = History("F6");
  EXPECT_FALSE(history.SetFolder(XpString::FromUtf8(folder_ + "/missing")));
  EXPECT_EQ(history.GetFilePath().ToMultiByte().ToStdString(), FilePath("F6"));
  const std::string other = Dir("other").string();
  EXPECT_TRUE(history.SetFolder(XpString::FromUtf8(other)));
  EXPECT_EQ(history.GetFilePath().ToMultiByte().ToStdString(), other + "/DCFIND_F6.dat");
}

TEST_F(K2DifferentialHistory, UnreadableFileLeavesTheValue) {
  WriteFile("G7", "not a property list");
  XpIniDict probe;
  const XpResult treeCode = probe.LoadFromFile(XpString::FromUtf8(FilePath("G7")));
  ASSERT_NE(treeCode, kXpOk);

  ::K2DifferentialHistory history = History("G7");
  ASSERT_EQ(history.UpdateMax(7), kXpOk);
  EXPECT_EQ(history.Load(), treeCode);
  EXPECT_EQ(history.GetMax(), 7);

  WriteFile("G7", std::string(kPlistHead) + "<key>GUID</key><string>99</string>\n" + kPlistTail);
  EXPECT_EQ(history.Load(), kXpOk);
  EXPECT_EQ(history.GetMax(), 7);

  WriteFile("G7", std::string(kPlistHead) + kPlistTail);
  EXPECT_EQ(history.Load(), kXpOk);
  EXPECT_EQ(history.GetMax(), 7);
}

TEST_F(K2DifferentialHistory, FailedSaveKeepsThePreviousValue) {
  ::K2DifferentialHistory history = History("H8");
  ASSERT_EQ(history.UpdateMax(5), kXpOk);
  ASSERT_EQ(history.Save(), kXpOk);

  const int rule = faults_.Add(Fault(SysCall::kWrite, folder_).Errno(ENOSPC));
  ASSERT_EQ(history.UpdateMax(9), kXpOk);
  EXPECT_EQ(history.Save(), kXpErrDiskFull);
  EXPECT_GT(faults_.Hits(rule), 0);
  faults_.Clear();

  ::K2DifferentialHistory reloaded = History("H8");
  ASSERT_EQ(reloaded.Load(), kXpOk);
  EXPECT_EQ(reloaded.GetMax(), 5);
  EXPECT_EQ(DeleteList().size(), 1u);
}

}  // namespace
