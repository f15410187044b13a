#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "camerastore/tests/xdb/XdbRefuseExchange.h"
#include "camerastore/tests/xdb/XdbStopInsideRemoval.h"
#include "camerastore/xdb/XdbCommitHooks.h"
#include "platform/testsupport/ForkedChild.h"

namespace {

using xdbtest::AccessorPtr;
using xdbtest::AlbumPtr;
using xdbtest::ContentPtr;
using xdbtest::kEngineBackup;
using xdbtest::kEngineDatabase;
using xdbtest::kEngineWorkCopy;

constexpr int32_t kOldContents = 3;
constexpr int32_t kNewContents = 5;
constexpr char kAfterEdits[] = "edits";
constexpr char kDuringBackupRemoval[] = "backupRemoval";
constexpr char kDuringOldCopyRemoval[] = "oldCopyRemoval";

enum class Stop {
  // The child waits at a step of the commit and is killed there.
  kAtStep,
  // The store kills the child at a stage of its flush.
  kAtFlushStage,
};

struct KillCase {
  const char* name;
  // 0: the card's file system exchanges the folders in one step; else the
  // errno that refuses the exchange, so two renames swap them.
  int refusal;
  Stop stop;
  // A step of the observer, kAfterEdits, kDuringBackupRemoval or
  // kDuringOldCopyRemoval; or a flush stage of the store.
  const char* where;
  bool leftoverBackup;
  // Whether "DBFILES.tmp" is on the card after the kill.
  bool workCopyLeft;
  // The contents "DBFILES" holds after the factory ran.
  int32_t contents;
};

// A card whose database holds three contents (old); a child process adds
// two (new) and commits, and is killed on the way.
class XdbEngineCommitAcrossProcesses : public xdbtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    InitDatabase();
    for (int32_t file = 1; file <= kNewContents; ++file) {
      MakeFile(FileOf(file));
    }
    {
      AccessorPtr accessor = OpenAccessor();
      ASSERT_NE(accessor, nullptr);
      AlbumPtr album(accessor->CreateAlbum(u"Old"));
      for (int32_t file = 1; file <= kOldContents; ++file) {
        ContentPtr content(accessor->CreateContent(album.get(), CardPath(FileOf(file)), Date(file), 0));
        ASSERT_NE(content, nullptr);
      }
      ASSERT_EQ(accessor->Commit(), 0);
    }
    ASSERT_EQ(FskMainStartCount(), 0);
    std::filesystem::copy(Card() / kEngineDatabase, Dir("pristine"), std::filesystem::copy_options::recursive);
  }

  static std::string FileOf(int32_t file) { return "DCIM/100ZXDCF/DSC0000" + std::to_string(file) + ".JPG"; }
  static XpDateTime Date(int32_t file) { return XpDateTime(2009, 3, 15, 10, file, 0); }

  // The card's database as the old export left it, nothing else.
  void RestoreCard() const {
    for (const char* folder : {"DBFILES", "DBFILES.tmp", "DBFILES.bak"}) {
      std::filesystem::remove_all(Card() / folder);
    }
    std::filesystem::copy(Dir("pristine"), Card() / kEngineDatabase, std::filesystem::copy_options::recursive);
  }

  // The child's export, which stops where the case says: 0 when it got to
  // the end, which no case should.
  int RunExport(testsupport::ChildChannel& channel, const KillCase& c) {
    const std::string where = c.where;
    const auto stop = [&channel] {
      channel.SignalReady();
      channel.WaitForGo();
    };
    // Installed in this order, removed in the reverse one.
    std::optional<xdbtest::RefuseExchange> refuse;
    std::optional<xdbtest::StopInsideRemoval> inside;
    if (c.stop == Stop::kAtFlushStage) {
      ::setenv(XdbStore::kStopAtVariable, c.where, 1);
    } else {
      XdbAccessor::XdbSetStepObserver([this, &where, &stop, &inside, &channel](const char* reached) {
        if (where == reached) {
          stop();
        }
        // The store unlinks in the work copy while it flushes: the stop is
        // set once the work copy holds the old database.
        if (where == kDuringOldCopyRemoval && std::string(reached) == XdbAccessor::kXdbStepSwapRemoveOldCopy) {
          inside.emplace((Card() / kEngineWorkCopy).string(), channel);
        }
      });
    }
    XdbAccessor::IXdbAccessor* made = nullptr;
    if (XdbAccessor::CreateDeviceXdbAccessor(&made, CardRoot()) != kXpOk) {
      return 1;
    }
    AccessorPtr accessor(made);
    {
      AlbumPtr album(accessor->CreateAlbum(u"New"));
      for (int32_t file = kOldContents + 1; file <= kNewContents; ++file) {
        ContentPtr content(accessor->CreateContent(album.get(), CardPath(FileOf(file)), Date(file), 0));
      }
    }
    if (c.leftoverBackup) {
      std::filesystem::copy(Dir("pristine"), Card() / kEngineBackup, std::filesystem::copy_options::recursive);
    }
    if (where == kAfterEdits) {
      stop();
    }
    if (c.refusal != 0) {
      refuse.emplace(c.refusal);
    }
    if (where == kDuringBackupRemoval) {
      inside.emplace((Card() / kEngineBackup).string(), channel);
    }
    accessor->Commit();
    return 0;
  }

  // The number of contents the factory finds on the card; -1 when it
  // makes no accessor.
  int32_t ContentsAfterTheFactory() const {
    AccessorPtr accessor = OpenAccessor();
    if (accessor == nullptr) {
      return -1;
    }
    const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
    return contents != nullptr ? contents->GetCount() : -1;
  }
};

