#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
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

struct KillCase {
  const char* name;
  // A step of the observer, kAfterEdits or kDuringBackupRemoval.
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
    std::optional<StopInsideRemoval> inside;
    if (step == kDuringBackupRemoval) {
      inside.emplace((Card() / kBackup).string(), channel);
    }
    accessor->Commit();
    accessor->Release();
    return 0;
  }
};

TEST_F(XdbCommitAcrossProcesses, AKillAtAnyStepLeavesTheOldOrTheNewDatabase) {
  const KillCase cases[] = {
      {"first file of the work copy", XdbAccessor::kXdbStepWorkCopyFile, false, "old"},
      {"after the edits", kAfterEdits, false, "old"},
      {"before removing a leftover backup", XdbAccessor::kXdbStepSwapRemoveOldBackup, true, "old"},
      {"after DBFILES -> DBFILES.bak", XdbAccessor::kXdbStepSwapWorkCopyToDatabase, false, "new"},
      {"after DBFILES.tmp -> DBFILES", XdbAccessor::kXdbStepSwapRemoveBackup, false, "new"},
      {"during the removal of the backup", kDuringBackupRemoval, false, "new"},
      {"during the reopen", XdbAccessor::kXdbStepSwapReopen, false, "new"},
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
