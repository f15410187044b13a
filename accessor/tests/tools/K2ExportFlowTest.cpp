#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/app/ExclusionChecker.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/tests/task/FakeXdbAccessor.h"
#include "accessor/tests/tools/ExportFixture.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbReader.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/backend/XfUiAutomaticBackend.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/FakeMountTableSource.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/MediumWaits.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using namespace export_fixture;
using task_test::FakeXdbAccessor;
using task_test::XdbLedger;

constexpr double kDay = 45000.5;
constexpr auto kPauseLimit = std::chrono::seconds(20);
constexpr const char* kConfirm =
    "option clock real\n"
    "option timeout 30000\n"
    "form 157 when 1011 != \"[Strings/Calculating]\" press 1\n";

// The application's task manager with a hook on the first copy that reaches
// 100 %, and a record of the stop question's pause.
class FlowTaskManager : public K2ExportTaskManager {
 public:
  ~FlowTaskManager() override {
    EXPECT_EQ(Stop(), kXpOk);
    (void)WaitUntilFinished();  // only the join matters here
  }

  std::function<void()> onFirstFullCopy;
  // The first copy waits, up to a limit, until the progress window pauses
  // the task to ask whether to stop.
  bool holdFirstCopyUntilPaused = false;

  // Only the copies of the released task count: the preparation reports
  // progress too.
  bool Execute(double percent) override {
    if (!IsInterrupted()) {
      return K2ExportTaskManager::Execute(percent);
    }
    if (!started_.exchange(true) && holdFirstCopyUntilPaused) {
      std::unique_lock<std::mutex> lock(mutex_);
      pausedSeen_.wait_for(lock, kPauseLimit, [this] { return paused_; });
    }
    if (percent >= 100.0 && !fired_.exchange(true) && onFirstFullCopy) {
      onFirstFullCopy();
    }
    return K2ExportTaskManager::Execute(percent);
  }

  XpResult Pause() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      paused_ = true;
    }
    pausedSeen_.notify_all();
    return K2ExportTaskManager::Pause();
  }

 private:
  std::atomic<bool> started_{false};
  std::atomic<bool> fired_{false};
  std::mutex mutex_;
  std::condition_variable pausedSeen_;
  bool paused_ = false;
};

// The program's process object over the test's task manager and mount
// table, with standard error kept.
class FlowApp : public CK2AccessorWinApp {
 public:
  FlowApp(XfUiHost& host, const XpString& folder, FlowTaskManager& manager,
          std::shared_ptr<testsupport::FakeMountTableControl> control)
      : CK2AccessorWinApp(host, folder), manager_(manager), control_(std::move(control)) {
    SetRequiredFiles({});
  }

  std::vector<std::string> errorLines;

 protected:
  K2ExportTaskManager& GetExportTaskManager() override { return manager_; }
  std::unique_ptr<IXpMountTableSource> CreateMountTableSource() override {
    return std::make_unique<testsupport::FakeMountTableSource>(control_);
  }
  ExportResult ExportFlow(const K2AccessorCommandLineInfo& commandLine) override {
    const ExportResult result = CK2AccessorWinApp::ExportFlow(commandLine);
    // The worker posts to the application: it ends before the application.
    (void)manager_.WaitUntilFinished();  // only the join matters here
    return result;
  }
  void WriteErrorLine(const std::string& line) override { errorLines.push_back(line); }

 private:
  FlowTaskManager& manager_;
  std::shared_ptr<testsupport::FakeMountTableControl> control_;
};

