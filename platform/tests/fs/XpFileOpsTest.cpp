#include "platform/fs/XpFileOperations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpTempFiles.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::Exists;
using fileopstest::FakeWaitClock;
using fileopstest::ModeOf;
using fileopstest::MtimeOf;
using fileopstest::NamesIn;
using fileopstest::RecordingObserver;
using fileopstest::SetMtime;
using fileopstest::TempPrefix;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

constexpr size_t kChunk = size_t{1} << 20;
constexpr time_t kOldTime = 1000000000;

class FileOpsFixture : public testsupport::HermeticTest {
 protected:
  fs::path File(const std::string& name, const std::string& content) {
    const fs::path path = Root() / name;
    WriteBytes(path, content);
    return path;
  }
  XpString X(const fs::path& path) const { return ToXp(path); }
  std::string Key(const fs::path& path) const { return path.string(); }

  FaultInjection faults_;
};
using XpFileOps = FileOpsFixture;

TEST_F(XpFileOps, DeleteFileRemovesReadOnlyFilesAndKeepsTheModeOnFailure) {
  const fs::path readOnly = File("ro.txt", "x");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_EQ(XpDeleteFile(X(readOnly)), kXpOk);
  EXPECT_FALSE(Exists(readOnly));

  const fs::path refused = File("refused.txt", "keep");
  ::chmod(refused.c_str(), 0444);
  faults_.Add(Fault(SysCall::kUnlink, Key(refused)).Errno(EACCES));
  EXPECT_EQ(XpDeleteFile(X(refused)), kXpErrAccessDenied);
  EXPECT_EQ(ModeOf(refused), 0444u);
  EXPECT_EQ(ReadBytes(refused), "keep");
}

TEST_F(XpFileOps, DeleteFileResults) {
  const fs::path odd = File("odd.txt", "x");
  faults_.Add(Fault(SysCall::kUnlink, Key(odd)).Errno(EPROTO));
  struct Case {
    fs::path path;
    XpResult expected;
  };
  const Case cases[] = {
      {Root() / "missing.txt", kXpErrFileNotFound},
      {Root() / "nofolder/missing.txt", kXpErrPathNotFound},
      {Dir("afolder"), kXpErrAccessDenied},
      // A failure without a code of its own is "delete failed".
      {odd, kXpErrDeleteFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpDeleteFile(X(c.path)), c.expected) << c.path;
  }
}

TEST_F(XpFileOps, DeleteFileRemovesALinkAndLeavesItsTarget) {
  const fs::path target = File("target.txt", "t");
  ::chmod(target.c_str(), 0444);
  const fs::path link = Root() / "link";
  fs::create_symlink(target, link);
  EXPECT_EQ(XpDeleteFile(X(link)), kXpOk);
  EXPECT_FALSE(Exists(link));
  EXPECT_EQ(ModeOf(target), 0444u);
}

TEST_F(XpFileOps, RemoveDirectoryRemovesOnlyAnEmptyFolder) {
  const fs::path empty = Dir("empty");
  const fs::path full = Dir("full");
  File("full/a", "a");
  EXPECT_EQ(XpRemoveDirectory(X(empty)), kXpOk);
  EXPECT_FALSE(Exists(empty));
  EXPECT_EQ(XpRemoveDirectory(X(full)), kXpErrDirNotEmpty);
  EXPECT_TRUE(Exists(full / "a"));
  EXPECT_EQ(XpRemoveDirectory(X(Root() / "missing")), kXpErrFileNotFound);
}

TEST_F(XpFileOps, CopyOrMoveFileSimpleNeverReplaces) {
  const fs::path source = File("src.txt", "new");
  const fs::path destination = File("dst.txt", "old");
  for (const bool move : {false, true}) {
    EXPECT_EQ(XpCopyOrMoveFileSimple(X(destination), move, X(source)), kXpErrAlreadyExists)
        << move;
    EXPECT_EQ(ReadBytes(source), "new");
    EXPECT_EQ(ReadBytes(destination), "old");
  }
}

