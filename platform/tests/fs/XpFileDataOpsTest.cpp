#include "platform/fs/XpFileDataOperations.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::Exists;
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

constexpr size_t kBlock = 0x40000;
constexpr time_t kOldTime = 1000000000;

class FileDataOpsFixture : public testsupport::HermeticTest {
 protected:
  // An XpFile on a new file with content, open for reading.
  XpSharedPtr<XpAbstractFile> OpenSource(const std::string& name, const std::string& content) {
    const fs::path path = Root() / name;
    WriteBytes(path, content);
    XpSharedPtr<XpAbstractFile> file(new ::XpFile(ToXp(path)));
    EXPECT_EQ(file->Open(kXpOpenRead), kXpOk);
    return file;
  }
  XpString X(const fs::path& path) const { return ToXp(path); }

  FaultInjection faults_;
};
using XpFileDataOps = FileDataOpsFixture;

TEST_F(XpFileDataOps, CopyFileDataOfAnEmptySourceReportsOnce) {
  XpSharedPtr<XpAbstractFile> source = OpenSource("empty", "");
  const fs::path destination = Root() / "copy";
  RecordingObserver observer;
  observer.stopFlag = 1;
  EXPECT_EQ(XpCopyFileData(source, X(destination), &observer), kXpOk);
  EXPECT_EQ(observer.reports, (std::vector<double>{0.0}));
  EXPECT_EQ(observer.stopFlag.load(), 0);
  EXPECT_EQ(observer.source, X(Root() / "empty"));
  EXPECT_EQ(observer.destination, X(destination));
  EXPECT_TRUE(Exists(destination));
  EXPECT_EQ(fs::file_size(destination), 0u);
}

TEST_F(XpFileDataOps, CopyFileDataReportsEachBlockAndKeepsTimeAndReadOnly) {
  const std::string content(2 * kBlock + kBlock / 2, 'd');
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", content);
  ::chmod((Root() / "src").c_str(), 0444);
  SetMtime(Root() / "src", kOldTime);
  const fs::path destination = Root() / "copy";
  RecordingObserver observer;
  EXPECT_EQ(XpCopyFileData(source, X(destination), &observer), kXpOk);
  EXPECT_EQ(observer.reports, (std::vector<double>{0.0, 40.0, 80.0, 100.0}));
  EXPECT_EQ(ReadBytes(destination), content);
  EXPECT_EQ(MtimeOf(destination), kOldTime);
  EXPECT_EQ(ModeOf(destination) & 0222, 0u);
}

TEST_F(XpFileDataOps, CopyFileDataStoppedRemovesTheDestination) {
  for (const int stopAt : {1, 2}) {
    XpSharedPtr<XpAbstractFile> source = OpenSource("src", std::string(2 * kBlock, 's'));
    const fs::path destination = Root() / "copy";
    RecordingObserver observer;
    observer.stopAtCall = stopAt;
    EXPECT_EQ(XpCopyFileData(source, X(destination), &observer), kXpErrStopped) << stopAt;
    EXPECT_EQ(observer.reports.size(), static_cast<size_t>(stopAt));
    EXPECT_FALSE(Exists(destination)) << stopAt;
  }
}

TEST_F(XpFileDataOps, CopyFileDataLeavesADestinationItCouldNotWriteBeside) {
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", "new");
  const fs::path destination = Root() / "existing";
  WriteBytes(destination, "old content");
  faults_.Add(Fault(SysCall::kOpen, TempPrefix(destination)).Errno(EACCES).ForWriting());
  EXPECT_EQ(XpCopyFileData(source, X(destination), nullptr), kXpErrAccessDenied);
  EXPECT_EQ(ReadBytes(destination), "old content");
}

TEST_F(XpFileDataOps, CopyFileDataLeavesNoPartialDestination) {
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", std::string(2 * kBlock, 's'));
  const fs::path destination = Root() / "copy";
  faults_.Add(Fault(SysCall::kWrite, TempPrefix(destination)).Errno(ENOSPC).AfterBytes(kBlock + 10));
  EXPECT_EQ(XpCopyFileData(source, X(destination), nullptr), kXpErrDiskFull);
  EXPECT_FALSE(Exists(destination));
  EXPECT_TRUE(fileopstest::TempFilesIn(Root()).empty());
  EXPECT_EQ(XpCopyFileData(XpSharedPtr<XpAbstractFile>(), X(destination), nullptr),
            kXpErrBadArgument);
}

TEST_F(XpFileDataOps, CopyFileDataNeverEmptiesItsOwnSource) {
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", "keep");
  EXPECT_EQ(XpCopyFileData(source, X(Root() / "src"), nullptr), kXpErrAccessDenied);
  EXPECT_EQ(ReadBytes(Root() / "src"), "keep");
}

