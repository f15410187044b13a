#include "platform/fs/XpDirectoryOperations.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::Exists;
using fileopstest::NamesIn;
using fileopstest::RecordingObserver;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

class DirectoryOpsFixture : public testsupport::HermeticTest {
 protected:
  XpString X(const fs::path& path) const { return ToXp(path); }

  FaultInjection faults_;
};
using XpDirectoryOps = DirectoryOpsFixture;

TEST_F(XpDirectoryOps, FindCharFrom) {
  struct Case {
    int32_t start;
    const char16_t* text;
    int32_t expected;
  };
  const Case cases[] = {
      {1, u"/a/b", 2}, {2, u"/a/b", 2}, {3, u"/a/b", -1},
      {4, u"/a/b", -1}, {-1, u"/a/b", -1}, {0, u"", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpFindCharFrom(c.start, c.text, u'/'), c.expected) << c.start;
  }
}

TEST_F(XpDirectoryOps, CreateDirectoryResults) {
  WriteBytes(Root() / "file", "f");
  const fs::path refused = Root() / "refused";
  const fs::path denied = Root() / "denied";
  const fs::path full = Root() / "full";
  faults_.Add(Fault(SysCall::kMkdir, refused.string()).Errno(EROFS));
  faults_.Add(Fault(SysCall::kMkdir, denied.string()).Errno(EPERM));
  faults_.Add(Fault(SysCall::kMkdir, full.string()).Errno(ENOSPC));
  struct Case {
    XpString path;
    XpResult expected;
  };
  const Case cases[] = {
      {X(Root() / "new"), kXpOk},
      {X(Root() / "new"), kXpErrAlreadyExists},
      // A relative path is never made below the working folder.
      {u"rel", kXpErrPathNotFound},
      {u"", kXpErrPathNotFound},
      {X(Root() / "missing/new"), kXpErrPathNotFound},
      {X(Root() / "file/new"), kXpErrPathNotFound},
      {X(refused), kXpErrAccessDenied},
      {X(denied), kXpErrAccessDenied},
      {X(full), kXpErrCreateDirFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpCreateDirectory(c.path), c.expected) << testing::PrintToString(c.path);
  }
  EXPECT_FALSE(Exists("rel"));
  EXPECT_EQ(NamesIn(Root()).count("new"), 1u);
}

TEST_F(XpDirectoryOps, CreateDirectoryTreeMakesEveryLevel) {
  EXPECT_EQ(XpCreateDirectoryTree(X(Root() / "a/b/c")), kXpOk);
  EXPECT_TRUE(fs::is_directory(Root() / "a/b/c"));
  EXPECT_EQ(XpCreateDirectoryTree(X(Root() / "a/b/c")), kXpErrAlreadyExists);
  // A trailing '/' is the same folder: made once, then already there.
  EXPECT_EQ(XpCreateDirectoryTree(X(Root() / "a/d/")), kXpOk);
  EXPECT_TRUE(fs::is_directory(Root() / "a/d"));
  EXPECT_EQ(XpCreateDirectoryTree(X(Root() / "a/d/")), kXpErrAlreadyExists);
  EXPECT_EQ(XpCreateDirectoryTree(u"rel/x"), kXpErrCreateDirFailed);
  EXPECT_FALSE(Exists("rel"));

  // A refused level ends the walk with its code.
  const fs::path refused = Root() / "ro";
  faults_.Add(Fault(SysCall::kMkdir, refused.string()).Errno(EACCES));
  EXPECT_EQ(XpCreateDirectoryTree(X(refused / "x/y")), kXpErrAccessDenied);
  EXPECT_FALSE(Exists(refused));
}

TEST_F(XpDirectoryOps, IsDirectoryEmpty) {
  const fs::path empty = Dir("empty");
  const fs::path full = Dir("full");
  WriteBytes(full / ".hidden", "");
  EXPECT_TRUE(XpIsDirectoryEmpty(X(empty)));
  EXPECT_FALSE(XpIsDirectoryEmpty(X(full)));
  EXPECT_FALSE(XpIsDirectoryEmpty(X(Root() / "missing")));
  EXPECT_FALSE(XpIsDirectoryEmpty(X(full / ".hidden")));
}

TEST_F(XpDirectoryOps, IsDirectoryWritable) {
  const fs::path folder = Dir("folder");
  EXPECT_FALSE(XpIsDirectoryWritable(X(Root() / "missing")));
  EXPECT_TRUE(XpIsDirectoryWritable(X(folder)));
  EXPECT_TRUE(NamesIn(folder).empty());

  // A probe left by someone else answers for the folder, and stays.
  WriteBytes(folder / ".00000000.tmp", "");
  EXPECT_TRUE(XpIsDirectoryWritable(X(folder)));
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{".00000000.tmp"}));

  faults_.Add(Fault(SysCall::kOpen, folder.string()).Errno(EROFS).ForWriting());
  EXPECT_FALSE(XpIsDirectoryWritable(X(folder)));
  fs::remove(folder / ".00000000.tmp");
  EXPECT_FALSE(XpIsDirectoryWritable(X(folder)));
  EXPECT_TRUE(NamesIn(folder).empty());
}