class K2ExportFlow : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    program_ = Dir("program");
    // All three strings files: a missing one is reported by a notification
    // that would race with the dialogs' observers.
    for (const char* name : {"Strings.xml", "PreviousBrowserStrings.xml", "PreviousCommonStrings.xml"}) {
      fs::copy_file(KAVO_ACCESSOR_TEST_STRINGS, program_ / name);
    }
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    WriteRegistry(Root() / "tmp", false);
    pc_ = Root() / "pc";
    WritePicture(pc_ / "A" / "one.JPG", 32, 24, "2023:03:15 12:00:00");
    WritePicture(pc_ / "A" / "two.JPG", 32, 24, "2023:03:15 12:00:00");
    WriteBytes(pc_ / "A" / "X.TIF", std::string("II*\0\x08\0\0\0", 8));
    MakeCamera(*fake_, Cam(), 1);
    ledger_ = std::make_shared<XdbLedger>();
    NewManager();
  }

  // A task manager starts once: each run gets one of its own.
  void NewManager() {
    app_.reset();
    host_.reset();
    manager_ = std::make_unique<FlowTaskManager>();
    manager_->SetXdbAccessorFactory([ledger = ledger_](XdbAccessor::IXdbAccessor** out, const XpString&) {
      *out = new FakeXdbAccessor(ledger);
      return kXpOk;
    });
  }

  void TearDown() override {
    app_.reset();
    host_.reset();
    XfSetStringsSource(XpSharedPtr<IXfStringsSource>());
    HermeticTest::TearDown();
  }

  fs::path Cam() const { return Root() / "cam"; }
  fs::path HandOver() const { return Root() / "h.xml"; }

  HandOverContent Picture(const char* name) const { return {{pc_ / "A" / name}, kPictureType, kDay, {}}; }
  HandOverContent Tiff() const { return {{pc_ / "A" / "X.TIF"}, kTiffType, -1.0, {}}; }

  // Runs the program's start-up on the hand-over file with the script;
  // the exit status.
  int Run(const std::string& script) {
    host_ = ui_test::MakeScriptedHost(script, lines_);
    app_ = std::make_unique<FlowApp>(*host_, XpString::FromUtf8(program_.string()) + u"/",
                                     *manager_, control_);
    const std::string file = HandOver().string();
    const char* argv[] = {"TLVK2Accessor", "-export", file.c_str()};
    return app_->Run(3, argv);
  }

  // The contents of the camera's album database.
  size_t ListedOnTheCard() const {
    XdbAccessor::IXdbReader* reader = nullptr;
    if (XdbAccessor::CreateXdbReader(&reader, XpString::FromUtf8(Cam().string()) + u"/") != kXpOk ||
        reader == nullptr) {
      return 0;
    }
    std::unique_ptr<XdbAccessor::IContentList> contents(reader->GetAllContents());
    const size_t count = contents ? static_cast<size_t>(contents->GetCount()) : 0;
    contents.reset();
    reader->Release();
    return count;
  }

  std::vector<std::string> Boxes() const { return ui_test::LinesStartingWith(*lines_, "box \""); }
  std::vector<std::string> Shown(const std::string& form) const {
    return ui_test::LinesStartingWith(*lines_, "form " + form + " show");
  }
  std::string Transcript() const {
    std::string text;
    for (const std::string& line : *lines_) text += line + "\n";
    return text;
  }

  fs::path program_;
  fs::path pc_;
  std::unique_ptr<testsupport::FakeSysfs> fake_;
  std::shared_ptr<testsupport::FakeMountTableControl> control_ = std::make_shared<testsupport::FakeMountTableControl>();
  std::shared_ptr<XdbLedger> ledger_;
  testsupport::FaultInjection faults_;
  ui_test::Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<XfUiHost> host_;
  std::unique_ptr<FlowApp> app_;
  // After the app, so that it goes first.
  std::unique_ptr<FlowTaskManager> manager_;
};

TEST_F(K2ExportFlow, TwoThousandPicturesOpenTheDialogAndOneMoreIsRefused) {
  WriteHandOver(HandOver(), std::vector<HandOverContent>(CK2AccessorWinApp::kMaxExportItems, Picture("one.JPG")));
  EXPECT_EQ(Run("form 157 press 2\n"), 2) << Transcript();
  EXPECT_THAT(Shown("157"), ::testing::SizeIs(1));
  EXPECT_THAT(Boxes(), ::testing::IsEmpty());
}