// Without replace: the names "copy", "copy 2", "copy 3"... in that order.
XpCopyFileDataOptions NoReplace(const fs::path& folder, int lastNumber) {
  XpCopyFileDataOptions options;
  options.replace = false;
  options.syncFolder = true;
  int number = 1;
  options.nextDestination = [folder, lastNumber, number](XpString* path) mutable {
    if (number >= lastNumber) {
      return false;
    }
    ++number;
    *path = ToXp(folder / ("copy " + std::to_string(number)));
    return true;
  };
  return options;
}

TEST_F(XpFileDataOps, CopyFileDataWithoutReplaceNeverReplaces) {
  struct Case {
    std::vector<std::string> taken;
    int lastNumber;
    XpResult expected;
    std::string published;  // "" when none
  };
  const std::vector<Case> cases = {
      {{}, 1, kXpOk, "copy"},
      {{"copy"}, 1, kXpErrAlreadyExists, ""},
      {{"copy"}, 3, kXpOk, "copy 2"},
      {{"copy", "copy 2"}, 3, kXpOk, "copy 3"},
      {{"copy", "copy 2", "copy 3"}, 3, kXpErrAlreadyExists, ""},
  };
  for (const Case& test : cases) {
    const fs::path folder = Dir("out" + std::to_string(&test - cases.data()));
    for (const std::string& name : test.taken) {
      WriteBytes(folder / name, "old " + name);
    }
    XpSharedPtr<XpAbstractFile> source = OpenSource("src", "new bytes");
    XpString published = u"untouched";
    EXPECT_EQ(XpCopyFileData(source, X(folder / "copy"), nullptr, NoReplace(folder, test.lastNumber),
                             &published),
              test.expected)
        << test.lastNumber;
    for (const std::string& name : test.taken) {
      EXPECT_EQ(ReadBytes(folder / name), "old " + name);
    }
    EXPECT_TRUE(fileopstest::TempFilesIn(folder).empty());
    if (test.published.empty()) {
      EXPECT_EQ(published, XpString(u"untouched"));
      EXPECT_EQ(NamesIn(folder).size(), test.taken.size());
      continue;
    }
    EXPECT_EQ(published, X(folder / test.published));
    EXPECT_EQ(ReadBytes(folder / test.published), "new bytes");
  }
}

TEST_F(XpFileDataOps, CopyFileDataWithoutReplaceMovesOnFromANameTakenMeanwhile) {
  // A file appears at the destination while the copy runs: the publish
  // finds it and the copy takes the next name without copying again.
  class Intruder : public fileopstest::RecordingObserver {
   public:
    bool OnFileOpProgress(double reported) override {
      if (reports.empty()) {
        WriteBytes(target, "intruder");
      }
      return RecordingObserver::OnFileOpProgress(reported);
    }
    fs::path target;
  };
  const fs::path folder = Dir("out");
  Intruder observer;
  observer.target = folder / "copy";
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", std::string(kBlock + 1, 'b'));
  XpString published;
  EXPECT_EQ(XpCopyFileData(source, X(folder / "copy"), &observer, NoReplace(folder, 2), &published),
            kXpOk);
  EXPECT_EQ(published, X(folder / "copy 2"));
  EXPECT_EQ(ReadBytes(folder / "copy"), "intruder");
  EXPECT_EQ(ReadBytes(folder / "copy 2"), std::string(kBlock + 1, 'b'));
  EXPECT_EQ(observer.reports, (std::vector<double>{0.0, kBlock * 100.0 / (kBlock + 1), 100.0}));
  EXPECT_TRUE(fileopstest::TempFilesIn(folder).empty());
}

TEST_F(XpFileDataOps, CopyFileDataWithReplaceOptionReplacesAndReportsThePath) {
  const fs::path folder = Dir("out");
  WriteBytes(folder / "copy", "old");
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", "new bytes");
  XpCopyFileDataOptions options;
  options.syncFolder = true;
  // Asked for nothing without replace.
  options.nextDestination = [](XpString*) { return false; };
  XpString published;
  EXPECT_EQ(XpCopyFileData(source, X(folder / "copy"), nullptr, options, &published), kXpOk);
  EXPECT_EQ(published, X(folder / "copy"));
  EXPECT_EQ(ReadBytes(folder / "copy"), "new bytes");
  EXPECT_EQ(NamesIn(folder).size(), 1u);
  EXPECT_EQ(XpCopyFileData(source, X(Root() / "src"), nullptr, options, nullptr),
            kXpErrAccessDenied);
  EXPECT_EQ(XpCopyFileData(XpSharedPtr<XpAbstractFile>(), X(folder / "copy"), nullptr,
                           options, nullptr),
            kXpErrBadArgument);
}

TEST_F(XpFileDataOps, CopyFileDataWithoutReplaceRemovesACopyWhoseFolderFlushFailed) {
  const fs::path folder = Dir("out");
  XpSharedPtr<XpAbstractFile> source = OpenSource("src", "bytes");
  // The file's own flush comes first and passes; the folder's fails.
  faults_.Add(Fault(SysCall::kFsync, folder.string()).Errno(EIO).FromCall(2));
  XpString published = u"untouched";
  EXPECT_EQ(XpCopyFileData(source, X(folder / "copy"), nullptr, NoReplace(folder, 1), &published),
            kXpErrDeviceNotReady);
  EXPECT_EQ(published, XpString(u"untouched"));
  EXPECT_TRUE(NamesIn(folder).empty());
}

