#include "platform/fs/XpCopyBatch.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::NamesIn;
using fileopstest::TempFilesIn;
using fileopstest::TempPrefix;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::SysCall;

constexpr size_t kKiB = 1024;

class XpCopyBatchTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    fs::create_directories(Camera() / "100A");
    fs::create_directories(Camera() / "101A");
    for (int index = 0; index < 3; ++index) {
      const fs::path source = Dir("pc") / ("p" + std::to_string(index) + ".jpg");
      WriteBytes(source, std::string(300 * kKiB + index, static_cast<char>('a' + index)));
      sources_.push_back(source);
    }
  }

  fs::path Camera() const { return Dir("cam"); }
  // Copy index goes into 100A, except the last, which goes into 101A.
  fs::path Destination(size_t index) const {
    const char* folder = index + 1 < sources_.size() ? "100A" : "101A";
    return Camera() / folder / ("IMG" + std::to_string(index) + ".JPG");
  }

  void AddAll(XpCopyBatch& batch) {
    for (size_t index = 0; index < sources_.size(); ++index) {
      ASSERT_EQ(batch.Add(ToXp(sources_[index]), ToXp(Destination(index)), nullptr), kXpOk);
    }
  }

  std::vector<fs::path> sources_;
  testsupport::FaultInjection faults_;
};

// Sources that are not regular files themselves, made beside a user's file.
struct IrregularSource {
  const char* name;
  void (*make)(const fs::path& source, const fs::path& userFile);
};

const IrregularSource kIrregularSources[] = {
    {"a link to a file", [](const fs::path& source, const fs::path& userFile) { fs::create_symlink(userFile, source); }},
    {"a link to a folder",
     [](const fs::path& source, const fs::path& userFile) { fs::create_symlink(userFile.parent_path(), source); }},
    {"a folder", [](const fs::path& source, const fs::path&) { fs::create_directory(source); }},
    {"a FIFO", [](const fs::path& source, const fs::path&) { ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0); }},
};

TEST_F(XpCopyBatchTest, ARegularFileCopyNeverReadsThroughALink) {
  const fs::path userFile = sources_[0];
  const auto before = fileopstest::TreeFacts(userFile.parent_path());
  for (const IrregularSource& kind : kIrregularSources) {
    SCOPED_TRACE(kind.name);
    const fs::path source = Dir("card/DBFILES") / "DATA.BLK";
    kind.make(source, userFile);
    const fs::path destination = Dir("card/DBFILES.tmp") / "DATA.BLK";
    XpCopyBatch batch;
    EXPECT_EQ(batch.AddRegularFile(ToXp(source), ToXp(destination), nullptr), kXpErrAccessDenied);
    EXPECT_EQ(batch.Size(), 0u);
    std::vector<XpResult> results;
    EXPECT_EQ(batch.Publish(&results), kXpOk);
    EXPECT_TRUE(NamesIn(destination.parent_path()).empty());
    fs::remove_all(Root() / "card");
  }
  EXPECT_EQ(fileopstest::TreeFacts(userFile.parent_path()), before);

  // A regular file is copied, and Add still copies what a link points to.
  const fs::path link = Dir("other") / "link.jpg";
  fs::create_symlink(userFile, link);
  XpCopyBatch batch;
  ASSERT_EQ(batch.AddRegularFile(ToXp(sources_[1]), ToXp(Destination(0)), nullptr), kXpOk);
  ASSERT_EQ(batch.Add(ToXp(link), ToXp(Destination(1)), nullptr), kXpOk);
  std::vector<XpResult> results;
  EXPECT_EQ(batch.Publish(&results), kXpOk);
  EXPECT_EQ(ReadBytes(Destination(0)), ReadBytes(sources_[1]));
  EXPECT_EQ(ReadBytes(Destination(1)), ReadBytes(userFile));
}

TEST_F(XpCopyBatchTest, CopiesReachTheirNamesOnlyWhenPublished) {
  XpCopyBatch batch;
  AddAll(batch);
  EXPECT_EQ(batch.Size(), sources_.size());
  for (size_t index = 0; index < sources_.size(); ++index) {
    EXPECT_FALSE(fs::exists(Destination(index))) << index;
  }
  EXPECT_EQ(TempFilesIn(Camera() / "100A").size(), 2u);

  std::vector<XpResult> results;
  EXPECT_EQ(batch.Publish(&results), kXpOk);

  EXPECT_EQ(results, std::vector<XpResult>(sources_.size(), kXpOk));
  EXPECT_EQ(batch.Size(), 0u);
  for (size_t index = 0; index < sources_.size(); ++index) {
    EXPECT_EQ(ReadBytes(Destination(index)), ReadBytes(sources_[index])) << index;
  }
  EXPECT_TRUE(TempFilesIn(Camera() / "100A").empty());
  EXPECT_TRUE(TempFilesIn(Camera() / "101A").empty());
}