TEST_F(K2ExportFlow, MoreThanTwoThousandPicturesGiveTheLimitBoxAndStopTheTask) {
  WriteHandOver(HandOver(), std::vector<HandOverContent>(CK2AccessorWinApp::kMaxExportItems + 1, Picture("one.JPG")));
  EXPECT_EQ(Run("box * press ok\n"), 1) << Transcript();
  EXPECT_THAT(Boxes(), ::testing::ElementsAre(HasSubstr(
                           "\"[Messages/Errors/CannotWriteMoreThanLimitedNumber] 2000\" style 0x30")));
  EXPECT_THAT(Shown("157"), ::testing::IsEmpty());
  EXPECT_TRUE(manager_->IsStopped());
}

TEST_F(K2ExportFlow, LeftOutContentsAreToldBeforeTheDialogAndOnlyLeftOutOnesEndIt) {
  WriteHandOver(HandOver(), {Picture("one.JPG"), Tiff()});
  EXPECT_EQ(Run("box * press ok\nform 157 press 2\n"), 2) << Transcript();
  EXPECT_THAT(Boxes(), ::testing::ElementsAre(AllOf(
                           HasSubstr("\"[UI/ExportConfirm/0-0]\" \"[Messages/Informations/IncludingNoSupportImages]\""),
                           HasSubstr("style 0x0 "))));
  EXPECT_THAT(Shown("157"), ::testing::SizeIs(1));
}

TEST_F(K2ExportFlow, OnlyLeftOutContentsGiveOnlySupportImages) {
  WriteHandOver(HandOver(), {Tiff()});
  EXPECT_EQ(Run("box * press ok\n"), 1) << Transcript();
  EXPECT_THAT(Boxes(), ::testing::ElementsAre(AllOf(HasSubstr("\"[Messages/Errors/OnlySupportImages]\""),
                                                    HasSubstr("style 0x0 "))));
  EXPECT_THAT(Shown("157"), ::testing::IsEmpty());
  EXPECT_TRUE(manager_->IsStopped());
}

