#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "accessor/task/K2ExportResult.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "framework/notify/XfNotification.h"
#include "framework/progress/XfViewProgress.h"
#include "platform/testsupport/FakeSysfs.h"

namespace task_test {
namespace {

constexpr uint32_t kNoStatus = 0;

// A manager whose run on the camera blocks until the test releases it, and
// then answers what the test chose.
class BlockingRunManager : public ::K2ExportTaskManager {
 public:
  using ::K2ExportTaskManager::Execute;
  using ::K2ExportTaskManager::K2ExportTaskManager;

  ~BlockingRunManager() override {
    EXPECT_EQ(Stop(), kXpOk);
    ReleaseRun(kXpErrStopped);
    (void)WaitUntilFinished();  // only the join matters here
  }

  void ReleaseRun(XpResult answer) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      answer_ = answer;
      released_ = true;
    }
    changed_.notify_all();
  }
  bool WaitRunning() {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::seconds(20), [&] { return running_; });
  }

 protected:
  XpResult RunExport() override {
    std::unique_lock<std::mutex> guard(lock_);
    running_ = true;
    changed_.notify_all();
    changed_.wait(guard, [&] { return released_; });
    return answer_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool running_ = false;
  bool released_ = false;
  XpResult answer_ = kXpOk;
};

using Manager = ::K2ExportTaskManager;

class K2ExportTaskManager : public TaskTest {
 protected:
  // The camera at Root()/cam in the fake mount table.
  void MountCamera() {
    sysfs_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    std::filesystem::create_directories(Root() / "cam");
    sysfs_->AddMount({"/", "ext4", "/dev/sda1", 8, 1});
    sysfs_->AddMount({(Root() / "cam").string(), "vfat", "/dev/sdb1", 8, 17});
  }
  void UnmountCamera() { sysfs_->RemoveMount((Root() / "cam").string()); }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;

  XpString PathOf(const std::string& relative) {
    return XpString::FromUtf8((Root() / relative).string());
  }

  XpString WriteFile(const std::string& relative, const std::string& bytes = "picture") {
    WriteBytes(Root() / relative, bytes);
    return PathOf(relative);
  }

  K2ExportConfig Config(bool convert, uint32_t size = 0) {
    K2ExportConfig config;
    config.SetTempDir(XpString::FromUtf8(TempFolder().string()));
    config.SetChangeImageFileSize(convert);
    config.SetImageFileSize(size);
    config.SetDestination(XpString::FromUtf8((Root() / "cam").string()));
    return config;
  }

  // The hand-over of the two folders A and B.
  void AddTwoFolders(HandOver& handOver) {
    handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/B/x10.JPG", std::string(5000, 'b'))}, 45000.5);
    handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/A/z.JPG", std::string(3000, 'z'))}, 45001.5);
    handOver.Add(kK2ContentTypeMovie,
                 {WriteFile("p/A/m.MPG", std::string(7000, 'm')), WriteFile("p/A/m.THM"),
                  WriteFile("p/A/m.modd")},
                 45001.0);
    handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/B/x2.JPG", std::string(2000, 'x'))}, 45000.5);
  }

  static std::vector<std::string> FirstNames(const K2ExportItemVector& items) {
    std::vector<std::string> names;
    for (const K2ExportItem& item : items) {
      names.push_back(item.sourceFolder.ToMultiByte().ToStdString() +
                      item.fileNames.front().ToMultiByte().ToStdString());
    }
    return names;
  }

  std::vector<std::filesystem::path> TempFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(TempFolder())) {
      files.push_back(entry.path());
    }
    return files;
  }
};

TEST_F(K2ExportTaskManager, BuildsSortsAndCountsTheItems) {
  HandOver handOver;
  AddTwoFolders(handOver);
  Manager manager(Clock());
  EXPECT_EQ(manager.Start(Config(false), handOver.Document(), nullptr), kXpOk);

  const K2ExportItemVector items = manager.GetExportableItems();
  const std::string root = Root().string();
  EXPECT_EQ(FirstNames(items),
            (std::vector<std::string>{root + "/p/A/m.MPG", root + "/p/A/z.JPG",
                                      root + "/p/B/x2.JPG", root + "/p/B/x10.JPG"}));
  ASSERT_EQ(items.front().fileNames.size(), 2u);
  EXPECT_EQ(items.front().fileNames[1].ToMultiByte().ToStdString(), "m.THM");
  uint32_t groups = 0;
  uint32_t count = 0;
  manager.GetCounts(&groups, &count);
  EXPECT_EQ(groups, 2u);
  EXPECT_EQ(count, 4u);
  EXPECT_FALSE(manager.HasPending());
  EXPECT_FALSE(manager.IsNothingDone());
  // Five files, each rounded up to one allocation unit of the fallback size.
  EXPECT_EQ(manager.GetRequiredBytes(), 5u * 32768u);
  EXPECT_EQ(manager.Stop(), kXpOk);
}