TEST_F(XpFileOps, CopyOrMoveFileSimpleCopiesAndMoves) {
  const fs::path source = File("src.txt", "data");
  ::chmod(source.c_str(), 0440);
  SetMtime(source, kOldTime);
  EXPECT_EQ(XpCopyOrMoveFileSimple(X(Root() / "copy.txt"), false, X(source)), kXpOk);
  EXPECT_EQ(ReadBytes(Root() / "copy.txt"), "data");
  EXPECT_EQ(ModeOf(Root() / "copy.txt"), 0440u);
  EXPECT_EQ(MtimeOf(Root() / "copy.txt"), kOldTime);

  // Across file systems the file is copied, flushed (a failing flush fails
  // the move and takes the copy back) and its source unlinked.
  const fs::path destination = Root() / "moved.txt";
  faults_.Add(Fault(SysCall::kRename, Key(source)).Errno(EXDEV));
  const int flush = faults_.Add(Fault(SysCall::kFsync, TempPrefix(destination)).Errno(EIO));
  EXPECT_EQ(XpCopyOrMoveFileSimple(X(destination), true, X(source)), kXpErrDeviceNotReady);
  EXPECT_EQ(faults_.Hits(flush), 1);
  EXPECT_EQ(ReadBytes(source), "data");
  EXPECT_FALSE(Exists(destination));

  faults_.Clear();
  faults_.Add(Fault(SysCall::kRename, Key(source)).Errno(EXDEV));
  EXPECT_EQ(XpCopyOrMoveFileSimple(X(destination), true, X(source)), kXpOk);
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(ReadBytes(destination), "data");
  EXPECT_EQ(MtimeOf(destination), kOldTime);
}

TEST_F(XpFileOps, MoveFileRetryingRetriesARefusedMove) {
  constexpr int kEveryTry = -1;
  struct Case {
    int failures;  // refused renames before one is let through
    XpResult expected;
    int refused;  // renames tried and refused
    size_t sleeps;
  };
  // 11 tries at most, a pause between two, none after the last.
  const Case cases[] = {{3, kXpOk, 3, 3},
                        {10, kXpOk, 10, 10},
                        {11, kXpErrAccessDenied, 11, 10},
                        {kEveryTry, kXpErrAccessDenied, 11, 10}};
  for (const Case& c : cases) {
    const fs::path source = File("retry.txt", "r");
    const fs::path destination = File("target.txt", "old");
    faults_.Clear();
    Fault refusal(SysCall::kRename, Key(source));
    refusal.Errno(EBUSY);
    if (c.failures != kEveryTry) {
      refusal.Times(c.failures);
    }
    const int rule = faults_.Add(refusal);
    FakeWaitClock clock;
    EXPECT_EQ(XpMoveFileRetrying(X(source), X(destination), clock), c.expected) << c.failures;
    EXPECT_EQ(faults_.Hits(rule), c.refused) << c.failures;
    ASSERT_EQ(clock.sleeps.size(), c.sleeps) << c.failures;
    for (const auto& sleep : clock.sleeps) {
      EXPECT_EQ(sleep, std::chrono::milliseconds(300));
    }
    EXPECT_EQ(ReadBytes(destination), c.expected == kXpOk ? "r" : "old") << c.failures;
    fs::remove(source);
  }
}

TEST_F(XpFileOps, MoveFileRetryingNeverReplacesAFolder) {
  const fs::path source = Dir("from");
  File("from/a", "a");
  const fs::path destination = Dir("to");
  FakeWaitClock clock;
  EXPECT_EQ(XpMoveFileRetrying(X(source), X(destination), clock), kXpErrAlreadyExists);
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_TRUE(Exists(source / "a"));
  EXPECT_TRUE(Exists(destination));
}

