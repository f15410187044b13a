#include "accessor/dialogs/DlgExportConfirm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "accessor/settings/K2ExportConfig.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/strings/XfStringsManager.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/registry/XpRegistry.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/testsupport/FakeMountTableSource.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMaker = 0x1F3A;
constexpr uint16_t kCameraProduct = 0x0259;
constexpr uint16_t kStickVendor = 0x0781;
constexpr uint16_t kStickProduct = 0x5567;
constexpr auto kCallbackLimit = std::chrono::seconds(10);

// Records what the dialog asks of the export task.
class RecordingTask : public IK2ExportConfirmTask {
 public:
  XpResult SetConfig(const K2ExportConfig& config) override {
    std::lock_guard<std::mutex> lock(mutex_);
    configs_.push_back(config);
    return kXpOk;
  }
  void OnCameraRemoved(bool arrived) override {
    std::lock_guard<std::mutex> lock(mutex_);
    removals_.push_back(arrived);
    changed_.notify_all();
  }
  std::vector<K2ExportConfig> Configs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return configs_;
  }
  std::vector<bool> Removals() {
    std::lock_guard<std::mutex> lock(mutex_);
    return removals_;
  }
  bool WaitForRemovals(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kCallbackLimit, [&] { return removals_.size() >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<K2ExportConfig> configs_;
  std::vector<bool> removals_;
};

// The dialog with hooks for the test: a function run before each command,
// the size text seen at each tick, the timer's next due time after each
// command, and a count of the volume callbacks that have finished.
class ObservedConfirm : public ::DlgExportConfirm {
 public:
  using ::DlgExportConfirm::DlgExportConfirm;
  ~ObservedConfirm() override { StopVolumeWatch(); }

  void OnCommand(int32_t id) override {
    if (beforeCommand) beforeCommand(id);
    ::DlgExportConfirm::OnCommand(id);
    if (Host() != nullptr) {
      const std::optional<int64_t> due = Host()->Timers().NextDue();
      dueAfterCommand.push_back(due ? *due - Host()->NowMs() : -1);
    }
  }
  void OnTimer(uint32_t id) override {
    if (id == kTimerId) sizeAtTick.push_back(Model().Text(kSizeId).ToMultiByte().ToStdString());
    ::DlgExportConfirm::OnTimer(id);
  }
  void OnVolumeArrived(const XpString& root) override {
    ::DlgExportConfirm::OnVolumeArrived(root);
    Count();
  }
  void OnVolumeRemoved(const XpString& root) override {
    ::DlgExportConfirm::OnVolumeRemoved(root);
    Count();
  }
  bool WaitForCallbacks(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return heard_.wait_for(lock, kCallbackLimit, [&] { return callbacks_ >= count; });
  }
  size_t Callbacks() {
    std::lock_guard<std::mutex> lock(mutex_);
    return callbacks_;
  }

  std::function<void(int32_t)> beforeCommand;
  std::vector<std::string> sizeAtTick;
  std::vector<int64_t> dueAfterCommand;

 private:
  void Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++callbacks_;
    heard_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable heard_;
  size_t callbacks_ = 0;
};

// A 32-bit bitmap file whose pixels are all transparent.
std::vector<uint8_t> TransparentBitmap(int32_t width, int32_t height) {
  constexpr size_t kOffset = 54;
  std::vector<uint8_t> bytes(kOffset +
                             static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  auto put32 = [&](size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(10, static_cast<uint32_t>(kOffset));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bytes[26] = 1;
  bytes[28] = 32;
  return bytes;
}

class DlgExportConfirm : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    XpSharedPtr<XfStringsManager> manager(new XfStringsManager());
    ASSERT_EQ(manager->Load(XpStringA(KAVO_ACCESSOR_TEST_STRINGS).ToWide()), kXpOk);
    ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
    XpRegistry key;
    ASSERT_EQ(key.Open(K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine,
                       XpRegistry::kAccessWrite),
              kXpOk);
    ASSERT_EQ(key.SetString(K2ExportConfig::kVersionValue, u"1.0"), kXpOk);
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    config_.SetTempDir(XpString::FromUtf8(Dir("work").string()));
    config_.SetChangeImageFileSize(true);
    config_.SetImageFileSize(0);
  }
  void TearDown() override {
    dialog_.reset();
    host_.reset();
    EXPECT_EQ(XfSetStringsManagers({}), kXpOk);
    testsupport::HermeticTest::TearDown();
  }

  // Mounts a supported camera (or, with camera false, a USB stick) at
  // $T/name; returns its root with '/'.
  std::string Mount(const std::string& name, bool camera = true) {
    testsupport::FakeVolume volume;
    volume.mountPoint = (Root() / name).string();
    volume.vendorId = camera ? kMaker : kStickVendor;
    volume.productId = camera ? kCameraProduct : kStickProduct;
    volume.serial = "0123456789AB";
    fake_->AddVolume(volume);
    return volume.mountPoint + "/";
  }
  void Unmount(const std::string& name) { fake_->RemoveMount((Root() / name).string()); }
  // Tells the watch that the table changed; waits until it has read it.
  void Nudge() { ASSERT_TRUE(control_->Nudge()); }

  ObservedConfirm& MakeDialog() {
    dialog_ = std::make_unique<ObservedConfirm>(
        task_, std::make_unique<testsupport::FakeMountTableSource>(control_));
    dialog_->StartObserving();
    dialog_->SetQuietPeriodForTest(1);
    dialog_->SetExportConfig(&config_);
    // Item names in the strings file cannot hold '/', so the test title
    // names its own item.
    dialog_->SetTitle(u"Export");
    dialog_->SetGroupCount(3);
    dialog_->SetItemCount(42);
    dialog_->SetResources(&resources_);
    return *dialog_;
  }

  // Runs presenter (by default the dialog) with script.
  int32_t Run(const std::string& script, XfDialogPresenter* presenter = nullptr) {
    lines_->clear();
    host_ = ui_test::MakeScriptedHost(script, lines_);
    const int32_t code = host_->RunModal(presenter != nullptr ? *presenter : *dialog_);
    EXPECT_FALSE(host_->HasFailed()) << Transcript();
    return code;
  }

  const std::vector<std::string>& Lines() const { return *lines_; }
  std::vector<std::string> Boxes() const { return ui_test::LinesStartingWith(*lines_, "box \""); }
  std::string Transcript() const {
    std::string all;
    for (const std::string& line : *lines_) all += line + "\n";
    return all;
  }
  std::string SizeText() const {
    return dialog_->Model().Text(::DlgExportConfirm::kSizeId).ToMultiByte().ToStdString();
  }

  RecordingTask task_;
  K2ExportConfig config_;
  XpResourceModule resources_;
  std::shared_ptr<testsupport::FakeMountTableControl> control_ =
      std::make_shared<testsupport::FakeMountTableControl>();
  std::unique_ptr<testsupport::FakeSysfs> fake_;
  std::unique_ptr<XfUiHost> host_;
  std::unique_ptr<ObservedConfirm> dialog_;

 private:
  ui_test::Lines lines_ = std::make_shared<std::vector<std::string>>();
};

TEST_F(DlgExportConfirm, ShowsTheTextsAndTheCounts) {
  MakeDialog();
  ASSERT_EQ(Run("form 157 press 2\n"), kXfIdCancel);
  const XfDialogModel& model = dialog_->Model();
  EXPECT_EQ(model.Title().ToMultiByte().ToStdString(), "[UI/ExportConfirm/0-0]");
  struct Case {
    int32_t id;
    const char* text;
  } const cases[] = {{1012, "[UI/ExportConfirm/1-0]"}, {1, "[UI/ExportConfirm/1-1]"},
                     {2, "[UI/ExportConfirm/1-2]"},    {1005, "[UI/ExportConfirm/6-0]"},
                     {1004, "[UI/ExportConfirm/8-0]"}, {1008, "[UI/ExportConfirm/8-1]"},
                     {1006, "[UI/ExportConfirm/8-2]"}, {1010, "[UI/ExportConfirm/8-3]"},
                     {1007, "3"},                      {1009, "42"},
                     {1011, "[Strings/Calculating]"},  {1031, "[UI/CommonConfirm/8-0]"}};
  for (const Case& c : cases) {
    EXPECT_EQ(model.Text(c.id).ToMultiByte().ToStdString(), c.text) << c.id;
  }
  EXPECT_TRUE(dialog_->IsConfirmation());
}

TEST_F(DlgExportConfirm, OkNeedsACameraAndConfirmsTheOneThatArrived) {
  ObservedConfirm& dialog = MakeDialog();
  std::string camera;
  int oks = 0;
  dialog.beforeCommand = [&](int32_t id) {
    if (id != kXfIdOk || ++oks != 2) return;
    camera = Mount("cam");
    Nudge();
    ASSERT_TRUE(dialog.WaitForCallbacks(1));
  };
  ASSERT_EQ(Run("form 157 press 1\n"
                "box \"[Messages/Warnings/DoNotConnectCamera]\" press ok\n"
                "form 157 press 1\n"),
            kXfIdOk);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("style 0x30"), std::string::npos) << Boxes()[0];
  EXPECT_EQ(dialog.GetDestination().ToMultiByte().ToStdString(), camera);
  EXPECT_EQ(camera, (Root() / "cam").string() + "/");
  const std::vector<K2ExportConfig> configs = task_.Configs();
  ASSERT_EQ(configs.size(), 1u);
  EXPECT_EQ(configs[0].GetDestination().ToMultiByte().ToStdString(), camera);
  EXPECT_EQ(config_.GetDestination().ToMultiByte().ToStdString(), camera);
}

