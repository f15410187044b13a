#include "platform/fs/XpTreeOperations.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpDirectoryOperations.h"
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
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

class TreeOpsFixture : public testsupport::HermeticTest {
 protected:
  // src/a.txt, src/b.txt, src/sub/c.txt.
  fs::path StageSource() {
    const fs::path source = Root() / "src";
    WriteBytes(source / "a.txt", "aa");
    WriteBytes(source / "b.txt", "bbb");
    WriteBytes(source / "sub/c.txt", "c");
    return source;
  }
  XpString X(const fs::path& path) const { return ToXp(path); }

  FaultInjection faults_;
};
using XpTreeOps = TreeOpsFixture;

TEST_F(XpTreeOps, CopyTreeCopiesAndCountsEveryEntry) {
  const fs::path source = StageSource();
  const fs::path parent = Dir("dst");
  RecordingObserver observer;
  observer.doneCount = 7;
  EXPECT_EQ(XpCopyTree(X(source).CStr(), X(parent).CStr(), &observer), kXpOk);
  EXPECT_EQ(observer.totalCount, 4);
  EXPECT_EQ(observer.doneCount, 4);
  EXPECT_EQ(ReadBytes(parent / "src/a.txt"), "aa");
  EXPECT_EQ(ReadBytes(parent / "src/b.txt"), "bbb");
  EXPECT_EQ(ReadBytes(parent / "src/sub/c.txt"), "c");
  EXPECT_EQ(observer.reports.size(), 3u);
}

TEST_F(XpTreeOps, CopyTreeOntoAnExistingFolderCopiesNothing) {
  const fs::path source = StageSource();
  const fs::path parent = Dir("dst");
  Dir("dst/src");
  EXPECT_EQ(XpCopyTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpErrAlreadyExists);
  EXPECT_TRUE(NamesIn(parent / "src").empty());
}

TEST_F(XpTreeOps, CopyTreeNeverGoesIntoItself) {
  const fs::path source = StageSource();
  const fs::path link = Root() / "link-to-sub";
  fs::create_symlink(source / "sub", link);
  for (const fs::path& parent : {source, source / "sub", link}) {
    EXPECT_EQ(XpCopyTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpErrBadArgument)
        << parent;
    EXPECT_EQ(XpMoveTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpErrBadArgument)
        << parent;
  }
  EXPECT_EQ(NamesIn(source), (std::set<std::string>{"a.txt", "b.txt", "sub"}));
  EXPECT_EQ(NamesIn(source / "sub"), (std::set<std::string>{"c.txt"}));
  XpSharedPtr<XpDir> folder(new XpDir(X(source)));
  EXPECT_EQ(XpCopyTreeInto(folder, X(source / "sub").CStr(), nullptr), kXpErrBadArgument);
  EXPECT_EQ(XpCopyTreeInto(XpSharedPtr<XpDir>(), X(Root()).CStr(), nullptr), kXpErrBadArgument);
  EXPECT_EQ(XpCopyTreeInto(folder, nullptr, nullptr), kXpErrBadArgument);
  EXPECT_EQ(NamesIn(source / "sub"), (std::set<std::string>{"c.txt"}));
}

TEST_F(XpTreeOps, CopyTreeCopiesLinksAsWindowsDoes) {
  const fs::path outside = Root() / "outside";
  WriteBytes(outside / "o.txt", "o");
  const fs::path source = Root() / "src";
  WriteBytes(source / "real.txt", "real");
  fs::create_symlink(source / "real.txt", source / "file-link");
  fs::create_symlink(outside, source / "folder-link");
  const fs::path parent = Dir("dst");
  EXPECT_EQ(XpCopyTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpOk);
  EXPECT_FALSE(fs::is_symlink(parent / "src/file-link"));
  EXPECT_EQ(ReadBytes(parent / "src/file-link"), "real");
  ASSERT_TRUE(fs::is_symlink(parent / "src/folder-link"));
  EXPECT_EQ(fs::read_symlink(parent / "src/folder-link"), outside);
}