TEST_F(XpFileOps, CopyWithProgressStoppedAtTheFirstReportLeavesNoDestination) {
  const fs::path source = File("big.bin", std::string(3 * kChunk, 'b'));
  const fs::path destination = Root() / "copy.bin";
  RecordingObserver observer;
  observer.stopAtCall = 1;
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(destination), &observer), kXpErrStopped);
  EXPECT_EQ(observer.reports.size(), 1u);
  EXPECT_EQ(observer.stopFlag.load(), 1);
  EXPECT_FALSE(Exists(destination));
}

TEST_F(XpFileOps, CopyWithProgressReportsEachChunkAndKeepsTimeAndMode) {
  const fs::path source = File("photo.jpg", std::string(2 * kChunk + kChunk / 2, 'p'));
  ::chmod(source.c_str(), 0444);
  SetMtime(source, kOldTime);
  const fs::path destination = Root() / "copy.jpg";
  RecordingObserver observer;
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(destination), &observer), kXpOk);
  EXPECT_EQ(observer.reports, (std::vector<double>{40.0, 80.0, 100.0}));
  EXPECT_EQ(observer.percent, 100.0);
  EXPECT_EQ(observer.stopFlag.load(), 0);
  EXPECT_EQ(fs::file_size(destination), fs::file_size(source));
  EXPECT_EQ(ModeOf(destination), 0444u);
  EXPECT_EQ(MtimeOf(destination), kOldTime);
}

TEST_F(XpFileOps, CopyWithProgressOfAnEmptyFileReportsStartAndEnd) {
  const fs::path source = File("empty.txt", "");
  RecordingObserver observer;
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(Root() / "copy.txt"), &observer), kXpOk);
  EXPECT_EQ(observer.reports, (std::vector<double>{0.0, 100.0}));
  EXPECT_TRUE(Exists(Root() / "copy.txt"));
}

TEST_F(XpFileOps, CopyWithProgressReplacesOnlyAWritableDestination) {
  const fs::path source = File("src.txt", "new");
  const fs::path writable = File("writable.txt", "old");
  const fs::path readOnly = File("readonly.txt", "old");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(writable), nullptr), kXpOk);
  EXPECT_EQ(ReadBytes(writable), "new");
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(readOnly), nullptr), kXpErrAccessDenied);
  EXPECT_EQ(ReadBytes(readOnly), "old");
  // Onto itself it would empty the source.
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(source), nullptr), kXpErrAccessDenied);
  EXPECT_EQ(ReadBytes(source), "new");
}

TEST_F(XpFileOps, CopyWithProgressLeavesAnUntouchedDestinationWhenStopped) {
  const fs::path source = File("src.txt", "new");
  const fs::path destination = File("dst.txt", "precious");
  RecordingObserver observer;
  observer.stopFlag = 1;
  EXPECT_EQ(XpCopyFileWithProgress(X(source), X(destination), &observer), kXpErrStopped);
  EXPECT_EQ(ReadBytes(destination), "precious");
  EXPECT_TRUE(observer.reports.empty());
}

TEST_F(XpFileOps, CopyWithProgressRemovesItsCopyOnFailure) {
  struct Case {
    const char* name;
    int error;
    XpResult expected;
  };
  // Device errors read as "file not found", as the system's copy reports them.
  const Case cases[] = {{"full", ENOSPC, kXpErrDiskFull}, {"gone", EIO, kXpErrFileNotFound}};
  for (const Case& c : cases) {
    const fs::path source = File(std::string(c.name) + ".bin", std::string(2 * kChunk, 'x'));
    const fs::path destination = Root() / (std::string(c.name) + ".copy");
    faults_.Add(Fault(SysCall::kWrite, TempPrefix(destination)).Errno(c.error).AfterBytes(kChunk + 5));
    EXPECT_EQ(XpCopyFileWithProgress(X(source), X(destination), nullptr), c.expected) << c.name;
    EXPECT_FALSE(Exists(destination)) << c.name;
    EXPECT_TRUE(fileopstest::TempFilesIn(Root()).empty()) << c.name;
  }
}