TEST_F(K2ExportTaskManager, FoldersDifferingOnlyInCaseAreTwoFolders) {
  HandOver split;
  split.Add(kK2ContentTypeMovie, {WriteFile("p/A/m.MPG"), WriteFile("p/a/m.THM")});
  Manager splitManager(Clock());
  EXPECT_EQ(splitManager.Start(Config(false), split.Document(), nullptr), kXpOk);
  uint32_t groups = 9;
  uint32_t count = 9;
  splitManager.GetCounts(&groups, &count);
  EXPECT_EQ(groups, 0u);
  EXPECT_EQ(count, 0u);

  HandOver twoGroups;
  twoGroups.Add(kK2ContentTypeJpeg, {WriteFile("p/A/1.JPG")});
  twoGroups.Add(kK2ContentTypeJpeg, {WriteFile("p/a/2.JPG")});
  Manager manager(Clock());
  EXPECT_EQ(manager.Start(Config(false), twoGroups.Document(), nullptr), kXpOk);
  manager.GetCounts(&groups, &count);
  EXPECT_EQ(groups, 2u);
  EXPECT_EQ(count, 2u);
}

TEST_F(K2ExportTaskManager, MoviesBelowTwoGibibytesAreExportable) {
  WriteSparse(Root() / "p/small.MPG", 0x7FFFFFFFull);
  WriteSparse(Root() / "p/large.MPG", 0x80000000ull);
  Manager manager(Clock());
  K2ExportItem item;
  item.contentType = kK2ContentTypeMovie;
  item.sourceFolder = PathOf("p/");
  item.fileNames = {u"small.MPG"};
  EXPECT_TRUE(manager.IsExportableSize(item));
  item.fileNames = {u"large.MPG"};
  EXPECT_FALSE(manager.IsExportableSize(item));
}

TEST_F(K2ExportTaskManager, ContentsWithoutExportableFilesAreRefused) {
  struct Case {
    const char* name;
    uint32_t contentType;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"only a side file", kK2ContentTypeMovie, {"p/x.modd"}},
      {"no files at all", kK2ContentTypeJpeg, {}},
      {"unknown content type", 0x30000001, {"p/y.JPG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HandOver handOver;
    std::vector<XpString> files;
    for (const std::string& file : c.files) {
      files.push_back(WriteFile(file));
    }
    handOver.Add(c.contentType, files);
    handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/ok.JPG")});
    Manager manager(Clock());
    EXPECT_EQ(manager.Start(Config(false), handOver.Document(), nullptr),
              kK2ErrUnsupportedContents);
    uint32_t groups = 0;
    uint32_t count = 0;
    manager.GetCounts(&groups, &count);
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(manager.HasPending());
    EXPECT_EQ(manager.Stop(), kXpOk);
  }
}

TEST_F(K2ExportTaskManager, PreparationFollowsTheSettings) {
  HandOver handOver;
  AddTwoFolders(handOver);
  auto ledger = std::make_shared<ConverterLedger>();
  Manager manager(Clock());
  Observer().SetManager(&manager);
  manager.SetConverterFactory(MakeFakeFactory(ledger, false));
  EXPECT_EQ(manager.Start(Config(true), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
  // Three converted pictures of their sources' sizes and the movie itself.
  const std::vector<Seen> first = Observer().WithCode(Manager::kCodePrepared);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].total, 7000u + 3000u + 2000u + 5000u);
  EXPECT_TRUE(first[0].senderIsBorrowedManager);
  const XpStringVector firstFiles = manager.GetCreatedFiles().Snapshot();
  ASSERT_EQ(firstFiles.size(), 3u);
  for (const XpString& file : firstFiles) {
    EXPECT_TRUE(std::filesystem::exists(file.ToMultiByte().ToStdString()));
  }

  // Another destination only: no new preparation.
  K2ExportConfig otherCamera = Config(true);
  otherCamera.SetDestination(PathOf("cam2"));
  EXPECT_EQ(manager.SetConfig(otherCamera), kXpOk);
  const int64_t sleeps = Clock().Sleeps();
  while (Clock().Sleeps() < sleeps + 20) {
    std::this_thread::yield();
  }
  EXPECT_EQ(Observer().WithCode(Manager::kCodePrepared).size(), 1u);
  EXPECT_EQ(ledger->made.load(), 1);

  // Another size: the first files go, then a new preparation.
  EXPECT_EQ(manager.SetConfig(Config(true, 1)), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared, 2));
  EXPECT_EQ(ledger->made.load(), 2);
  EXPECT_EQ(ledger->leftovers.load(), 0);
  EXPECT_EQ(manager.GetCreatedFiles().Snapshot().size(), 3u);

  // A stop before the release: no end notification, no status, and the
  // task's own files are gone.
  EXPECT_EQ(manager.Stop(), kXpOk);
  (void)manager.WaitUntilFinished();  // only the join matters here
  EXPECT_TRUE(Observer().WithCode(Manager::kCodeTaskEnded).empty());
  EXPECT_EQ(manager.GetStatus(), kNoStatus);
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_TRUE(manager.GetCreatedFiles().Snapshot().empty());
  for (const char* source : {"p/A/z.JPG", "p/B/x2.JPG", "p/B/x10.JPG", "p/A/m.MPG"}) {
    EXPECT_TRUE(std::filesystem::exists(Root() / source)) << source;
  }
}

