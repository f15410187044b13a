#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
#include "camerastore/tests/xdb/XdbRefuseExchange.h"
#include "camerastore/tests/xdb/XdbStopInsideRemoval.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/XdbCommitHooks.h"
#include "platform/testsupport/ForkedChild.h"

namespace {

using xdbtest::kBackup;
using xdbtest::kDatabase;
using xdbtest::kWorkCopy;
using xdbtest::Owned;
using xdbtest::StopInsideRemoval;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;

constexpr char kAfterEdits[] = "edits";
constexpr char kDuringBackupRemoval[] = "backupRemoval";
constexpr char kDuringOldCopyRemoval[] = "oldCopyRemoval";

struct KillCase {
  const char* name;
  // 0: the card's file system exchanges the folders in one step; else the
  // errno that refuses the exchange, so two renames swap them.
  int refusal;
  // A step of the observer, kAfterEdits, kDuringBackupRemoval or
  // kDuringOldCopyRemoval.
  const char* step;
  bool leftoverBackup;
  // The copy that "DBFILES" holds after the factory ran.
  const char* marker;
};

class XdbCommitAcrossProcesses : public xdbtest::AccessorTest {
 protected:
  // The child's export: open the card, make an edit (the work copy then
  // says "new"), commit. It stops where the case says and waits to be
  // killed.
  int RunExport(testsupport::ChildChannel& channel, const KillCase& c) {
    const std::string step = c.step;
    const auto stop = [&channel] {
      channel.SignalReady();
      channel.WaitForGo();
    };
    XdbAccessor::XdbSetStepObserver([&step, &stop](const char* reached) {
      if (step == reached) {
        stop();
      }
    });
    AnswerOpens(3);
    scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(5)));
    XdbAccessor::IXdbAccessor* accessor = nullptr;
    if (XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()) != kXpOk) {
      return 1;
    }
    XdbAccessor::IAlbumInfo* album = accessor->CreateAlbum(u"Trip");
    album->Release();
    fstest::WriteBytes(Card() / kWorkCopy / "marker", "new");
    if (c.leftoverBackup) {
      MakeDatabase(kBackup, "older");
    }
    if (step == kAfterEdits) {
      stop();
    }
    std::optional<xdbtest::RefuseExchange> refuse;
    if (c.refusal != 0) {
      refuse.emplace(c.refusal);
    }
    std::optional<StopInsideRemoval> inside;
    if (step == kDuringBackupRemoval) {
      inside.emplace((Card() / kBackup).string(), channel);
    }
    if (step == kDuringOldCopyRemoval) {
      inside.emplace((Card() / kWorkCopy).string(), channel);
    }
    accessor->Commit();
    accessor->Release();
    return 0;
  }
};

TEST_F(XdbCommitAcrossProcesses, AKillAtAnyStepLeavesTheOldOrTheNewDatabase) {
  const KillCase cases[] = {
      {"first file of the work copy", 0, XdbAccessor::kXdbStepWorkCopyFile, false, "old"},
      {"after the edits", 0, kAfterEdits, false, "old"},
      {"before the work copy is synced", 0, XdbAccessor::kXdbStepSwapSyncWorkCopy, false, "old"},
      {"before the exchange", 0, XdbAccessor::kXdbStepSwapExchange, false, "old"},
      {"after the exchange", 0, XdbAccessor::kXdbStepSwapRemoveOldCopy, false, "new"},
      {"during the removal of the old copy", 0, kDuringOldCopyRemoval, false, "new"},
      {"before removing a leftover backup after the exchange", 0, XdbAccessor::kXdbStepSwapRemoveBackup, true,
       "new"},
      {"during the reopen after the exchange", 0, XdbAccessor::kXdbStepSwapReopen, false, "new"},
      {"renames: before removing a leftover backup", EINVAL, XdbAccessor::kXdbStepSwapRemoveOldBackup, true, "old"},
      // The edits are not committed before the second rename.
      {"renames: after DBFILES -> DBFILES.bak", EINVAL, XdbAccessor::kXdbStepSwapWorkCopyToDatabase, false, "old"},
      {"renames: after DBFILES.tmp -> DBFILES", EINVAL, XdbAccessor::kXdbStepSwapRemoveBackup, false, "new"},
      {"renames: during the removal of the backup", EINVAL, kDuringBackupRemoval, false, "new"},
      {"renames: during the reopen", EINVAL, XdbAccessor::kXdbStepSwapReopen, false, "new"},
  };
  for (const KillCase& c : cases) {
    std::filesystem::remove_all(Card());
    MakeDatabase(kDatabase, "old");
    testsupport::ForkedChild child;
    ASSERT_TRUE(child.Start([this, &c](testsupport::ChildChannel& channel) { return RunExport(channel, c); }))
        << c.name;
    ASSERT_TRUE(child.WaitReady()) << c.name;
    child.Kill();
    child.Wait();
    AnswerOpens(1);
    XdbAccessor::IXdbAccessor* accessor = nullptr;
    ASSERT_EQ(XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()), kXpOk) << c.name;
    Owned<XdbAccessor::IXdbAccessor> owned(accessor);
    EXPECT_EQ(Folders(), std::vector<std::string>{kDatabase}) << c.name;
    EXPECT_EQ(Marker(kDatabase), c.marker) << c.name;
    EXPECT_TRUE(Exists(std::string(kDatabase) + "/data.bin")) << c.name;
    EXPECT_TRUE(Exists(std::string(kDatabase) + "/more.bin")) << c.name;
  }
}

}  // namespace