TEST_F(XpTreeOps, StoppedTreeCopyKeepsTheSkeleton) {
  const fs::path source = Root() / "src";
  WriteBytes(source / "a/one.txt", "1");
  WriteBytes(source / "b/two.txt", "2");
  WriteBytes(source / "c/three.txt", "3");
  const fs::path parent = Dir("dst");
  RecordingObserver observer;
  observer.stopAtCall = 1;
  EXPECT_EQ(XpCopyTree(X(source).CStr(), X(parent).CStr(), &observer), kXpErrStopped);
  EXPECT_EQ(observer.reports.size(), 1u);
  EXPECT_EQ(NamesIn(parent / "src"), (std::set<std::string>{"a", "b", "c"}));
  int files = 0;
  for (const char* name : {"a", "b", "c"}) {
    files += static_cast<int>(NamesIn(parent / "src" / name).size());
  }
  EXPECT_EQ(files, 0);
}

TEST_F(XpTreeOps, MoveTreeMovesEverything) {
  const fs::path source = StageSource();
  const fs::path parent = Dir("dst");
  EXPECT_EQ(XpMoveTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpOk);
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(ReadBytes(parent / "src/sub/c.txt"), "c");
}

TEST_F(XpTreeOps, MoveTreeLeavesTheSourceWholeWhenACopyFails) {
  const fs::path source = StageSource();
  const fs::path parent = Dir("dst");
  faults_.Add(Fault(SysCall::kRead, (source / "b.txt").string()).Errno(EIO));
  EXPECT_NE(XpMoveTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpOk);
  EXPECT_EQ(ReadBytes(source / "a.txt"), "aa");
  EXPECT_EQ(ReadBytes(source / "b.txt"), "bbb");
  EXPECT_EQ(ReadBytes(source / "sub/c.txt"), "c");
  EXPECT_FALSE(Exists(parent / "src/b.txt"));

  // An existing destination folder is never removed.
  faults_.Clear();
  fs::remove_all(parent / "src");
  Dir("dst/src");
  EXPECT_EQ(XpMoveTree(X(source).CStr(), X(parent).CStr(), nullptr), kXpErrAlreadyExists);
  EXPECT_TRUE(Exists(parent / "src"));
  EXPECT_TRUE(Exists(source / "a.txt"));
}