TEST_F(DlgExportConfirm, SeveralCamerasShowTheTextNamedByTheTitle) {
  struct Case {
    const char16_t* title;
    const char* text;
  } const cases[] = {{nullptr, "[FoundSomeConnectedCameras/Export]"},
                     {u"A title without its own text", "[FoundSomeConnectedCameras/Other]"}};
  Mount("cam1");
  Mount("cam2");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MakeDialog();
    if (c.title != nullptr) dialog_->SetTitle(c.title);
    ASSERT_EQ(
        Run(std::string("form 157 press 1\nbox \"") + c.text + "\" press ok\nform 157 press 2\n"),
        kXfIdCancel);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].find("style 0x30"), std::string::npos) << Boxes()[0];
    EXPECT_TRUE(task_.Configs().empty());
    EXPECT_TRUE(dialog_->GetDestination().IsEmpty());
  }
}

TEST_F(DlgExportConfirm, TheSizeIsShownOnceOnTheTickAfterItArrives) {
  ObservedConfirm& dialog = MakeDialog();
  std::thread poster([&] { dialog.SetRequiredBytes(5000000, 0); });
  poster.join();
  ASSERT_EQ(Run("wait 3500\nform 157 press 2\n"), kXfIdCancel);
  ASSERT_GE(dialog.sizeAtTick.size(), 3u);
  EXPECT_EQ(dialog.sizeAtTick[0], "[Strings/Calculating]");
  EXPECT_EQ(dialog.sizeAtTick[1], "4.76 MB");
  EXPECT_EQ(dialog.sizeAtTick[2], "4.76 MB");
  size_t shown = 0;
  for (const std::string& line : ui_test::LinesStartingWith(Lines(), "form 157 item 1011 ")) {
    shown += line.find("4.76 MB") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(shown, 1u) << Transcript();
  EXPECT_EQ(SizeText(), "4.76 MB");
}

TEST_F(DlgExportConfirm, SettingsPrepareAgainOnlyWhenTheyChangeWhatIsPrepared) {
  struct Case {
    const char* name;
    const char* settingsStep;
    size_t configs;
    const char* size;
    int64_t dueAfterSettings;
  } const cases[] = {
      {"unchanged", "form 158 press 1\n", 0, "4.76 MB", 500},
      {"size changed", "form 158 click 1023 press 1\n", 1, "[Strings/Calculating]", 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = task_.Configs().size();
    config_.SetImageFileSize(0);
    ObservedConfirm& dialog = MakeDialog();
    dialog.SetRequiredBytes(5000000, 0);
    ASSERT_EQ(Run(std::string("wait 1500\nform 157 press 1012\n") + c.settingsStep +
                  "form 157 press 2\n"),
              kXfIdCancel);
    EXPECT_EQ(SizeText(), c.size);
    const std::vector<K2ExportConfig> configs = task_.Configs();
    ASSERT_EQ(configs.size() - before, c.configs);
    if (c.configs != 0) {
      EXPECT_EQ(configs.back().GetImageFileSize(), 1u);
    }
    ASSERT_GE(dialog.dueAfterCommand.size(), 1u);
    EXPECT_EQ(dialog.dueAfterCommand[0], c.dueAfterSettings);
  }
}

TEST_F(DlgExportConfirm, AfterOkOnlyTheDestinationsRemovalStopsTheTask) {
  const std::string camera = Mount("cam");
  Mount("stick", false);
  ObservedConfirm& dialog = MakeDialog();
  ASSERT_EQ(Run("form 157 press 1\n"), kXfIdOk);
  ASSERT_EQ(dialog.GetDestination().ToMultiByte().ToStdString(), camera);

  Unmount("stick");
  Nudge();
  ASSERT_TRUE(dialog.WaitForCallbacks(1));
  EXPECT_TRUE(task_.Removals().empty());

  Unmount("cam");
  Nudge();
  ASSERT_TRUE(dialog.WaitForCallbacks(2));
  EXPECT_EQ(task_.Removals(), std::vector<bool>{false});
}

TEST_F(DlgExportConfirm, ARemovalWhileOpenOnlyCollectsAgain) {
  Mount("cam1");
  Mount("cam2");
  ObservedConfirm& dialog = MakeDialog();
  int oks = 0;
  dialog.beforeCommand = [&](int32_t id) {
    if (id != kXfIdOk || ++oks != 2) return;
    Unmount("cam2");
    Nudge();
    ASSERT_TRUE(dialog.WaitForCallbacks(1));
  };
  ASSERT_EQ(Run("form 157 press 1\n"
                "box \"[FoundSomeConnectedCameras/Export]\" press ok\n"
                "form 157 press 1\n"),
            kXfIdOk);
  EXPECT_TRUE(task_.Removals().empty());
  EXPECT_EQ(dialog.GetDestination().ToMultiByte().ToStdString(), (Root() / "cam1").string() + "/");
}

TEST_F(DlgExportConfirm, CancelStopsTheWatch) {
  Mount("cam");
  MakeDialog();
  ASSERT_EQ(Run("form 157 press 2\n"), kXfIdCancel);
  std::lock_guard<std::mutex> lock(control_->mutex);
  EXPECT_TRUE(control_->interrupted);
  EXPECT_TRUE(task_.Configs().empty());
}

TEST_F(DlgExportConfirm, ThePictureIsBlendedOnTheButtonFaceAndAgainWhenItChanges) {
  {
    SCOPED_TRACE("no bitmap in the bundle");
    MakeDialog();
    ASSERT_EQ(Run("form 157 press 2\n"), kXfIdCancel);
    EXPECT_FALSE(dialog_->Model().Find(::DlgExportConfirm::kPictureId)->Picture());
  }
  resources_.AddBitmap(::DlgExportConfirm::kPictureBitmapId, TransparentBitmap(5, 3));
  ObservedConfirm& dialog = MakeDialog();
  const XfColour changed = XfRgb(1, 2, 3);
  XpSharedPtr<IXfPicture> first;
  dialog.beforeCommand = [&](int32_t id) {
    if (id != kXfIdOk) return;
    first = dialog.Model().Find(::DlgExportConfirm::kPictureId)->Picture();
    EXPECT_EQ(dialog.GetPictureFace(), host_->Theme().GetSysColor(kXfColourButtonFace));
    host_->Theme().SetSysColor(kXfColourButtonFace, changed);
  };
  ASSERT_EQ(Run("form 157 press 1\nbox * press ok\nform 157 press 2\n"), kXfIdCancel);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Size(), (XfUiSize{5, 3}));
  const XfDialogItem& item = *dialog.Model().Find(::DlgExportConfirm::kPictureId);
  EXPECT_EQ(dialog.GetPictureFace(), changed);
  ASSERT_TRUE(item.Picture());
  EXPECT_NE(item.Picture().Get(), first.Get());
  EXPECT_EQ(item.PictureArea(), (XfUiSize{5, 3}));
}

TEST_F(DlgExportConfirm, CallbacksRacingOkAndTheSettingsSeeAWholeList) {
  Mount("cam1");
  Mount("cam2");
  ObservedConfirm& dialog = MakeDialog();
  constexpr int kEvents = 500;
  constexpr int kPresses = 20;
  std::atomic<int> done{0};
  std::atomic<bool> stop{false};
  // Each OK waits until the watch's thread is further on, so that the
  // presses are spread over all of its events.
  int oks = 0;
  dialog.beforeCommand = [&](int32_t id) {
    if (id != kXfIdOk) return;
    const int target = ++oks * kEvents / kPresses - kEvents / kPresses / 2;
    while (done.load() < target) std::this_thread::yield();
  };
  std::thread watchThread([&] {
    for (int i = 0; i < kEvents; ++i) {
      // Every tenth event really changes the list; each one swaps it.
      const XpString root = XpString::FromUtf8((Root() / "cam3").string() + "/");
      if (i % 2 == 0) {
        if (i % 10 == 0) Mount("cam3");
        dialog.OnVolumeArrived(root);
      } else {
        if (i % 10 == 5) Unmount("cam3");
        dialog.OnVolumeRemoved(root);
      }
      dialog.SetRequiredBytes(static_cast<uint32_t>(i), 0);
      done.store(i + 1);
    }
    stop.store(true);
  });
  std::string script;
  for (int i = 0; i < kPresses; ++i) {
    script += "form 157 press 1\nbox \"[FoundSomeConnectedCameras/Export]\" press ok\n";
    script += "form 157 press 1012\nform 158 press 2\n";
  }
  script += "form 157 press 2\n";
  EXPECT_EQ(Run(script), kXfIdCancel);
  watchThread.join();
  EXPECT_TRUE(stop.load());
  EXPECT_EQ(dialog.Callbacks(), static_cast<size_t>(kEvents));
  EXPECT_TRUE(task_.Removals().empty());
  // The last event left cam3 unmounted.
  EXPECT_EQ(dialog.GetCameras().size(), 2u);
}

TEST_F(DlgExportConfirm, DestroyingTheDialogWaitsForTheWatchsCallbacks) {
  Mount("cam");
  // The dialog itself, so that only its own teardown guards its parts.
  auto dialog = std::make_unique<::DlgExportConfirm>(
      task_, std::make_unique<testsupport::FakeMountTableSource>(control_));
  dialog->SetQuietPeriodForTest(1);
  dialog->SetExportConfig(&config_);
  ASSERT_EQ(Run("form 157 press 1\n", dialog.get()), kXfIdOk);
  std::atomic<bool> stop{false};
  std::thread flapper([&] {
    for (int i = 0; !stop.load(); ++i) {
      if (i % 2 == 0) {
        Unmount("cam");
      } else {
        Mount("cam");
      }
      (void)control_->Nudge(std::chrono::milliseconds(50));
    }
  });
  EXPECT_TRUE(task_.WaitForRemovals(2));
  dialog.reset();
  stop.store(true);
  flapper.join();
  for (const bool arrived : task_.Removals()) {
    EXPECT_FALSE(arrived);
  }
}

}  // namespace