TEST_F(K2ExportTaskManager, TheUsersOwnTemporaryLookingFilesStay) {
  // In the temporary folder itself, and in one whose name differs only in
  // case.
  const std::filesystem::path files[] = {TempFolder() / "own.JPG.tmp",
                                         Root() / "TMP" / "own.JPG.tmp"};
  for (const std::filesystem::path& file : files) {
    SCOPED_TRACE(file.string());
    WriteBytes(file, "mine");
    HandOver handOver;
    handOver.Add(kK2ContentTypeJpeg, {XpString::FromUtf8(file.string())});
    Manager manager(Clock());
    EXPECT_EQ(manager.Start(Config(false), handOver.Document(), nullptr), kXpOk);
    ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
    Observer().Clear();
    EXPECT_EQ(manager.Stop(), kXpOk);
    EXPECT_EQ(manager.WaitUntilFinished(), kXpOk);
    EXPECT_TRUE(std::filesystem::exists(file));
  }
}

TEST_F(K2ExportTaskManager, TemporaryFolderDifferingInCaseIsAnotherFolder) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/a.JPG")});
  std::filesystem::create_directories(Root() / "TMP");
  auto ledger = std::make_shared<ConverterLedger>();
  Manager manager(Clock());
  manager.SetConverterFactory(MakeFakeFactory(ledger, false));
  EXPECT_EQ(manager.Start(Config(true), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
  K2ExportConfig otherFolder = Config(true);
  otherFolder.SetTempDir(PathOf("TMP"));
  EXPECT_EQ(manager.SetConfig(otherFolder), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared, 2));
  EXPECT_EQ(ledger->made.load(), 2);
  EXPECT_TRUE(TempFiles().empty());
  const std::vector<std::filesystem::path> converted = FilesBelow(Root() / "TMP");
  ASSERT_EQ(converted.size(), 1u);
  EXPECT_EQ(converted[0].filename(), "a.JPG.tmp");
  EXPECT_EQ(manager.Stop(), kXpOk);
  (void)manager.WaitUntilFinished();  // only the join matters here
  EXPECT_TRUE(std::filesystem::is_empty(Root() / "TMP"));
  EXPECT_TRUE(std::filesystem::exists(Root() / "p/a.JPG"));
}

TEST_F(K2ExportTaskManager, ConverterSwapsRaceWithSettingChanges) {
  HandOver handOver;
  for (int index = 0; index < 8; ++index) {
    handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/" + std::to_string(index) + ".JPG")});
  }
  auto ledger = std::make_shared<ConverterLedger>();
  {
    Manager manager(Clock());
    manager.SetConverterFactory(MakeFakeFactory(ledger, true));
    EXPECT_EQ(manager.Start(Config(true), handOver.Document(), nullptr), kXpOk);
    ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
    for (int change = 1; change <= 200; ++change) {
      EXPECT_EQ(manager.SetConfig(Config(true, static_cast<uint32_t>(change % 2))), kXpOk);
      if (change % 16 == 0) {
        std::this_thread::yield();
      }
    }
    // The last size differs from the first: one more preparation follows.
    EXPECT_EQ(manager.SetConfig(Config(true, 1)), kXpOk);
    ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared, 2));
    EXPECT_EQ(manager.Stop(), kXpOk);
    (void)manager.WaitUntilFinished();  // only the join matters here
    EXPECT_TRUE(TempFiles().empty());
  }
  EXPECT_GE(ledger->made.load(), 2);
  EXPECT_EQ(ledger->destroyed.load(), ledger->made.load());
  EXPECT_EQ(ledger->callsOnDead.load(), 0);
}

