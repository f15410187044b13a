#include "accessor/import/K2ImportTaskDCFObj.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "accessor/tests/import/ImportTaskTestSupport.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "camerastore/dcf/XpDCFObj.h"
#include "framework/notify/XfNotification.h"
#include "framework/suite/SfDCFImportHistory.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

namespace fs = std::filesystem;
using import_test::MakeObject;
using import_test::NamesIn;
using import_test::ReadAll;
using import_test::RecordingClock;
using testsupport::Fault;
using testsupport::SysCall;
using Names = std::vector<std::string>;

constexpr auto kWaitLimit = std::chrono::seconds(20);
constexpr uint64_t kMovieBytes = 3000;
constexpr uint64_t kThumbnailBytes = 700;

class ImportTaskFixture : public task_test::TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    camera_ = Dir("cam");
    import_test::StageCameraMount(std::getenv("KAVO_SYSROOT"), camera_);
    pc_ = Dir("pc");
  }

  // dcimFolder below DCIM on the camera, made.
  fs::path CameraFolder(const std::string& dcimFolder) const {
    const fs::path folder = camera_ / "DCIM" / dcimFolder;
    fs::create_directories(folder);
    return folder;
  }

  // Camera files: a real picture for ".JPG" (any case), patterned bytes for
  // other extensions.
  static void MakeCameraFile(const fs::path& path) {
    const std::string extension = path.extension().string();
    if (extension == ".JPG" || extension == ".jpg") {
      task_test::WritePlainJpeg(path);
      return;
    }
    const uint64_t size = extension == ".THM" ? kThumbnailBytes : kMovieBytes;
    task_test::WriteBytes(path, std::string(size, static_cast<char>('a' + size % 26)));
  }

  XpSharedPtr<XpDCFObj> CameraObject(const fs::path& folder, const Names& names) const {
    std::vector<fs::path> paths;
    for (const std::string& name : names) {
      paths.push_back(folder / name);
      MakeCameraFile(paths.back());
    }
    return MakeObject(paths);
  }

  XpSharedPtr<K2ImportTaskDCFObj> Task(const XpSharedPtr<XpDCFObj>& object,
                                       const fs::path& destination, bool rename = true) {
    XpSharedPtr<K2ImportTaskDCFObj> task(new K2ImportTaskDCFObj(clock_));
    task->SetSource(XpSharedPtr<XpAbstractFSObj>(object));
    task->SetName(XpString::FromUtf8(destination.string()));
    task->SetRenameSource(rename);
    fs::create_directories(destination);
    Observer().SetManager(task.Get());
    return task;
  }

  // The notifications of kind seen so far.
  std::vector<task_test::Seen> OfKind(XfNotificationKind kind) {
    std::vector<task_test::Seen> found;
    for (const task_test::Seen& seen : Observer().All()) {
      if (seen.kind == kind) found.push_back(seen);
    }
    return found;
  }

  // Waits (bounded) until count notifications of kind arrived.
  bool WaitForKind(XfNotificationKind kind, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (OfKind(kind).size() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  static Names Paths(const XpStringVector& paths) {
    Names narrow;
    for (const XpString& path : paths) narrow.push_back(path.ToMultiByte().ToStdString());
    return narrow;
  }

  RecordingClock clock_;
  testsupport::FaultInjection faults_;
  fs::path camera_;
  fs::path pc_;
};

using K2ImportTaskDCFObj = ImportTaskFixture;

struct RenameCase {
  const char* name;
  Names members;
  bool rename;
  Names cameraAfterwards;
};

TEST_F(K2ImportTaskDCFObj, RenamesTheCameraFilesAfterASuccessfulCopy) {
  const RenameCase cases[] = {
      {"picture", {"DSC01234.JPG"}, true, {"QMVS1234.JPG"}},
      {"movie", {"DSC00007.MPG", "DSC00007.THM"}, true, {"QMVM0007.MPG", "QMVM0007.THM"}},
      {"lower-case picture", {"dsc01234.jpg"}, true, {"QMVS1234.jpg"}},
      {"other extension", {"DSC01234.TIF"}, true, {"DSC01234.TIF"}},
      {"rename off", {"DSC01234.JPG"}, false, {"DSC01234.JPG"}},
      // Files this program exported have their imported names already.
      {"exported picture", {"QMVS1234.JPG"}, true, {"QMVS1234.JPG"}},
      {"exported movie", {"QMVM0007.MPG", "QMVM0007.THM"}, true, {"QMVM0007.MPG", "QMVM0007.THM"}},
  };
  int index = 0;
  for (const RenameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tag = std::to_string(100 + index++);
    const fs::path folder = CameraFolder(tag + "ABCDE");
    const fs::path destination = pc_ / ("x" + tag);
    XpSharedPtr<XpDCFObj> object = CameraObject(folder, c.members);
    XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, destination, c.rename);

    ASSERT_EQ(task->Run(nullptr, nullptr), kXpOk);

    EXPECT_EQ(NamesIn(folder), c.cameraAfterwards);
    Names copies;
    for (const std::string& member : c.members) {
      copies.push_back((destination / member).string());
      EXPECT_EQ(ReadAll(destination / member),
                ReadAll(folder / c.cameraAfterwards[copies.size() - 1]));
    }
    EXPECT_EQ(Paths(task->GetFileList()), copies);
    XpStringVector removable;
    ASSERT_EQ(task->CollectRemovableFiles(&removable), kXpOk);
    Names expectedRemovable;
    for (const std::string& name : c.cameraAfterwards) {
      expectedRemovable.push_back((folder / name).string());
    }
    EXPECT_EQ(Paths(removable), expectedRemovable);
  }
}