TEST_F(XpFileOps, MoveWithProgressOfAFolderNeverReplacesAFolder) {
  const fs::path source = Dir("src");
  File("src/a", "a");
  const fs::path destination = Dir("dst");
  EXPECT_NE(XpMoveFileWithProgress(X(source), X(destination), nullptr), kXpOk);
  EXPECT_TRUE(Exists(source / "a"));
  EXPECT_TRUE(fs::is_directory(destination));
  EXPECT_TRUE(fs::is_empty(destination));
}

TEST_F(XpFileOps, MoveWithProgressAcrossFileSystemsCopiesWithProgress) {
  const fs::path source = File("src.bin", std::string(2 * kChunk, 's'));
  const fs::path destination = File("dst.bin", "old");
  faults_.Add(Fault(SysCall::kRename, Key(source)).Errno(EXDEV));
  RecordingObserver observer;
  EXPECT_EQ(XpMoveFileWithProgress(X(source), X(destination), &observer), kXpOk);
  EXPECT_EQ(observer.reports, (std::vector<double>{50.0, 100.0}));
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(fs::file_size(destination), 2 * kChunk);

  // A folder does not cross file systems.
  const fs::path folder = Dir("folder");
  faults_.Add(Fault(SysCall::kRename, Key(folder)).Errno(EXDEV));
  EXPECT_EQ(XpMoveFileWithProgress(X(folder), X(Root() / "elsewhere"), nullptr), kXpErrGeneric);
  EXPECT_TRUE(Exists(folder));
}

TEST_F(XpFileOps, MoveWithProgressKeepsTheSourceWhenItCannotBeUnlinked) {
  const fs::path source = File("src.txt", "s");
  faults_.Add(Fault(SysCall::kRename, Key(source)).Errno(EXDEV));
  faults_.Add(Fault(SysCall::kUnlink, Key(source)).Errno(EACCES));
  EXPECT_EQ(XpMoveFileWithProgress(X(source), X(Root() / "dst.txt"), nullptr), kXpErrAccessDenied);
  EXPECT_EQ(ReadBytes(source), "s");
  EXPECT_FALSE(Exists(Root() / "dst.txt"));
}

TEST_F(XpFileOps, MoveWithProgressReplacesAFileAndKeepsItWhenTheStopFlagIsSet) {
  const fs::path source = File("src.txt", "new");
  const fs::path destination = File("dst.txt", "old");
  RecordingObserver observer;
  observer.stopFlag = 1;
  EXPECT_EQ(XpMoveFileWithProgress(X(source), X(destination), &observer), kXpOk);
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(ReadBytes(destination), "new");
}

TEST_F(XpFileOps, DeleteWithProgressCountsOneAndReportsEvenOnFailure) {
  const fs::path present = File("present.txt", "p");
  const fs::path missing = Root() / "missing.txt";
  for (const fs::path& path : {present, missing}) {
    RecordingObserver observer;
    observer.stopAtCall = 1;
    const XpResult result = XpDeleteWithProgress(X(path), false, false, &observer);
    EXPECT_EQ(result, path == present ? kXpOk : kXpErrFileNotFound);
    EXPECT_EQ(observer.reports, (std::vector<double>{0.0, 100.0}));
    EXPECT_EQ(observer.doneCount, 1);
    EXPECT_EQ(observer.source, X(path));
    EXPECT_FALSE(Exists(path));
  }
}

TEST_F(XpFileOps, DeleteFilesWithProgressGoesOnAfterAFailure) {
  const fs::path first = File("a.txt", "a");
  const fs::path third = File("c.txt", "c");
  const XpStringVector paths{X(first), X(Root() / "b.txt"), X(third)};
  RecordingObserver observer;
  EXPECT_EQ(XpDeleteFilesWithProgress(paths, false, false, &observer), kXpErrFileNotFound);
  EXPECT_FALSE(Exists(first));
  EXPECT_FALSE(Exists(third));
  EXPECT_EQ(observer.doneCount, 3);
  EXPECT_EQ(observer.reports.size(), 6u);
}