TEST_F(XpDirectoryOps, RemoveDirectoryToTheRecycleBinWithoutContentsNeedsAnEmptyFolder) {
  const fs::path full = Dir("home/full");
  WriteBytes(full / "keep.txt", "k");
  const fs::path missing = Root() / "home/missing";
  for (const fs::path& path : {full, missing}) {
    RecordingObserver observer;
    EXPECT_EQ(XpRemoveDirectory(X(path), false, true, false, &observer), kXpErrDirNotEmpty);
    EXPECT_TRUE(observer.reports.empty());
  }
  EXPECT_TRUE(Exists(full / "keep.txt"));

  const fs::path trash = Root() / "home/.local/share/Trash/files";
  const fs::path empty = Dir("home/empty");
  EXPECT_EQ(XpRemoveDirectory(X(empty), false, true, false, nullptr), kXpOk);
  EXPECT_EQ(XpRemoveDirectory(X(full), true, true, false, nullptr), kXpOk);
  EXPECT_FALSE(Exists(empty));
  EXPECT_FALSE(Exists(full));
  EXPECT_EQ(NamesIn(trash), (std::set<std::string>{"empty", "full"}));
  EXPECT_TRUE(Exists(trash / "full/keep.txt"));
}

TEST_F(XpDirectoryOps, RemoveDirectoryPermanently) {
  const fs::path full = Dir("full");
  WriteBytes(full / "a/b.txt", "b");
  EXPECT_EQ(XpRemoveDirectory(X(full), false, false, false, nullptr), kXpErrDirNotEmpty);
  EXPECT_TRUE(Exists(full / "a/b.txt"));
  EXPECT_EQ(XpRemoveDirectory(X(full), true, false, false, nullptr), kXpOk);
  EXPECT_FALSE(Exists(full));
}

TEST_F(XpDirectoryOps, SyncDirectoryFlushesTheFolderAndWithFilesEachPlainFileInIt) {
  const fs::path folder = Dir("folder");
  WriteBytes(folder / "a.txt", "a");
  WriteBytes(folder / "b.txt", "b");
  WriteBytes(folder / "sub/c.txt", "c");
  struct Case {
    const char* name;
    bool withFiles;
    // The fsyncs under this path fail with error, from the nth on.
    fs::path path;
    int error;
    int fromCall;
    XpResult result;
    int hits;
  };
  const Case cases[] = {
      {"a file, with files", true, folder / "b.txt", EIO, 1, kXpErrDeviceNotReady, 1},
      {"a file, folder only", false, folder / "b.txt", EIO, 1, kXpOk, 0},
      {"a file in a sub-folder", true, folder / "sub", EIO, 1, kXpOk, 0},
      {"the folder itself, folder only", false, folder, ENOSPC, 1, kXpErrDiskFull, 1},
      // Two files, then the folder.
      {"the folder itself, after its files", true, folder, EIO, 3, kXpErrDeviceNotReady, 1},
      {"a folder that keeps nothing to flush", false, folder, EINVAL, 1, kXpOk, 1},
      {"a file that answers EINVAL", true, folder / "a.txt", EINVAL, 1, kXpErrGeneric, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int rule = faults_.Add(Fault(SysCall::kFsync, c.path.string()).Errno(c.error).FromCall(c.fromCall));
    EXPECT_EQ(XpSyncDirectory(X(folder), c.withFiles), c.result);
    EXPECT_EQ(faults_.Hits(rule), c.hits);
    faults_.Clear();
  }
  EXPECT_EQ(XpSyncDirectory(X(folder) + u"/", true), kXpOk);
  EXPECT_EQ(XpSyncDirectory(X(Root() / "missing"), false), kXpErrFileNotFound);
}

// A folder's sync follows a link at its path unless told to refuse it,
// closing '/' or not; EINVAL of a folder counts as flushed either way.
TEST_F(XpDirectoryOps, SyncFolderFollowsALinkOnlyWhenAskedTo) {
  const fs::path folder = Dir("real");
  const fs::path link = Root() / "link";
  fs::create_directory_symlink(folder, link);
  EXPECT_EQ(XpSyncFolder(link.c_str()), kXpOk);
  EXPECT_EQ(XpSyncFolder(folder.c_str(), XpFolderLink::kRefuse), kXpOk);
  EXPECT_NE(XpSyncFolder(link.c_str(), XpFolderLink::kRefuse), kXpOk);
  EXPECT_NE(XpSyncFolder((link.string() + "/").c_str(), XpFolderLink::kRefuse), kXpOk);
  const int rule = faults_.Add(Fault(SysCall::kFsync, folder.string()).Errno(EINVAL));
  EXPECT_EQ(XpSyncFolder(folder.c_str(), XpFolderLink::kRefuse), kXpOk);
  EXPECT_EQ(faults_.Hits(rule), 1);
}

}  // namespace