TEST_F(K2ImportTaskDCFObj, NeverRenamesOverAnotherCameraFile) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC01234.JPG"});
  const std::string picture = ReadAll(folder / "DSC01234.JPG");
  task_test::WriteBytes(folder / "QMVS1234.JPG", "keep");
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x");

  EXPECT_EQ(task->Run(nullptr, nullptr), kXpErrAlreadyExists);

  EXPECT_TRUE(clock_.Sleeps().empty());
  EXPECT_EQ(ReadAll(folder / "QMVS1234.JPG"), "keep");
  EXPECT_EQ(ReadAll(folder / "DSC01234.JPG"), picture);
  EXPECT_EQ(ReadAll(pc_ / "x/DSC01234.JPG"), picture);
  XpStringVector removable;
  ASSERT_EQ(task->CollectRemovableFiles(&removable), kXpOk);
  EXPECT_EQ(Paths(removable), Names{(folder / "DSC01234.JPG").string()});
}

TEST_F(K2ImportTaskDCFObj, ARefusedMoveIsTriedTwentyTimesAndKeepsTheMembersPath) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC01234.JPG"});
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x");
  const int busy = faults_.Add(Fault(SysCall::kRename, camera_.string()).Errno(EBUSY));

  EXPECT_EQ(task->Run(nullptr, nullptr), kXpErrAccessDenied);

  EXPECT_EQ(faults_.Hits(busy), ::K2ImportTaskDCFObj::kMoveAttempts);
  EXPECT_EQ(clock_.Sleeps(), std::vector<std::chrono::milliseconds>(
                                 20, ::K2ImportTaskDCFObj::kMoveRetryDelay));
  EXPECT_EQ(::K2ImportTaskDCFObj::kMoveRetryDelay, std::chrono::milliseconds(100));
  EXPECT_EQ(NamesIn(folder), Names{"DSC01234.JPG"});
  XpStringVector all;
  ASSERT_EQ(task->CollectAllFilesForRemoval(&all), kXpOk);
  EXPECT_EQ(Paths(all), Names{(folder / "DSC01234.JPG").string()});
}

TEST_F(K2ImportTaskDCFObj, AFailedCopyRenamesNothingLeavesNoFileAndStillNotifies) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC00007.MPG", "DSC00007.THM"});
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x");
  faults_.Add(Fault(SysCall::kWrite, (pc_ / "x").string()).Errno(ENOSPC).AfterBytes(kMovieBytes));

  EXPECT_EQ(task->Run(nullptr, nullptr), kXpErrDiskFull);

  EXPECT_EQ(NamesIn(folder), (Names{"DSC00007.MPG", "DSC00007.THM"}));
  EXPECT_EQ(NamesIn(pc_ / "x"), Names{});
  EXPECT_TRUE(task->GetFileList().empty());
  ASSERT_TRUE(WaitForKind(kXfKindInternal, 1));
  const std::vector<task_test::Seen> executed = OfKind(kXfKindInternal);
  ASSERT_EQ(executed.size(), 1u);
  EXPECT_EQ(executed[0].code, ::K2ImportTaskDCFObj::kExecutedCode);
  EXPECT_TRUE(executed[0].senderIsBorrowedManager);
}

TEST_F(K2ImportTaskDCFObj, AStopAtTheFirstReportLeavesNothingInTheDestination) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC00007.MPG", "DSC00007.THM"});
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x");
  std::atomic<bool> stop{false};
  std::atomic<bool> pause{true};
  // The first report waits on the pause flag; its owner asks for the stop
  // then.
  clock_.SetHook([&](std::chrono::milliseconds) {
    stop = true;
    pause = false;
  });

  EXPECT_EQ(task->Run(&stop, &pause), kXpErrStopped);

  EXPECT_EQ(NamesIn(pc_ / "x"), Names{});
  EXPECT_EQ(NamesIn(folder), (Names{"DSC00007.MPG", "DSC00007.THM"}));
  EXPECT_TRUE(task->GetFileList().empty());
}