// Holds the second conversion at its start until released, so a test can
// change the settings while a preparation converts.
class GatedConverter : public IK2ExportConverter {
 public:
  struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    int calls = 0;
    bool entered = false;
    bool released = false;
  };

  GatedConverter(std::shared_ptr<IK2ExportConverter> inner, std::shared_ptr<Gate> gate)
      : inner_(std::move(inner)), gate_(std::move(gate)) {}

  XpResult Stop() override { return inner_->Stop(); }
  XpResult Pause() override { return inner_->Pause(); }
  XpResult Resume() override { return inner_->Resume(); }
  XpResult ConvertAll() override {
    std::unique_lock<std::mutex> hold(gate_->lock);
    if (++gate_->calls == 2) {
      gate_->entered = true;
      gate_->changed.notify_all();
      gate_->changed.wait(hold, [this] { return gate_->released; });
    }
    hold.unlock();
    return inner_->ConvertAll();
  }

 private:
  std::shared_ptr<IK2ExportConverter> inner_;
  std::shared_ptr<Gate> gate_;
};

// A setting changed and changed back while a preparation converts stops
// that conversion; the preparation is made again, and only a whole one is
// reported as prepared.
TEST_F(K2ExportTaskManager, PreparationStoppedByAChangeIsMadeAgainWhenTheSettingComesBack) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/a.JPG")});
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/b.JPG")});
  auto ledger = std::make_shared<ConverterLedger>();
  auto gate = std::make_shared<GatedConverter::Gate>();
  const K2ExportConverterFactory fake = MakeFakeFactory(ledger, false);
  Manager manager(Clock());
  manager.SetConverterFactory([fake, gate](XpSharedPtr<K2ExporterWithResizeConfig> config,
                                           std::shared_ptr<K2CreatedFileList> created) {
    return std::make_shared<GatedConverter>(fake(std::move(config), std::move(created)), gate);
  });
  EXPECT_EQ(manager.Start(Config(true, 0), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));

  EXPECT_EQ(manager.SetConfig(Config(true, 1)), kXpOk);
  {
    std::unique_lock<std::mutex> hold(gate->lock);
    ASSERT_TRUE(gate->changed.wait_for(hold, std::chrono::seconds(20), [&] { return gate->entered; }));
  }
  EXPECT_EQ(manager.SetConfig(Config(true, 0)), kXpOk);
  EXPECT_EQ(manager.SetConfig(Config(true, 1)), kXpOk);
  {
    std::lock_guard<std::mutex> hold(gate->lock);
    gate->released = true;
  }
  gate->changed.notify_all();

  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared, 2));
  for (const K2ExportItem& item : manager.GetExportableItems()) {
    EXPECT_TRUE(item.fileToWrite.View().ends_with(u".tmp"))
        << item.fileToWrite.ToMultiByte().ToStdString();
  }
  EXPECT_EQ(gate->calls, 3);
  EXPECT_EQ(manager.Stop(), kXpOk);
  (void)manager.WaitUntilFinished();  // only the join matters here
}

TEST_F(K2ExportTaskManager, RemovedCameraEndsWithAnAnsweredErrorPrompt) {
  MountCamera();
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/a.JPG")});
  BlockingRunManager manager(Clock());
  Observer().SetManager(static_cast<Manager*>(&manager));
  EXPECT_EQ(manager.Start(Config(false), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
  EXPECT_EQ(manager.Interrupt(), kXpOk);
  ASSERT_TRUE(manager.WaitRunning());
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodeRunBegins));

  manager.OnCameraRemoved(true);
  EXPECT_FALSE(manager.IsStopped());
  UnmountCamera();
  manager.OnCameraRemoved(false);
  EXPECT_EQ(manager.GetStatus(), kK2ErrCameraGone);
  EXPECT_TRUE(manager.IsStopped());
  manager.ReleaseRun(kXpErrStopped);
  EXPECT_EQ(manager.WaitUntilFinished(), kK2ErrCameraGone);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodeTaskEnded));

  std::vector<uint32_t> ending;
  for (const Seen& seen : Observer().All()) {
    if (seen.code == kK2ErrCameraGone || seen.code == Manager::kCodeTaskEnded) {
      ending.push_back(seen.code);
      EXPECT_TRUE(seen.senderIsBorrowedManager);
    }
  }
  EXPECT_EQ(ending, (std::vector<uint32_t>{kK2ErrCameraGone, Manager::kCodeTaskEnded}));
  const std::vector<Seen> errors = Observer().WithCode(kK2ErrCameraGone);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].kind, kXfKindError);
  EXPECT_EQ(errors[0].promptStyle, Manager::kErrorPromptStyle);
  EXPECT_EQ(manager.GetStatus(), kK2ErrCameraGone);
}