TEST_F(XpFileDataOps, CopyFileIntoFolderMakesAFreeName) {
  const fs::path folder = Dir("out");
  WriteBytes(folder / "IMG_0001.JPG", "first");
  WriteBytes(folder / "IMG_0001 (2).JPG", "second");
  XpSharedPtr<XpAbstractFile> source = OpenSource("in/IMG_0001.JPG", "third");
  XpString resultPath;
  EXPECT_EQ(XpCopyFileIntoFolder(source, X(folder), true, nullptr, &resultPath), kXpOk);
  EXPECT_EQ(resultPath, X(folder / "IMG_0001 (3).JPG"));
  EXPECT_EQ(ReadBytes(folder / "IMG_0001 (3).JPG"), "third");

  XpString untouched = u"unchanged";
  EXPECT_EQ(XpCopyFileIntoFolder(source, X(folder), false, nullptr, &untouched),
            kXpErrAlreadyExists);
  EXPECT_EQ(untouched, u"unchanged");
  EXPECT_EQ(ReadBytes(folder / "IMG_0001.JPG"), "first");
}

TEST_F(XpFileDataOps, CopyFileIntoFolderRemovesItsNameOnFailure) {
  const fs::path folder = Dir("out");
  XpSharedPtr<XpAbstractFile> source = OpenSource("in/a.txt", std::string(kBlock, 'a'));
  faults_.Add(Fault(SysCall::kWrite, TempPrefix(folder / "a.txt")).Errno(EIO));
  EXPECT_EQ(XpCopyFileIntoFolder(source, X(folder), true, nullptr, nullptr), kXpErrDeviceNotReady);
  EXPECT_TRUE(NamesIn(folder).empty());
}

TEST_F(XpFileDataOps, SumFileSizesAddsOnlyKnownSizes) {
  WriteBytes(Root() / "a", "123");
  WriteBytes(Root() / "b", "45");
  std::vector<XpSharedPtr<XpAbstractFSObj>> objects;
  objects.emplace_back(new ::XpFile(X(Root() / "a")));
  objects.emplace_back(new ::XpFile(X(Root() / "missing")));
  objects.emplace_back();
  objects.emplace_back(new ::XpFile(X(Root() / "b")));
  EXPECT_EQ(XpSumFileSizes(objects), 5);
}

TEST_F(XpFileDataOps, ConcatenateFilesJoinsInOrder) {
  WriteBytes(Root() / "in/1", "abc");
  WriteBytes(Root() / "in/2", "");
  WriteBytes(Root() / "in/3", "defgh");
  const fs::path folder = Dir("out");
  const fs::path destination = folder / "joined";
  WriteBytes(destination, "old");
  RecordingObserver observer;
  const XpStringVector sources{X(Root() / "in/1"), X(Root() / "in/2"), X(Root() / "in/3")};
  EXPECT_EQ(XpConcatenateFiles(sources, X(destination), &observer), kXpOk);
  EXPECT_EQ(ReadBytes(destination), "abcdefgh");
  EXPECT_EQ(observer.totalCount, 3);
  EXPECT_EQ(observer.doneCount, 3);
  EXPECT_EQ(observer.reports, (std::vector<double>{37.5, 100.0}));
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"joined"}));
}

TEST_F(XpFileDataOps, ConcatenateFilesLeavesNothingOnFailure) {
  WriteBytes(Root() / "in/1", "abc");
  const fs::path folder = Dir("out");
  const XpStringVector sources{X(Root() / "in/1"), X(Root() / "in/missing")};
  EXPECT_EQ(XpConcatenateFiles(sources, X(folder / "joined"), nullptr), kXpErrFileNotFound);
  EXPECT_TRUE(NamesIn(folder).empty());

  RecordingObserver observer;
  observer.stopAtCall = 1;
  EXPECT_EQ(XpConcatenateFiles({X(Root() / "in/1")}, X(folder / "joined"), &observer),
            kXpErrStopped);
  EXPECT_TRUE(NamesIn(folder).empty());
}

TEST_F(XpFileDataOps, ConcatenateFileDataRefusesAFolder) {
  const fs::path destination = Root() / "joined";
  std::vector<XpSharedPtr<XpAbstractFSObj>> sources;
  sources.emplace_back(new XpDir(X(Dir("folder"))));
  XpSharedPtr<XpAbstractFile> target(new ::XpFile(X(destination)));
  EXPECT_EQ(XpConcatenateFileData(sources, target, nullptr), kXpErrAccessDenied);
  EXPECT_EQ(XpConcatenateFileData(sources, XpSharedPtr<XpAbstractFile>(), nullptr),
            kXpErrBadArgument);
}

}  // namespace
