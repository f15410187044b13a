#include "platform/fs/XpShellOperations.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::Exists;
using fileopstest::ModeOf;
using fileopstest::NamesIn;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

class ShellOpsFixture : public testsupport::HermeticTest {
 protected:
  // in/a.txt and in/tree/sub/b.txt.
  void StageSources() {
    WriteBytes(Root() / "in/a.txt", "a");
    WriteBytes(Root() / "in/tree/sub/b.txt", "b");
  }
  XpStringVector Sources() const { return {X(Root() / "in/a.txt"), X(Root() / "in/tree")}; }
  XpString X(const fs::path& path) const { return ToXp(path); }

  FaultInjection faults_;
};
using XpShellOps = ShellOpsFixture;

TEST_F(XpShellOps, CopyAndMoveListsIntoAFolder) {
  StageSources();
  const fs::path copies = Dir("copies");
  EXPECT_EQ(XpShellCopy(Sources(), X(copies)), kXpOk);
  EXPECT_EQ(ReadBytes(copies / "a.txt"), "a");
  EXPECT_EQ(ReadBytes(copies / "tree/sub/b.txt"), "b");
  EXPECT_TRUE(Exists(Root() / "in/a.txt"));

  const fs::path moved = Dir("moved");
  EXPECT_EQ(XpShellMove(Sources(), X(moved)), kXpOk);
  EXPECT_EQ(ReadBytes(moved / "tree/sub/b.txt"), "b");
  EXPECT_TRUE(NamesIn(Root() / "in").empty());
}

TEST_F(XpShellOps, CopyAndMoveNeverOverwrite) {
  StageSources();
  const fs::path folder = Dir("out");
  WriteBytes(folder / "a.txt", "old");
  EXPECT_EQ(XpShellCopy(Sources(), X(folder)), kXpErrCopyFailed);
  EXPECT_EQ(ReadBytes(folder / "a.txt"), "old");
  EXPECT_EQ(XpShellMove(Sources(), X(folder)), kXpErrMoveFailed);
  EXPECT_EQ(ReadBytes(folder / "a.txt"), "old");
  EXPECT_EQ(ReadBytes(Root() / "in/a.txt"), "a");
  // The list ends at the first failure.
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"a.txt"}));
}

TEST_F(XpShellOps, CopyAndMoveRefuseBadTargets) {
  StageSources();
  const fs::path tree = Root() / "in/tree";
  EXPECT_EQ(XpShellCopy({X(tree)}, X(tree / "sub")), kXpErrCopyFailed);
  EXPECT_EQ(XpShellMove({X(tree)}, X(tree)), kXpErrMoveFailed);
  EXPECT_EQ(NamesIn(tree), (std::set<std::string>{"sub"}));
  EXPECT_EQ(NamesIn(tree / "sub"), (std::set<std::string>{"b.txt"}));
  EXPECT_EQ(XpShellCopy(Sources(), X(Root() / "missing")), kXpErrCopyFailed);
  EXPECT_EQ(XpShellCopyOrMove(Sources(), X(Dir("out")), 3), kXpErrBadArgument);
  EXPECT_EQ(XpShellCopy({}, X(Root() / "missing")), kXpOk);
}

TEST_F(XpShellOps, MoveOfAFolderAcrossFileSystemsCopiesAndRemoves) {
  StageSources();
  const fs::path tree = Root() / "in/tree";
  faults_.Add(Fault(SysCall::kRename, tree.string()).Errno(EXDEV));
  const fs::path folder = Dir("other");
  EXPECT_EQ(XpShellMove({X(tree)}, X(folder)), kXpOk);
  EXPECT_EQ(ReadBytes(folder / "tree/sub/b.txt"), "b");
  EXPECT_FALSE(Exists(tree));
}

TEST_F(XpShellOps, EachReplacesFilesAndMergesFolders) {
  StageSources();
  const fs::path out = Root() / "out";
  WriteBytes(out / "x.txt", "old");
  ::chmod((out / "x.txt").c_str(), 0444);
  WriteBytes(out / "t/keep.txt", "keep");
  WriteBytes(out / "t/sub/b.txt", "old b");
  const XpStringVector destinations{X(out / "x.txt"), X(out / "t")};
  EXPECT_EQ(XpShellCopyOrMoveEach(Sources(), destinations, false), kXpOk);
  EXPECT_EQ(ReadBytes(out / "x.txt"), "a");
  EXPECT_EQ(ReadBytes(out / "t/sub/b.txt"), "b");
  EXPECT_EQ(ReadBytes(out / "t/keep.txt"), "keep");

  WriteBytes(Root() / "in/tree/sub/b.txt", "moved b");
  EXPECT_EQ(XpShellCopyOrMoveEach(Sources(), destinations, true), kXpOk);
  EXPECT_EQ(ReadBytes(out / "t/sub/b.txt"), "moved b");
  EXPECT_TRUE(NamesIn(Root() / "in").empty());

  EXPECT_EQ(XpShellCopyOrMoveEach({X(out / "x.txt")}, {}, false), kXpErrCopyFailed);
  EXPECT_EQ(XpShellCopyOrMoveEach({X(Root() / "missing")}, {X(out / "y")}, true),
            kXpErrMoveFailed);
}

TEST_F(XpShellOps, DeleteFilesPermanentlyStopsAtTheFirstFailure) {
  WriteBytes(Root() / "a", "a");
  WriteBytes(Root() / "c", "c");
  const XpStringVector paths{X(Root() / "a"), X(Root() / "b"), X(Root() / "c")};
  EXPECT_EQ(XpDeleteFiles(paths, false), kXpErrFileNotFound);
  EXPECT_FALSE(Exists(Root() / "a"));
  EXPECT_TRUE(Exists(Root() / "c"));
}

TEST_F(XpShellOps, DeleteToRecycleBin) {
  WriteBytes(Root() / "home/a.txt", "a");
  WriteBytes(Root() / "home/b.txt", "b");
  EXPECT_EQ(XpDeleteFiles({X(Root() / "home/a.txt"), X(Root() / "home/b.txt")}, true), kXpOk);
  EXPECT_EQ(NamesIn(Root() / "home/.local/share/Trash/files"),
            (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(XpShellDeleteToRecycleBin(X(Root() / "home/missing")), kXpErrDeleteFailed);
  EXPECT_EQ(XpDeleteFiles({X(Root() / "home/missing")}, true), kXpErrDeleteFailed);
}

}  // namespace