TEST_F(K2ExportFlow, EachEndGivesItsFinalBoxAndExitStatus) {
  struct Case {
    const char* name;
    std::string script;
    // Set up on the flow's task manager before the run.
    std::function<void()> arrange;
    // The last box, or "" for none after the confirmation.
    const char* lastBox;
    int status;
  };
  const std::vector<Case> cases = {
      {"completed", std::string(kConfirm) + "box \"ExportCompleted\" press ok\n", nullptr,
       "\"[UI/ExportProgress/0-0]\" \"[Messages/Informations/ExportCompleted]\" style 0x40", 0},
      {"a skipped file", std::string(kConfirm) + "box \"ExportFailed\" press ok\n",
       // After the first copy nothing more can be written; the camera stays.
       [this] {
         const std::string folder = (Cam() / "DCIM" / "100ABCDE").string();
         manager_->onFirstFullCopy = [this, folder] {
           faults_.Add(testsupport::Fault(testsupport::SysCall::kOpen, folder).Errno(EACCES).ForWriting());
         };
       },
       "\"[UI/ExportProgress/0-0]\" \"[Messages/Informations/ExportFailed]\" style 0x40", 1},
      {"stopped", std::string(kConfirm) + "form 132 press 2\nbox * press yes\n",
       [this] { manager_->holdFirstCopyUntilPaused = true; }, "", 2},
      {"the confirmation cancelled", "option clock real\nform 157 press 2\n", nullptr, "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewManager();
    WritePicture(pc_ / "A" / "two.JPG", 32, 24, "2023:03:15 12:00:00");
    WriteHandOver(HandOver(), {Picture("one.JPG"), Picture("two.JPG")});
    lines_->clear();
    if (c.arrange) c.arrange();

    EXPECT_EQ(Run(c.script), c.status) << Transcript();

    const std::vector<std::string> boxes = Boxes();
    if (std::string(c.lastBox).empty()) {
      for (const std::string& box : boxes) {
        EXPECT_THAT(box, ::testing::Not(HasSubstr("Messages/Informations/Export"))) << box;
      }
    } else {
      ASSERT_FALSE(boxes.empty());
      EXPECT_THAT(boxes.back(), HasSubstr(c.lastBox));
    }
    app_.reset();
    host_.reset();
    faults_.Clear();
  }
}

TEST_F(K2ExportFlow, AnExportAlreadyRunningRefusesWithItsBoxAndFails) {
  WriteHandOver(HandOver(), {Picture("one.JPG")});
  ExclusionChecker other;
  ASSERT_EQ(other.Check(kExclusionDirectionExport), kExclusionNone);

  EXPECT_EQ(Run("box * press ok\n"), 1) << Transcript();

  EXPECT_THAT(Boxes(), ::testing::ElementsAre(AllOf(HasSubstr("\"[UI/ExportConfirm/0-0]\" \"[Messages/Errors/MutexError]"),
                                                    HasSubstr("style 0x30 "))));
  EXPECT_THAT(Shown("157"), ::testing::IsEmpty());
  EXPECT_FALSE(fs::exists(HandOver()));
}

TEST_F(K2ExportFlow, AnUnreadableHandOverFailsWithOneLineAndNoBox) {
  EXPECT_EQ(Run(""), 1);
  EXPECT_THAT(*lines_, ::testing::IsEmpty());
  ASSERT_EQ(app_->errorLines.size(), 1u);
  EXPECT_THAT(app_->errorLines[0], HasSubstr(HandOver().string()));
  EXPECT_THAT(app_->errorLines[0], HasSubstr("cannot be read"));
}

TEST_F(K2ExportFlow, ACameraPulledDuringTheCopyShowsOnlyTheDisconnection) {
  WriteHandOver(HandOver(), {Picture("one.JPG"), Picture("two.JPG")});
  const std::string camera = Cam().string();
  manager_->onFirstFullCopy = [this, camera] {
    // The volume watch is not told: the failed write finds the camera gone.
    fake_->RemoveMount(camera);
    faults_.Add(testsupport::Fault(testsupport::SysCall::kWrite, camera).Errno(ENODEV));
  };

  EXPECT_EQ(Run(std::string(kConfirm) + "box \"CameraDisconnected\" press ok\n"), 1) << Transcript();

  const std::vector<std::string> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u) << Transcript();
  EXPECT_THAT(boxes[0], HasSubstr("\"[UI/ExportProgress/0-0]\" \"[Messages/Errors/CameraDisconnected]\" style 0x10"))
      << Transcript() << ::testing::PrintToString(app_->errorLines);
  EXPECT_TRUE(fs::exists(Cam() / "TRANS.TXT"));
}

TEST_F(K2ExportFlow, UnderYesNoCameraToConfirmToIsAFailureWithItsLine) {
  WriteHandOver(HandOver(), {Picture("one.JPG")});
  // No camera in the mount table: the confirmation's OK warns, and the
  // automatic back end gives up.
  fake_->RemoveMount(Cam().string());
  const int echo = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(echo, 0);
  XfUiHostOptions options;
  options.yes = true;
  options.catchSignals = false;
  host_ = std::make_unique<XfUiHost>(std::make_unique<XfUiAutomaticBackend>(echo, false), options);
  app_ = std::make_unique<FlowApp>(*host_, XpString::FromUtf8(program_.string()) + u"/", *manager_,
                                   control_);
  const std::string file = HandOver().string();
  const char* argv[] = {"TLVK2Accessor", "--yes", "-export", file.c_str()};

  EXPECT_EQ(app_->Run(4, argv), 1);
  ::close(echo);

  ASSERT_EQ(app_->errorLines.size(), 1u) << ::testing::PrintToString(app_->errorLines);
  EXPECT_THAT(app_->errorLines[0], HasSubstr("the export was not confirmed: no camera is connected"));
  EXPECT_TRUE(manager_->IsStopped());
}