TEST_F(XpTreeOps, RemoveTreeCountsFilesAndFolderAndCannotBeStopped) {
  const fs::path folder = Root() / "folder";
  for (const char* name : {"1", "2", "3"}) {
    WriteBytes(folder / name, name);
  }
  RecordingObserver observer;
  observer.stopAtCall = 1;
  EXPECT_EQ(XpRemoveDirectoryTree(X(folder), true, &observer), kXpOk);
  EXPECT_EQ(observer.totalCount, 4);
  EXPECT_EQ(observer.doneCount, 4);
  EXPECT_EQ(observer.reports, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  EXPECT_EQ(observer.sources.back(), X(folder));
  EXPECT_EQ(observer.percent, 0.0);
  EXPECT_FALSE(Exists(folder));
}

TEST_F(XpTreeOps, RemoveTreeKeepsACountTheCallerSet) {
  const fs::path folder = Root() / "folder";
  WriteBytes(folder / "sub/x", "x");
  RecordingObserver observer;
  observer.totalCount = 10;
  observer.doneCount = 5;
  EXPECT_EQ(XpRemoveDirectoryTree(X(folder), true, &observer), kXpOk);
  EXPECT_EQ(observer.totalCount, 10);
  EXPECT_EQ(observer.doneCount, 8);
}

TEST_F(XpTreeOps, RemoveTreeWithoutContents) {
  const fs::path full = Root() / "full";
  WriteBytes(full / "x", "x");
  RecordingObserver observer;
  EXPECT_EQ(XpRemoveDirectoryTree(X(full), false, &observer), kXpErrDirNotEmpty);
  EXPECT_EQ(observer.doneCount, 0);
  EXPECT_EQ(observer.totalCount, 1);
  EXPECT_EQ(observer.reports.size(), 1u);

  const fs::path empty = Dir("empty");
  RecordingObserver second;
  EXPECT_EQ(XpRemoveDirectoryTree(X(empty), false, &second), kXpOk);
  EXPECT_EQ(second.doneCount, 1);
  EXPECT_EQ(second.reports.size(), 2u);
  EXPECT_FALSE(Exists(empty));
}

TEST_F(XpTreeOps, RemoveTreeRemovesLinksAndNeverFollowsThem) {
  const fs::path outside = Root() / "outside";
  WriteBytes(outside / "keep.txt", "k");
  const fs::path folder = Root() / "folder";
  WriteBytes(folder / "x", "x");
  fs::create_symlink(outside, folder / "link");
  EXPECT_EQ(XpRemoveDirectoryTree(X(folder), true, nullptr), kXpOk);
  EXPECT_FALSE(Exists(folder));
  EXPECT_EQ(ReadBytes(outside / "keep.txt"), "k");

  // A link named as the folder itself goes alone.
  const fs::path link = Root() / "top-link";
  fs::create_symlink(outside, link);
  EXPECT_EQ(XpRemoveDirectoryTree(X(link), true, nullptr), kXpOk);
  EXPECT_FALSE(Exists(link));
  EXPECT_EQ(ReadBytes(outside / "keep.txt"), "k");
}

// Each tree removal of the file layer, on a path as callers pass it.
struct TreeRemoval {
  const char* name;
  XpResult (*remove)(const XpString& path, const XpString& scratch);
};

const TreeRemoval kTreeRemovals[] = {
    {"XpRemoveDirectoryTree",
     [](const XpString& path, const XpString&) { return XpRemoveDirectoryTree(path, true, nullptr); }},
    {"XpRemoveDirectory",
     [](const XpString& path, const XpString&) { return XpRemoveDirectory(path, true, false, false, nullptr); }},
    {"XpMoveTree", [](const XpString& path, const XpString& scratch) {
       return XpMoveTree(path.CStr(), scratch.CStr(), nullptr);
     }},
};

// What stands at the removed name: a link to the user's folder, named with
// and without a trailing '/', or a folder holding links to the user's
// folder and to one of the user's files.
struct LinkedTree {
  const char* name;
  bool topIsLink;
  const char* suffix;
};

const LinkedTree kLinkedTrees[] = {
    {"a link to a folder", true, ""},
    {"a link to a folder, with '/'", true, "/"},
    {"a folder with links inside", false, ""},
    {"a folder with links inside, with '/'", false, "/"},
};

TEST_F(XpTreeOps, NoTreeRemovalEverFollowsALink) {
  for (const TreeRemoval& removal : kTreeRemovals) {
    for (const LinkedTree& tree : kLinkedTrees) {
      SCOPED_TRACE(std::string(removal.name) + " on " + tree.name);
      const fs::path user = Root() / "user";
      WriteBytes(user / "photo.jpg", "the user's picture");
      WriteBytes(user / "letters/a.txt", "a letter");
      const fs::path card = Dir("card");
      const fs::path removed = card / "DBFILES.bak";
      if (tree.topIsLink) {
        fs::create_symlink(user, removed);
      } else {
        WriteBytes(removed / "OAI.IND", "index");
        fs::create_symlink(user, removed / "folder-link");
        fs::create_symlink(user / "photo.jpg", removed / "file-link");
      }
      const auto before = fileopstest::TreeFacts(user);
      const fs::path scratch = Dir("scratch");

      EXPECT_EQ(removal.remove(X(removed) + XpStringA(tree.suffix).ToWide(), X(scratch)), kXpOk);

      struct stat info {};
      EXPECT_NE(::lstat(removed.c_str(), &info), 0);
      EXPECT_EQ(fileopstest::TreeFacts(user), before);
      fs::remove_all(Root() / "user");
      fs::remove_all(card);
      fs::remove_all(scratch);
    }
  }
}

TEST_F(XpTreeOps, RemoveTreeStopsAtTheFirstFailure) {
  const fs::path folder = Root() / "folder";
  WriteBytes(folder / "locked", "l");
  faults_.Add(Fault(SysCall::kUnlink, (folder / "locked").string()).Errno(EACCES));
  EXPECT_EQ(XpRemoveDirectoryTree(X(folder), true, nullptr), kXpErrAccessDenied);
  EXPECT_TRUE(Exists(folder / "locked"));
  EXPECT_EQ(XpRemoveDirectoryTree(X(Root() / "missing"), true, nullptr), kXpErrFileNotFound);
}

}  // namespace