TEST_F(XpCopyBatchTest, AnUnflushedBatchPublishesWithoutWaitingForTheMedium) {
  XpCopyBatch batch;
  AddAll(batch);
  // Every flush under the camera would fail: none may be asked for.
  const int flushes = faults_.Add(Fault(SysCall::kFsync, Camera().string()).Errno(EIO));
  std::vector<XpResult> results;
  EXPECT_EQ(batch.Publish(&results, XpCopyBatch::Durability::kUnflushed), kXpOk);
  EXPECT_EQ(faults_.Hits(flushes), 0);
  EXPECT_EQ(results, std::vector<XpResult>(sources_.size(), kXpOk));
  for (size_t index = 0; index < sources_.size(); ++index) {
    EXPECT_EQ(ReadBytes(Destination(index)), ReadBytes(sources_[index])) << index;
  }
  EXPECT_TRUE(TempFilesIn(Camera() / "100A").empty());
}

TEST_F(XpCopyBatchTest, AFolderIsFlushedOnceAfterItsCopiesAndItsFailureReachesThem) {
  XpCopyBatch batch;
  AddAll(batch);
  // Under 100A the two copies are flushed first; the third flush there is
  // the folder's.
  const int folder =
      faults_.Add(Fault(SysCall::kFsync, (Camera() / "100A").string()).FromCall(3).Errno(EIO));
  std::vector<XpResult> results;
  EXPECT_NE(batch.Publish(&results), kXpOk);
  EXPECT_EQ(faults_.Hits(folder), 1);
  // Both copies of 100A hear of it and stay published; 101A's copy is done.
  ASSERT_EQ(results.size(), 3u);
  EXPECT_NE(results[0], kXpOk);
  EXPECT_EQ(results[1], results[0]);
  EXPECT_EQ(results[2], kXpOk);
  for (size_t index = 0; index < sources_.size(); ++index) {
    EXPECT_EQ(ReadBytes(Destination(index)), ReadBytes(sources_[index])) << index;
  }
}

TEST_F(XpCopyBatchTest, ACopyThatCannotBeFlushedOrRenamedIsRemovedAndTheOthersPublish) {
  struct Case {
    const char* what;
    SysCall call;
  };
  const Case cases[] = {{"flush refused", SysCall::kFsync}, {"rename refused", SysCall::kRename}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    faults_.Clear();
    for (size_t index = 0; index < sources_.size(); ++index) {
      std::error_code ignored;
      fs::remove(Destination(index), ignored);
    }
    XpCopyBatch batch;
    AddAll(batch);
    faults_.Add(Fault(c.call, TempPrefix(Destination(1))).Errno(EIO));
    std::vector<XpResult> results;
    EXPECT_NE(batch.Publish(&results), kXpOk);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0], kXpOk);
    EXPECT_NE(results[1], kXpOk);
    EXPECT_EQ(results[2], kXpOk);
    EXPECT_EQ(ReadBytes(Destination(0)), ReadBytes(sources_[0]));
    EXPECT_FALSE(fs::exists(Destination(1)));
    EXPECT_EQ(ReadBytes(Destination(2)), ReadBytes(sources_[2]));
    EXPECT_EQ(NamesIn(Camera() / "100A"), (std::set<std::string>{"IMG0.JPG"}));
  }
}

TEST_F(XpCopyBatchTest, CopiesNeverPublishedLeaveNothing) {
  {
    XpCopyBatch batch;
    AddAll(batch);
    // A copy that fails while it is written is not part of the batch.
    faults_.Add(Fault(SysCall::kWrite, TempPrefix(Camera() / "100A" / "X.JPG")).Errno(ENOSPC));
    faults_.Add(Fault(SysCall::kCopyFileRange, TempPrefix(Camera() / "100A" / "X.JPG")).Errno(ENOSPC));
    EXPECT_NE(batch.Add(ToXp(sources_[0]), ToXp(Camera() / "100A" / "X.JPG"), nullptr), kXpOk);
    EXPECT_EQ(batch.Size(), sources_.size());
    batch.Clear();
    EXPECT_EQ(batch.Size(), 0u);
    EXPECT_TRUE(NamesIn(Camera() / "100A").empty());
    AddAll(batch);
  }
  // The batch went with its copies unpublished.
  EXPECT_TRUE(NamesIn(Camera() / "100A").empty());
  EXPECT_TRUE(NamesIn(Camera() / "101A").empty());
}

}  // namespace