TEST_F(K2ExportFlow, AFailedExportsLineNamesTheFileAndWhy) {
  WriteBytes(pc_ / "A" / "text.JPG", "not a picture at all\n");
  WriteHandOver(HandOver(), {Picture("one.JPG"), Picture("text.JPG")});

  EXPECT_EQ(Run(std::string(kConfirm) + "box \"UnkownError\" press ok\n"), 1) << Transcript();

  ASSERT_EQ(app_->errorLines.size(), 1u) << ::testing::PrintToString(app_->errorLines);
  EXPECT_THAT(app_->errorLines[0], HasSubstr("the export to the camera failed (0x8604): "));
  EXPECT_THAT(app_->errorLines[0], HasSubstr((pc_ / "A" / "text.JPG").string() + ": not a readable JPEG picture"));
}

// A batch of ten waits for the medium when its copies and its database are
// written and when the database has taken its place. The run adds the
// folder's marker and its removal, and waits as often off the card for one
// batch as for three (re-encoded pictures are scratch files): 30 pictures
// wait at most three times per batch.
TEST_F(K2ExportFlow, AnExportWaitsForTheMediumAtMostThreeTimesPerBatch) {
  constexpr size_t kWaitsPerBatch = 3;
  constexpr size_t kWaitsOfTheMarker = 2;
  constexpr int32_t kBatch = 10;
  struct Case {
    const char* name;
    int32_t pictures;
  };
  const Case cases[] = {{"one batch", kBatch}, {"three batches", 3 * kBatch}};
  size_t offTheCard = 0;
  size_t firstRun = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<HandOverContent> contents;
    for (int32_t index = 0; index < c.pictures; ++index) {
      const std::string name = std::string(c.name).substr(0, 3) + std::to_string(index) + ".JPG";
      // Every other picture has no Exif thumbnail and is re-encoded first.
      if (index % 2 == 0) {
        WritePicture(pc_ / "B" / name, 32, 24, "2023:03:15 12:00:00");
      } else {
        WritePlainPicture(pc_ / "B" / name, 32, 24);
      }
      contents.push_back({{pc_ / "B" / name}, kPictureType, kDay, {}});
    }
    WriteHandOver(HandOver(), contents);
    NewManager();
    manager_->SetXdbAccessorFactory(XdbAccessor::CreateDeviceXdbAccessor);
    const size_t before = ListedOnTheCard();

    std::optional<testsupport::MediumWaits> waits(std::in_place);
    EXPECT_EQ(Run(std::string(kConfirm) + "box \"ExportCompleted\" press ok\n"), 0) << Transcript();
    const size_t onTheCard = waits->CountUnder(Cam().string());
    const size_t elsewhere = waits->Count() - onTheCard;
    const std::vector<std::string> entries = waits->Entries();
    waits.reset();

    EXPECT_EQ(ListedOnTheCard(), before + static_cast<size_t>(c.pictures));
    const size_t batches = static_cast<size_t>(c.pictures / kBatch);
    if (&c == &cases[0]) {
      EXPECT_LE(onTheCard, kWaitsPerBatch + kWaitsOfTheMarker) << ::testing::PrintToString(entries);
      offTheCard = elsewhere;
      firstRun = onTheCard;
      continue;
    }
    EXPECT_LE(onTheCard, kWaitsPerBatch * batches) << ::testing::PrintToString(entries);
    EXPECT_LE(onTheCard - firstRun, kWaitsPerBatch * (batches - 1)) << ::testing::PrintToString(entries);
    EXPECT_EQ(elsewhere, offTheCard) << ::testing::PrintToString(entries);
  }
}

}  // namespace