TEST_F(XpFileOps, DeleteFilesWithProgressToTheRecycleBin) {
  const fs::path file = File("home/old.txt", "o");
  EXPECT_EQ(XpDeleteFilesWithProgress({X(file)}, false, true, nullptr), kXpOk);
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(Exists(Root() / "home/.local/share/Trash/files/old.txt"));
}

TEST_F(XpFileOps, PathsInFolderModeAreRenamedAfterTheShellOperation) {
  const fs::path source = File("in/a.txt", "a");
  const fs::path folder = Dir("out");
  EXPECT_EQ(XpCopyPath(X(source), X(folder / "b.txt"), true, nullptr), kXpOk);
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"b.txt"}));
  EXPECT_TRUE(Exists(source));

  EXPECT_EQ(XpMovePath(X(source), X(folder / "c.txt"), true, nullptr), kXpOk);
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"b.txt", "c.txt"}));
  EXPECT_FALSE(Exists(source));

  // A failed rename moves the entry back.
  const fs::path other = File("in/d.txt", "d");
  // The second rename (to e.txt) fails; the first is the shell's move.
  faults_.Add(Fault(SysCall::kRename, Key(folder / "d.txt")).Errno(EACCES).FromCall(2).Times(1));
  EXPECT_EQ(XpMovePath(X(other), X(folder / "e.txt"), true, nullptr), kXpErrAccessDenied);
  EXPECT_EQ(ReadBytes(other), "d");
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"b.txt", "c.txt"}));
}

TEST_F(XpFileOps, CopyPathsIntoFolderStopsAtTheFirstFailure) {
  const fs::path a = File("in/a.txt", "a");
  const fs::path c = File("in/c.txt", "c");
  const fs::path folder = Dir("out");
  const XpStringVector sources{X(a), X(Root() / "in/missing.txt"), X(c)};
  EXPECT_EQ(XpCopyPathsIntoFolder(sources, X(folder), false, nullptr), kXpErrFileNotFound);
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(XpCopyPathsIntoFolder({}, X(folder), false, nullptr), kXpOk);

  EXPECT_EQ(XpMovePathsIntoFolder({X(c)}, X(folder), false, nullptr), kXpOk);
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"a.txt", "c.txt"}));
  EXPECT_FALSE(Exists(c));
}

TEST_F(XpFileOps, UniqueNumberedFileTakesTheFirstFreeNumber) {
  const fs::path folder = Dir("dcim");
  File("dcim/IMG0000.JPG", "");
  File("dcim/IMG0001.JPG", "");
  EXPECT_EQ(XpCreateUniqueNumberedFile(X(folder), u"IMG", 4, u"", u".JPG"),
            X(folder / "IMG0002.JPG"));
  EXPECT_TRUE(Exists(folder / "IMG0002.JPG"));
  EXPECT_EQ(XpCreateUniqueNumberedFile(X(folder), u"IMG", 0, u"", u".JPG"), u"");
  EXPECT_EQ(XpCreateUniqueNumberedFile(X(folder), u"", 2, u"_x", u""), X(folder / "00_x"));
  EXPECT_EQ(NamesIn(folder),
            (std::set<std::string>{"IMG0000.JPG", "IMG0001.JPG", "IMG0002.JPG", "00_x"}));
  EXPECT_EQ(XpCreateUniqueNumberedFile(X(Root() / "missing"), u"IMG", 4, u"", u".JPG"), u"");
}

TEST_F(XpFileOps, CopyViaTempFileLeavesNoTemporaryFile) {
  const fs::path source = File("src.txt", "data");
  const fs::path folder = Dir("out");
  EXPECT_EQ(XpCopyViaTempFile(X(source), X(folder / "dst.txt"), false, nullptr), kXpOk);
  EXPECT_EQ(ReadBytes(folder / "dst.txt"), "data");
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"dst.txt"}));

  // A failed copy takes back the destination it reserved.
  EXPECT_EQ(XpCopyViaTempFile(X(Root() / "missing"), X(folder / "new.txt"), false, nullptr),
            kXpErrFileNotFound);
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"dst.txt"}));
}

}  // namespace
