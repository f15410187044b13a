#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "camerastore/tests/xdb/XdbRefuseExchange.h"
#include "camerastore/xdb/XdbCommitHooks.h"
#include "camerastore/xdb/XdbException.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/TmpfsMount.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;
using xdbtest::AccessorPtr;
using xdbtest::AlbumPtr;
using xdbtest::ContentPtr;
using xdbtest::kEngineBackup;
using xdbtest::kEngineDatabase;
using xdbtest::kEngineWorkCopy;

constexpr int32_t kBatch = 3;

// Watches the card's database folders through the seam: after every
// rename, unlink and rmdir it notes whether "DBFILES" is there, and it
// keeps the renames of the three folders themselves.
class FolderWatch : public XpSysCallsWrapper {
 public:
  explicit FolderWatch(std::string root) : XpSysCallsWrapper(XpSysCalls::Current()), root_(std::move(root)) {
    previous_ = XpSysCalls::Install(this);
  }
  ~FolderWatch() override { XpSysCalls::Install(previous_); }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  int Rename(const char* from, const char* to, unsigned int flags) override {
    const int result = XpSysCallsWrapper::Rename(from, to, flags);
    const std::string source = Leaf(from);
    if (source == kEngineDatabase || source == kEngineWorkCopy || source == kEngineBackup) {
      const char* kind = (flags & RENAME_EXCHANGE) != 0 ? "exchange " : "rename ";
      renames_.push_back(kind + source + " " + Leaf(to) + (result == 0 ? "" : " refused"));
    }
    Look();
    return result;
  }
  int Unlink(const char* path) override {
    const int result = XpSysCallsWrapper::Unlink(path);
    Look();
    return result;
  }
  int Rmdir(const char* path) override {
    const int result = XpSysCallsWrapper::Rmdir(path);
    Look();
    return result;
  }

  const std::vector<std::string>& Renames() const { return renames_; }
  // How often a call left the card without "DBFILES".
  int MomentsWithoutDatabase() const { return without_; }

 private:
  // The name below the card's root, without a closing '/'.
  std::string Leaf(const char* path) const {
    std::string name(path);
    if (name.rfind(root_, 0) == 0) {
      name.erase(0, root_.size());
    }
    while (!name.empty() && name.back() == '/') {
      name.pop_back();
    }
    return name;
  }
  void Look() {
    struct stat info {};
    if (XpSysCalls::Posix().Lstat((root_ + kEngineDatabase).c_str(), &info) != 0) {
      ++without_;
    }
  }

  std::string root_;
  XpSysCalls* previous_ = nullptr;
  std::vector<std::string> renames_;
  int without_ = 0;
};

// The accessor's commit on the store's own machine: what it returns, what
// the thread's failure record names and what the next open finds.
class XdbCommitOutcomeEngine : public xdbtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    for (int32_t file = 1; file <= 3 * kBatch; ++file) {
      MakeFile(FileOf(file));
    }
  }

  static std::string FileOf(int32_t file) { return "DCIM/100ZXDCF/DSC0000" + std::to_string(file) + ".JPG"; }

  // One batch: an album named after it and kBatch contents, files first
  // to first + kBatch - 1.
  void AddBatch(XdbAccessor::IXdbAccessor& accessor, const char16_t* album, int32_t first) const {
    AlbumPtr made(accessor.CreateAlbum(album));
    ASSERT_NE(made, nullptr);
    const XpDateTime date(2009, 3, 15, 10, 0, 0);
    for (int32_t file = first; file < first + kBatch; ++file) {
      ContentPtr content(accessor.CreateContent(made.get(), CardPath(FileOf(file)), date, 0));
      ASSERT_NE(content, nullptr);
    }
  }

  // The paths the next open finds, in order.
  std::vector<std::string> PathsAtNextOpen() const {
    AccessorPtr accessor = OpenAccessor();
    std::vector<std::string> paths;
    if (accessor == nullptr) {
      return paths;
    }
    const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
    for (int32_t i = 0; contents != nullptr && i < contents->GetCount(); ++i) {
      paths.push_back(fstest::ToUtf8(contents->GetAt(i)->GetPath()));
    }
    return paths;
  }

  std::vector<std::string> BatchPaths(int32_t first) const {
    std::vector<std::string> paths;
    for (int32_t file = first; file < first + kBatch; ++file) {
      paths.push_back(fstest::ToUtf8(CardPath(FileOf(file))));
    }
    return paths;
  }

  // Arms rule when the commit reaches step; at once for an empty step.
  void ArmAt(const char* step, const Fault& rule) {
    if (step[0] == '\0') {
      faults_.Add(rule);
      return;
    }
    XdbAccessor::XdbSetStepObserver([this, step, rule, armed = false](const char* reached) mutable {
      if (!armed && std::string(reached) == step) {
        faults_.Add(rule);
        armed = true;
      }
    });
  }

  testsupport::FaultInjection faults_;
};

