#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using xdbtest::kBackup;
using xdbtest::kDatabase;
using xdbtest::kWorkCopy;
using xdbtest::Owned;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using testsupport::Fault;
using testsupport::SysCall;

class DeviceXdbAccessor : public xdbtest::AccessorTest {
 protected:
  // The folder, the machine's methods of opening, closing and flushing
  // since the mark.
  std::vector<std::string> Lifecycle() const {
    static const std::set<std::string> kept = {"flush", "deleteIndex", "close", "new Master", "open", "createIndex"};
    std::vector<std::string> methods;
    for (const fsktest::ScriptedCall& call : LoggedCalls()) {
      if (kept.count(call.method) != 0) {
        methods.push_back(call.method);
      }
    }
    return methods;
  }

  // An accessor on a card whose database is "old", with one edit made in
  // the work copy, which is marked "new".
  Owned<XdbAccessor::IXdbAccessor> EditedAccessor() {
    MakeDatabase(kDatabase, "old");
    Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
    AnswerOpens(1);
    scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(5)));
    Owned<XdbAccessor::IAlbumInfo> album(accessor->CreateAlbum(u"Trip"));
    EXPECT_NE(album, nullptr);
    fstest::WriteBytes(Card() / kWorkCopy / "marker", "new");
    Mark();
    return accessor;
  }

  testsupport::FaultInjection faults_;
};

TEST_F(DeviceXdbAccessor, CommitWithoutAnEditReopensTheDatabase) {
  MakeDatabase(kDatabase, "old");
  Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  const std::vector<std::string> expected = {"flush", "deleteIndex", "close", "new Master", "open", "createIndex"};
  EXPECT_EQ(Lifecycle(), expected);
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "old");
}

TEST_F(DeviceXdbAccessor, CommitSwapsTheWorkCopyInAndSyncsEveryStep) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  AnswerOpens(1);
  xdbtest::SeamLog seam;
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "new");
  const std::string root = fstest::ToUtf8(CardRoot());
  const std::vector<std::string>& entries = seam.Entries();
  int renames = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].rfind("rename ", 0) != 0) {
      continue;
    }
    ++renames;
    ASSERT_LT(i + 1, entries.size()) << entries[i];
    EXPECT_EQ(entries[i + 1], "fsync " + root) << entries[i];
  }
  EXPECT_EQ(renames, 2);
  // The backup's removal is synced too.
  EXPECT_EQ(entries.back(), "fsync " + root);
  EXPECT_TRUE(sleeps_.empty());
}

TEST_F(DeviceXdbAccessor, ABackupThatCannotGoStopsTheSwapWithTenLogs) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  MakeDatabase(kBackup, "older");
  const std::string backup = (Card() / kBackup).string();
  faults_.Add(Fault(SysCall::kUnlink, backup).Errno(EBUSY));
  faults_.Add(Fault(SysCall::kRmdir, backup).Errno(EBUSY));
  const int32_t result = accessor->Commit();
  EXPECT_NE(result, 0);
  EXPECT_EQ(sleeps_, std::vector<uint32_t>(10, 1000));
  const std::map<std::string, std::string> logs = LogFiles();
  ASSERT_EQ(logs.size(), 10u);
  int32_t number = 0;
  for (const auto& [name, text] : logs) {
    char expectedName[32];
    std::snprintf(expectedName, sizeof expectedName, "_TempK2TLV_%05d.log", number++);
    EXPECT_EQ(name, expectedName);
    const std::string tail = "][renameFolders][remove] " + fstest::ToUtf8(FolderPath(kBackup)) + ". [" +
                             std::to_string(result) + "]\n";
    ASSERT_GE(text.size(), tail.size()) << text;
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
    EXPECT_EQ(text.front(), '[') << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
  EXPECT_EQ(Marker(kDatabase), "old");
  faults_.Clear();
}

TEST_F(DeviceXdbAccessor, AWorkCopyThatCouldNotMoveIsPlacedOnRelease) {
  xdbtest::ScopedLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.Active());
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  const std::string workCopy = (Card() / kWorkCopy).string();
  faults_.Add(Fault(SysCall::kRename, workCopy).Errno(EACCES).Times(10));
  EXPECT_NE(accessor->Commit(), 0);
  EXPECT_EQ(Folders(), (std::vector<std::string>{kBackup, kWorkCopy}));
  EXPECT_EQ(sleeps_, std::vector<uint32_t>(10, 1000));
  const std::map<std::string, std::string> logs = LogFiles();
  ASSERT_EQ(logs.size(), 10u);
  const std::regex line("\\[\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\]\\[renameFolders\\] " +
                        fstest::ToUtf8(FolderPath(kWorkCopy)) + " to " + fstest::ToUtf8(FolderPath(kDatabase)) +
                        "\\. \\[33032\\]\n");
  for (const auto& [name, text] : logs) {
    EXPECT_TRUE(std::regex_match(text, line)) << name << ": " << text;
  }
  accessor.reset();
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "new");
}

TEST_F(DeviceXdbAccessor, ReleaseWithoutCommitPlacesTheWorkCopyUnflushed) {
  Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
  accessor.reset();
  EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase});
  EXPECT_EQ(Marker(kDatabase), "new");
  for (const fsktest::ScriptedCall& call : LoggedCalls()) {
    EXPECT_NE(call.method, "flush");
  }
}

TEST_F(DeviceXdbAccessor, ALeftoverWorkCopyWithoutEditsIsNeverSwappedIn) {
  MakeDatabase(kDatabase, "old");
  MakeDatabase(kWorkCopy, "stale");
  faults_.Add(Fault(SysCall::kUnlink, (Card() / kWorkCopy).string()).Errno(EBUSY));
  Owned<XdbAccessor::IXdbAccessor> accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  faults_.Clear();
  AnswerOpens(1);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Marker(kDatabase), "old");
  accessor.reset();
  EXPECT_EQ(Marker(kDatabase), "old");
  EXPECT_EQ(Folders(), (std::vector<std::string>{kDatabase, kWorkCopy}));
}

TEST_F(DeviceXdbAccessor, AFailedFlushOrCloseSwapsNothing) {
  struct Case {
    const char* method;
    int32_t result;
  };
  const Case cases[] = {{"Master.flush", -9999}, {"Master.close", -9999}};
  for (const Case& c : cases) {
    Owned<XdbAccessor::IXdbAccessor> accessor = EditedAccessor();
    scripted_->Answer(c.method, ScriptedAnswer::Throw("card busy"));
    EXPECT_EQ(accessor->Commit(), c.result) << c.method;
    EXPECT_EQ(Folders(), (std::vector<std::string>{kDatabase, kWorkCopy})) << c.method;
    EXPECT_EQ(Marker(kDatabase), "old") << c.method;
    accessor.reset();
    std::filesystem::remove_all(Card());
  }
}

}  // namespace