TEST_F(XdbEngineCommitAcrossProcesses, AKillAtAnyStepLeavesTheOldOrTheNewDatabase) {
  const KillCase cases[] = {
      {"first file of the work copy", 0, Stop::kAtStep, XdbAccessor::kXdbStepWorkCopyFile, false, true,
       kOldContents},
      {"after the edits", 0, Stop::kAtStep, kAfterEdits, false, true, kOldContents},
      // The work copy's files are written in place, with no journal.
      {"one change written", 0, Stop::kAtFlushStage, "applied-one", false, true, kOldContents},
      {"all changes written", 0, Stop::kAtFlushStage, "applied-all", false, true, kOldContents},
      {"before the work copy is synced", 0, Stop::kAtStep, XdbAccessor::kXdbStepSwapSyncWorkCopy, false, true,
       kOldContents},
      {"before the exchange", 0, Stop::kAtStep, XdbAccessor::kXdbStepSwapExchange, false, true, kOldContents},
      // The work copy's name then holds the old database.
      {"after the exchange", 0, Stop::kAtStep, XdbAccessor::kXdbStepSwapRemoveOldCopy, false, true, kNewContents},
      {"during the removal of the old copy", 0, Stop::kAtStep, kDuringOldCopyRemoval, false, true, kNewContents},
      {"during the reopen after the exchange", 0, Stop::kAtStep, XdbAccessor::kXdbStepSwapReopen, false, false,
       kNewContents},
      {"renames: before removing a leftover backup", EINVAL, Stop::kAtStep, XdbAccessor::kXdbStepSwapRemoveOldBackup,
       true, true, kOldContents},
      // The edits are not committed before the second rename.
      {"renames: after DBFILES -> DBFILES.bak", EINVAL, Stop::kAtStep, XdbAccessor::kXdbStepSwapWorkCopyToDatabase,
       false, true, kOldContents},
      {"renames: after DBFILES.tmp -> DBFILES", EINVAL, Stop::kAtStep, XdbAccessor::kXdbStepSwapRemoveBackup, false,
       false, kNewContents},
      {"renames: during the removal of the backup", EINVAL, Stop::kAtStep, kDuringBackupRemoval, false, false,
       kNewContents},
      {"renames: during the reopen", EINVAL, Stop::kAtStep, XdbAccessor::kXdbStepSwapReopen, false, false,
       kNewContents},
  };
  for (const KillCase& c : cases) {
    SCOPED_TRACE(c.name);
    RestoreCard();
    testsupport::ForkedChild child;
    ASSERT_TRUE(child.Start([this, &c](testsupport::ChildChannel& channel) { return RunExport(channel, c); }));
    if (c.stop == Stop::kAtStep) {
      ASSERT_TRUE(child.WaitReady());
      child.Kill();
    }
    EXPECT_EQ(child.Wait(), -1);
    EXPECT_EQ(Exists(kEngineWorkCopy), c.workCopyLeft);
    EXPECT_EQ(ContentsAfterTheFactory(), c.contents);
    EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
    EXPECT_EQ(CheckDatabase(), "ok\n");
  }
}

}  // namespace