// A batch whose commit fails is gone from the card for good, and the same
// batch committed again is recorded once; a batch whose commit passed the
// durable point is recorded, whatever goes wrong after it.
TEST_F(XdbCommitOutcomeEngine, ABatchIsCommittedOnceOrNotAtAll) {
  struct Case {
    const char* name;
    int refusal;
    // The step at which the rule is armed; "" before the commit.
    const char* armAt;
    SysCall call;
    std::string path;
    int error;
    bool committed;
    // The failure record's call and path; "" for none.
    const char* recordCall;
    std::string recordPath;
  };
  const std::string card = Card().string();
  // The store writes the work copy's files in place, with no journal; the
  // commit then waits once for the card's file system.
  const std::string workCopy = (Card() / kEngineWorkCopy).string();
  const std::string records = (Card() / kEngineWorkCopy / "XDB.DAT").string();
  const Case cases[] = {
      {"the card does not sync before the swap", 0, "", SysCall::kSyncfs, workCopy, EIO, false, "syncfs", workCopy},
      {"the work copy finds the card full", 0, "", SysCall::kWrite, records, ENOSPC, false, "write", records},
      {"the root sync after the exchange fails", 0, XdbAccessor::kXdbStepSwapExchange, SysCall::kFsync, card, EIO,
       false, "fsync", card},
      {"renames: the root sync after DBFILES.tmp -> DBFILES fails", EINVAL,
       XdbAccessor::kXdbStepSwapWorkCopyToDatabase, SysCall::kFsync, card, EIO, false, "fsync", card},
      {"the old copy cannot be removed after the exchange", 0, XdbAccessor::kXdbStepSwapRemoveOldCopy,
       SysCall::kUnlink, (Card() / kEngineWorkCopy).string(), EBUSY, true, "", ""},
      {"renames: the backup cannot be removed", EINVAL, XdbAccessor::kXdbStepSwapRemoveBackup, SysCall::kUnlink,
       (Card() / kEngineBackup).string(), EBUSY, true, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* folder : {kEngineDatabase, kEngineWorkCopy, kEngineBackup}) {
      std::filesystem::remove_all(Card() / folder);
    }
    InitDatabase();
    {
      AccessorPtr accessor = OpenAccessor();
      ASSERT_NE(accessor, nullptr);
      AddBatch(*accessor, u"First", 1);
      std::optional<xdbtest::RefuseExchange> refuse;
      if (c.refusal != 0) {
        refuse.emplace(c.refusal);
      }
      const bool once = c.call == SysCall::kFsync || c.call == SysCall::kSyncfs;
      ArmAt(c.armAt, Fault(c.call, c.path).Errno(c.error).Times(once ? 1 : -1));
      const int32_t result = accessor->Commit();
      const XpSysFailure failure = XpLastSysFailure();
      XdbAccessor::XdbSetStepObserver({});
      faults_.Clear();
      EXPECT_EQ(result == 0, c.committed) << result;
      EXPECT_EQ(failure.call, c.recordCall) << XpDescribeSysFailure(failure);
      EXPECT_EQ(failure.path, c.recordPath) << XpDescribeSysFailure(failure);
      if (!c.committed) {
        EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
        // The database is open on "DBFILES" again, without the batch: the
        // batch goes in once when it is made again.
        const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
        ASSERT_NE(contents, nullptr);
        EXPECT_EQ(contents->GetCount(), 0);
        AddBatch(*accessor, u"First", 1);
        EXPECT_EQ(accessor->Commit(), 0);
      }
    }
    EXPECT_EQ(PathsAtNextOpen(), BatchPaths(1));
    EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
    EXPECT_EQ(CheckDatabase(), "ok\n");
  }
}