TEST_F(K2ImportTaskDCFObj, ThePauseFlagHoldsBackProgressUntilItIsCleared) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC00007.MPG", "DSC00007.THM"});
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x");
  std::atomic<bool> stop{false};
  std::atomic<bool> pause{true};
  constexpr int kPolls = 5;
  int polls = 0;
  size_t progressWhilePaused = 0;
  bool delivered = false;
  clock_.SetHook([&](std::chrono::milliseconds duration) {
    EXPECT_EQ(duration, ::K2ImportTaskDCFObj::kPausePoll);
    if (++polls == 1) {
      delivered = WaitForKind(kXfKindProgress, 1);
    }
    if (polls == kPolls) {
      progressWhilePaused = OfKind(kXfKindProgress).size();
      pause = false;
    }
  });

  ASSERT_EQ(task->Run(&stop, &pause), kXpOk);

  EXPECT_TRUE(delivered);
  EXPECT_EQ(polls, kPolls);
  EXPECT_EQ(progressWhilePaused, 1u);
  ASSERT_TRUE(WaitForKind(kXfKindInternal, 1));
  const std::vector<task_test::Seen> progress = OfKind(kXfKindProgress);
  EXPECT_GT(progress.size(), 1u);
  EXPECT_EQ(progress.back().value, 100u);
  for (const task_test::Seen& seen : progress) {
    EXPECT_TRUE(seen.senderIsBorrowedManager);
    EXPECT_EQ(seen.code, 0u);
  }
}

TEST_F(K2ImportTaskDCFObj, ProgressTruncatesThePercentageAndAnswersTheStopFlag) {
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(MakeObject({}), pc_ / "x");
  std::atomic<bool> stop{false};
  // Keeps the stop flag; an object without members has nothing to copy.
  (void)task->Run(&stop, nullptr);
  ASSERT_TRUE(WaitForKind(kXfKindInternal, 1));
  Observer().Clear();

  EXPECT_FALSE(task->OnFileOpProgress(42.9));
  stop = true;
  EXPECT_TRUE(task->OnFileOpProgress(99.99));
  EXPECT_TRUE(task->OnFileOpProgress(-3.0));
  ASSERT_TRUE(WaitForKind(kXfKindProgress, 3));
  const std::vector<task_test::Seen> progress = OfKind(kXfKindProgress);
  EXPECT_EQ(progress[0].value, 42u);
  EXPECT_EQ(progress[1].value, 99u);
  EXPECT_EQ(progress[2].value, 0u);
}

TEST_F(K2ImportTaskDCFObj, AReadOnlyMemberKeepsTheObjectOutOfTheRemovableFiles) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC00007.MPG", "DSC00007.THM"});
  ASSERT_EQ(XpFileSetReadOnly(XpString::FromUtf8((folder / "DSC00007.THM").string()), true), kXpOk);
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x", false);

  XpStringVector removable;
  EXPECT_EQ(task->CollectRemovableFiles(&removable), kXpOk);
  EXPECT_TRUE(removable.empty());

  XpStringVector all;
  EXPECT_EQ(task->CollectAllFilesForRemoval(&all), kXpOk);
  EXPECT_EQ(Paths(all), (Names{(folder / "DSC00007.MPG").string(),
                               (folder / "DSC00007.THM").string()}));
  EXPECT_FALSE(XpFileIsReadOnly(XpString::FromUtf8((folder / "DSC00007.THM").string())));
  EXPECT_FALSE(XpFileIsReadOnly(XpString::FromUtf8((folder / "DSC00007.MPG").string())));
}

TEST_F(K2ImportTaskDCFObj, TheHistoryRecordsTheImportedNames) {
  const fs::path folder = CameraFolder("100ABCDE");
  XpSharedPtr<XpDCFObj> object = CameraObject(folder, {"DSC01234.JPG"});
  XpSharedPtr<::K2ImportTaskDCFObj> task = Task(object, pc_ / "x");
  ASSERT_EQ(task->Run(nullptr, nullptr), kXpOk);

  EXPECT_EQ(task->AddToHistory(nullptr), kXpErrBadArgument);
  SfDCFImportHistory history(u"K2");
  ASSERT_EQ(task->AddToHistory(&history), kXpOk);
  ASSERT_EQ(history.GetCount(), 1u);
  EXPECT_EQ(history.GetRecords()[0].GetPath().ToMultiByte().ToStdString(),
            "DCIM/100ABCDE/QMVS1234.JPG");
  EXPECT_TRUE(history.Contains(XpString::FromUtf8((folder / "QMVS1234.JPG").string())));
}

TEST_F(K2ImportTaskDCFObj, KeepsTheManagersSettings) {
  ::K2ImportTaskDCFObj task;
  EXPECT_EQ(task.GetContentIndex(), -1);
  EXPECT_EQ(task.GetContentId(), 0u);
  EXPECT_TRUE(task.GetRenameSource());
  EXPECT_TRUE(task.GetCreateDestination());
  task.SetContentIndex(7);
  task.SetContentId(0x1234567890ull);
  task.SetRenameSource(false);
  task.SetCreateDestination(false);
  EXPECT_EQ(task.GetContentIndex(), 7);
  EXPECT_EQ(task.GetContentId(), 0x1234567890ull);
  EXPECT_FALSE(task.GetRenameSource());
  EXPECT_FALSE(task.GetCreateDestination());
  // Without a DCF object there is nothing to copy or list.
  EXPECT_EQ(task.Execute(nullptr), kXpErrWrongState);
  XpStringVector files;
  EXPECT_EQ(task.CollectRemovableFiles(&files), kXpErrWrongState);
  EXPECT_EQ(task.CollectRemovableFiles(nullptr), kXpErrBadArgument);
}

}  // namespace