TEST_F(K2ExportTaskManager, ProgressCallbackPostsAndStops) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/a.JPG")});
  XfViewProgress view;
  BlockingRunManager manager(Clock());
  EXPECT_EQ(manager.Start(Config(false), handOver.Document(), &view), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));

  EXPECT_FALSE(manager.Execute(50.0));
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodeCopyProgress));
  std::vector<Seen> progress = Observer().WithCode(Manager::kCodeCopyProgress);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].kind, kXfKindProgress);
  EXPECT_EQ(progress[0].value, 50u);

  EXPECT_FALSE(manager.Execute(100.0));
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodeCopyProgress, 3));
  progress = Observer().WithCode(Manager::kCodeCopyProgress);
  ASSERT_EQ(progress.size(), 3u);
  size_t internal = 0;
  for (const Seen& seen : progress) {
    internal += seen.kind == kXfKindInternal ? 1 : 0;
  }
  EXPECT_EQ(internal, 1u);

  view.SetStopFlag(true);
  EXPECT_TRUE(manager.Execute(10.0));
  EXPECT_EQ(manager.Stop(), kXpOk);
  (void)manager.WaitUntilFinished();  // only the join matters here
}

TEST_F(K2ExportTaskManager, MissingSourceCountsAsEmpty) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {PathOf("p/gone.JPG")});
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/here.JPG", std::string(10000, 'h'))});
  Manager manager(Clock());
  EXPECT_EQ(manager.Start(Config(false), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
  EXPECT_EQ(manager.GetRequiredBytes(), 32768u);
  EXPECT_EQ(manager.GetFileSizes(), (std::vector<int64_t>{0, 10000}));
  const std::vector<XfProgressStep> steps = manager.GetProgressSteps();
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].weight, 4096.0);
  EXPECT_EQ(steps[1].weight, 10000.0);
  EXPECT_EQ(steps[0].progressCode, Manager::kStepCode);
  EXPECT_EQ(Observer().WithCode(Manager::kCodePrepared)[0].total, 10000u);
  EXPECT_EQ(manager.Stop(), kXpOk);
}

TEST_F(K2ExportTaskManager, FailedPreparationSurfacesAfterTheRelease) {
  MountCamera();
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {WriteFile("p/a.JPG")});
  Manager manager(Clock());
  manager.SetConverterFactory(
      [](XpSharedPtr<K2ExporterWithResizeConfig>, std::shared_ptr<K2CreatedFileList>) {
        struct Failing : IK2ExportConverter {
          XpResult Stop() override { return kXpOk; }
          XpResult Pause() override { return kXpOk; }
          XpResult Resume() override { return kXpOk; }
          XpResult ConvertAll() override { return kXpErrDiskFull; }
        };
        return std::make_shared<Failing>();
      });
  EXPECT_EQ(manager.Start(Config(true), handOver.Document(), nullptr), kXpOk);
  EXPECT_EQ(manager.GetStatus(), kNoStatus);
  EXPECT_EQ(manager.Interrupt(), kXpOk);
  EXPECT_EQ(manager.WaitUntilFinished(), kK2ErrPcDiskFull);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodeTaskEnded));
  EXPECT_EQ(manager.GetStatus(), kK2ErrPcDiskFull);
  EXPECT_EQ(Observer().WithCode(kK2ErrPcDiskFull).size(), 1u);
  EXPECT_EQ(Observer().WithCode(Manager::kCodeTaskEnded).size(), 1u);
}

TEST_F(K2ExportTaskManager, ContentWithoutDateTakesTheFileDate) {
  const XpString path = WriteFile("p/a.JPG", "not really a picture");
  SetModified(Root() / "p/a.JPG", 1678881600);  // 2023-03-15 12:00 UTC
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {path});
  Manager manager(Clock());
  EXPECT_EQ(manager.Start(Config(false), handOver.Document(), nullptr), kXpOk);
  const K2ExportItemVector items = manager.GetExportableItems();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].shootingDate.IsValid());
  EXPECT_DOUBLE_EQ(items[0].shootingDate.GetValue(), 45000.5);
  EXPECT_EQ(manager.Stop(), kXpOk);
}

}  // namespace
}  // namespace task_test