TEST_F(XdbCommitOutcomeEngine, ABatchCutShortByAFullStoreIsNotPlacedByTheRelease) {
  InitDatabase();
  // Room for the first batch (an album and its contents), then for an album
  // and one content of the second.
  SetEnv(XdbStore::kLimitVariable, std::to_string(kBatch + 3));
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AddBatch(*accessor, u"First", 1);
    ASSERT_EQ(accessor->Commit(), 0);
    AlbumPtr album(accessor->CreateAlbum(u"Second"));
    ASSERT_NE(album, nullptr);
    const XpDateTime date(2009, 3, 15, 10, 0, 0);
    ContentPtr made(accessor->CreateContent(album.get(), CardPath(FileOf(kBatch + 1)), date, 0));
    ASSERT_NE(made, nullptr);
    XpResult raised = kXpOk;
    try {
      ContentPtr content(accessor->CreateContent(album.get(), CardPath(FileOf(kBatch + 2)), date, 0));
    } catch (const XdbAccessor::XdbException& error) {
      raised = error.GetCode();
    }
    EXPECT_EQ(raised, kXpErrOutOfMemory);
    EXPECT_EQ(Folders(), (std::vector<std::string>{kEngineDatabase, kEngineWorkCopy}));
  }
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
  SetEnv(XdbStore::kLimitVariable, "");
  EXPECT_EQ(PathsAtNextOpen(), BatchPaths(1));
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbCommitOutcomeEngine, OnTmpfsTheFoldersTradePlacesInOneStepAndElseByTwoRenames) {
  struct Case {
    const char* name;
    int refusal;
    std::vector<std::string> renames;
    bool alwaysADatabase;
  };
  const Case cases[] = {
      {"exchange", 0, {"exchange DBFILES.tmp DBFILES"}, true},
      {"exchange refused (EINVAL)",
       EINVAL,
       {"exchange DBFILES.tmp DBFILES refused", "rename DBFILES DBFILES.bak", "rename DBFILES.tmp DBFILES"},
       false},
  };
  // The card's folder on a tmpfs of its own, which can exchange two names.
  testsupport::TmpfsMount tmpfs(Card());
  if (!tmpfs.Mounted()) {
    GTEST_SKIP() << tmpfs.Reason();
  }
  struct statfs volume {};
  ASSERT_EQ(::statfs(Card().c_str(), &volume), 0);
  ASSERT_EQ(volume.f_type, static_cast<decltype(volume.f_type)>(TMPFS_MAGIC));
  for (int32_t file = 1; file <= kBatch; ++file) {
    MakeFile(FileOf(file));
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* folder : {kEngineDatabase, kEngineWorkCopy, kEngineBackup}) {
      std::filesystem::remove_all(Card() / folder);
    }
    InitDatabase();
    {
      AccessorPtr accessor = OpenAccessor();
      ASSERT_NE(accessor, nullptr);
      AddBatch(*accessor, u"First", 1);
      std::optional<xdbtest::RefuseExchange> refuse;
      if (c.refusal != 0) {
        refuse.emplace(c.refusal);
      }
      FolderWatch watch(fstest::ToUtf8(CardRoot()));
      EXPECT_EQ(accessor->Commit(), 0);
      // A refused exchange is an answer, not a failure.
      EXPECT_TRUE(XpLastSysFailure().Empty()) << XpDescribeSysFailure(XpLastSysFailure());
      EXPECT_EQ(watch.Renames(), c.renames);
      EXPECT_EQ(watch.MomentsWithoutDatabase() == 0, c.alwaysADatabase) << watch.MomentsWithoutDatabase();
      EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
    }
    EXPECT_EQ(PathsAtNextOpen(), BatchPaths(1));
    EXPECT_EQ(CheckDatabase(), "ok\n");
  }
}

}  // namespace
