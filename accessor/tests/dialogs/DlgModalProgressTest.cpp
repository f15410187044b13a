#include "accessor/dialogs/DlgModalProgress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "accessor/dialogs/IK2ProgressTask.h"
#include "accessor/dialogs/K2ProgressTexts.h"
#include "accessor/settings/K2ExportConfig.h"
#include "accessor/task/K2ObjectForNotification.h"
#include "framework/clock/XfClock.h"
#include "framework/notify/XfNotification.h"
#include "framework/progress/XfProgressStep.h"
#include "framework/progress/XfViewProgress.h"
#include "framework/strings/XfStringsManager.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/process/XpSetThreadExecutionState.h"
#include "platform/registry/XpRegistry.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kStepProgressCode = 260;
constexpr uint32_t kStepEndCode = 263;
constexpr int kRaceRuns = 100;
// Steps that wait for another thread run on the real clock.
constexpr const char* kRealClock = "option clock real\noption timeout 5000\n";

class FixedClock : public XfClock {
 public:
  int64_t Now() override { return now; }
  int64_t now = 1000;
};

// Records what the stop sequence asked of the task; a stop that comes after
// the progress model was finished is recorded as "Finish", "Stop".
class RecordingTask : public IK2ProgressTask {
 public:
  void Pause() override { Record("Pause"); }
  void Resume() override { Record("Resume"); }
  void Stop() override {
    if (progress != nullptr && progress->IsFinished()) Record("Finish");
    Record("Stop");
  }
  uint64_t GetExportableCount() const override { return exportable; }

  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    events_.clear();
  }
  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }

  uint64_t exportable = 0;
  const XfViewProgress* progress = nullptr;

 private:
  void Record(const std::string& event) {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(event);
  }
  mutable std::mutex lock_;
  std::vector<std::string> events_;
};

// A bottom-up bitmap file of one colour; 32 bits with alpha, or 24 bits.
std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, int32_t bits, XfColour colour, uint8_t alpha) {
  const size_t bytesPerPixel = static_cast<size_t>(bits / 8);
  const size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) / 4 * 4;
  const size_t offset = 54;
  std::vector<uint8_t> bytes(offset + stride * static_cast<size_t>(height));
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(10, static_cast<uint32_t>(offset));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bytes[26] = 1;
  bytes[28] = static_cast<uint8_t>(bits);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixel = bytes.data() + offset + static_cast<size_t>(y) * stride;
    for (int32_t x = 0; x < width; ++x, pixel += bytesPerPixel) {
      pixel[0] = static_cast<uint8_t>(colour >> 16);
      pixel[1] = static_cast<uint8_t>(colour >> 8);
      pixel[2] = static_cast<uint8_t>(colour);
      if (bits == 32) pixel[3] = alpha;
    }
  }
  return bytes;
}

// The colour of a 24-bit pixmap's top-left pixel.
XfColour TopLeft(const XpPixmapBase& pixmap) {
  const uint8_t* pixel = pixmap.GetPlane(0)->Row(0);
  return XfRgb(pixel[2], pixel[1], pixel[0]);
}

class ErrorNotification : public XfNotificationInternal {
 public:
  using XfNotificationInternal::XfNotificationInternal;
  XfNotificationKind GetKind() const override { return kXfKindError; }
};

XpSharedPtr<XfNotification> Internal(uint32_t code) {
  return XpSharedPtr<XfNotification>(new XfNotificationInternal(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), code, XpSharedPtr<XfObject>(), true, true));
}

XpSharedPtr<XfNotification> Error(uint32_t code) {
  return XpSharedPtr<XfNotification>(new ErrorNotification(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), code, XpSharedPtr<XfObject>(), true, true));
}

XpSharedPtr<XfNotification> Progress(uint32_t code, XpSharedPtr<XfObject> payload, uint32_t value) {
  auto* notification =
      new XfNotificationProgress(XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), code, payload);
  notification->SetValue(value);
  return XpSharedPtr<XfNotification>(notification);
}

XpSharedPtr<XfNotification> FileStarts(const XpString& album, const XpString& name) {
  return Progress(K2ProgressObserver::kCodeFileStarts,
                  XpSharedPtr<XfObject>(new K2ObjectForNotification(u"/absent/IMG_0010.JPG", album, name)),
                  0);
}

// Steps run one after another on the UI thread; each posts the next when it
// is done, so whatever a step posted (a refresh) runs before the next one.
// A step given a continuation decides itself when the chain goes on.
class Chain {
 public:
  using Step = std::function<void()>;
  using AsyncStep = std::function<void(std::function<void()> next)>;

  Chain& Then(Step step) {
    steps_.push_back([step](std::function<void()> next) {
      step();
      next();
    });
    return *this;
  }
  Chain& ThenAsync(AsyncStep step) {
    steps_.push_back(std::move(step));
    return *this;
  }
  void Start(XfUiHost& host) { Post(host, 0); }

 private:
  void Post(XfUiHost& host, size_t index) {
    if (index >= steps_.size()) return;
    host.Post([this, &host, index] { steps_[index]([this, &host, index] { Post(host, index + 1); }); });
  }
  std::vector<AsyncStep> steps_;
};

class DlgModalProgress : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    // The application first: the strings below replace its own.
    XfSetApplication(&application_);
    XpSharedPtr<XfStringsManager> manager(new XfStringsManager());
    ASSERT_EQ(manager->Load(XpStringA(KAVO_ACCESSOR_TEST_STRINGS).ToWide()), kXpOk);
    ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
    XfSetClockForTest(&clock_);
    // No inhibitor is started unless a test asks for one.
    XpSetExecutionStateProgramForTest(XpString::FromUtf8((Root() / "absent-inhibit").string()));
  }
  void TearDown() override {
    dialog_.reset();
    XpSetThreadExecutionState(kXpEsContinuous);
    XpSetExecutionStateProgramForTest(XpString());
    XfSetClockForTest(nullptr);
    XfSetApplication(nullptr);
    EXPECT_EQ(XfSetStringsManagers({}), kXpOk);
    testsupport::HermeticTest::TearDown();
  }

  ::DlgModalProgress& MakeDialog(int32_t mode, const XpResourceModule* resources = nullptr) {
    dialog_ = std::make_unique<::DlgModalProgress>(resources);
    dialog_->SetMode(mode);
    dialog_->SetTask(&task_);
    task_.progress = &dialog_->GetProgress();
    return *dialog_;
  }

  // Runs the dialog with script while chain runs on the UI thread; returns
  // the end code.
  int32_t Run(const std::string& script, Chain& chain) {
    auto host = ui_test::MakeScriptedHost(script, lines_);
    chain.Start(*host);
    const int32_t code = host->RunModal(*dialog_);
    EXPECT_FALSE(host->HasFailed()) << Transcript();
    return code;
  }

  // The task's end as the progress model passes it on.
  void TaskEnds() { EXPECT_TRUE(dialog_->OnViewNotification(Internal(K2ProgressObserver::kCodeTaskEnded))); }

  void SetPercent(uint32_t percent) {
    const XfProgressStep step{kStepProgressCode, kStepEndCode, 1.0};
    dialog_->GetProgress().SetSteps(&step, 1);
    dialog_->GetProgress().OnNotification(Progress(kStepProgressCode, XpSharedPtr<XfObject>(), percent));
  }

  std::string Text(int32_t id) const {
    return dialog_->Model().Text(id).ToMultiByte().ToStdString();
  }
  bool MarqueeOn() const { return dialog_->Model().Progress(::DlgModalProgress::kProgressId)->IsMarqueeOn(); }
  int32_t Bitmap() const { return dialog_->Model().Find(::DlgModalProgress::kPictureId)->BitmapId(); }

  std::vector<std::string> Boxes() const { return ui_test::LinesStartingWith(*lines_, "box \""); }
  std::string Transcript() const {
    std::string all;
    for (const std::string& line : *lines_) all += line + "\n";
    return all;
  }

  framework_test::TestApplication application_;
  FixedClock clock_;
  RecordingTask task_;
  std::unique_ptr<::DlgModalProgress> dialog_;
  ui_test::Lines lines_ = std::make_shared<std::vector<std::string>>();
};

TEST_F(DlgModalProgress, ExportTextsFollowThePhases) {
  ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
  dialog.SetCaption(u"/media/KAVO/DCIM");
  Chain chain;
  chain
      .Then([&] {
        EXPECT_EQ(dialog.Model().Title().ToMultiByte().ToStdString(), "[UI/ExportProgress/0-0]");
        EXPECT_EQ(Text(::DlgModalProgress::kStopId), "[UI/ExportProgress/1-0]");
        EXPECT_EQ(Text(::DlgModalProgress::kNoteId), "[UI/CommonConfirm/8-1]");
        EXPECT_EQ(Text(::DlgModalProgress::kRemainingId), "[Format/Duration/Calculating]");
        EXPECT_EQ(Text(::DlgModalProgress::kItemId), "/media/KAVO/DCIM");
        EXPECT_FALSE(dialog.Model().IsVisible(::DlgModalProgress::kFinalStepId));
        dialog.OnViewTick();
      })
      .Then([&] {
        EXPECT_EQ(dialog.GetPhase(), 0);
        EXPECT_EQ(Bitmap(), 162);
        for (const int32_t id : {::DlgModalProgress::kItemId, ::DlgModalProgress::kPercentId,
                                 ::DlgModalProgress::kRemainingId}) {
          EXPECT_EQ(Text(id), "") << id;
        }
        EXPECT_EQ(Text(::DlgModalProgress::kDestinationId), "[UI/ExportProgress/8-0]");
        EXPECT_TRUE(MarqueeOn());
        SetPercent(50);
        dialog.OnNotification(Internal(K2ProgressObserver::kCodeRunBegins));
      })
      .Then([&] {
        EXPECT_EQ(dialog.GetPhase(), 1);
        EXPECT_FALSE(MarqueeOn());
        EXPECT_EQ(dialog.Model().Progress(::DlgModalProgress::kProgressId)->GetPos(), 50);
        EXPECT_EQ(Text(::DlgModalProgress::kPercentId), "[UI/ExportProgress/8-3] 50%");
        EXPECT_EQ(Bitmap(), 0);
        ++clock_.now;
        dialog.OnNotification(FileStarts(u"Trip", u"IMG_0010.JPG"));
      })
      .Then([&] {
        EXPECT_EQ(Text(::DlgModalProgress::kItemId), "[UI/ExportProgress/8-1] Trip");
        EXPECT_EQ(Text(::DlgModalProgress::kDestinationId), "[UI/ExportProgress/8-2] IMG_0010.JPG");
        ++clock_.now;
        dialog.OnNotification(
            FileStarts(u"Trip", u"Holiday/Beach/Evening/Sunset/Panorama/IMG_0010_long_name.JPG"));
      })
      .Then([&] {
        const std::string shown = Text(::DlgModalProgress::kDestinationId);
        EXPECT_EQ(shown.rfind("[UI/ExportProgress/8-2] ", 0), 0u) << shown;
        EXPECT_NE(shown.find("..."), std::string::npos) << shown;
        EXPECT_LE(shown.size(), static_cast<size_t>(::DlgModalProgress::kLineUnits)) << shown;
        EXPECT_NE(shown.find("IMG_0010_long_name.JPG"), std::string::npos) << shown;
        EXPECT_FALSE(dialog.HasEnded());
        TaskEnds();
      });
  EXPECT_EQ(Run("", chain), kXfIdOk);
  EXPECT_EQ(dialog.GetPhase(), 4);
}

TEST_F(DlgModalProgress, TitleStopTextAndWaitingTextByMode) {
  struct Case {
    int32_t mode;
    const char* title;
    const char* stop;
    const char* destination;  // after a phase-0 refresh
    int32_t bitmap;
  } const cases[] = {
      {::DlgModalProgress::kModeImport, "[UI/ImportProgress/0-0]", "[UI/ImportProgress/1-0]",
       "[UI/ImportProgress/8-0]", 160},
      {::DlgModalProgress::kModeExport, "[UI/ExportProgress/0-0]", "[UI/ExportProgress/1-0]",
       "[UI/ExportProgress/8-0]", 162},
      // Salvage changes no text in phase 0 and shows the thumbnail.
      {::DlgModalProgress::kModeSalvage, "[UI/SalvageProgress/0-0]", "[UI/SalvageProgress/1-0]", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ::DlgModalProgress& dialog = MakeDialog(c.mode);
    dialog.SetCaption(u"/media/KAVO");
    Chain chain;
    chain.Then([&] { dialog.OnViewTick(); }).Then([&] {
      EXPECT_EQ(dialog.Model().Title().ToMultiByte().ToStdString(), c.title);
      EXPECT_EQ(Text(::DlgModalProgress::kStopId), c.stop);
      EXPECT_EQ(Text(::DlgModalProgress::kDestinationId), c.destination);
      const bool salvage = c.mode == ::DlgModalProgress::kModeSalvage;
      EXPECT_EQ(Text(::DlgModalProgress::kItemId), salvage ? "/media/KAVO" : "");
      EXPECT_EQ(Bitmap(), c.bitmap);
      TaskEnds();
    });
    EXPECT_EQ(Run("", chain), kXfIdOk);
  }
}

TEST_F(DlgModalProgress, StatusBitmapsLieOnTheButtonFace) {
  constexpr XfColour kRed = XfRgb(200, 10, 10);
  XpResourceModule resources;
  // 160 opaque without alpha, 162 wholly transparent, 161 missing.
  resources.AddBitmap(::DlgModalProgress::kBitmapImportWaiting, BitmapFile(60, 240, 24, kRed, 0));
  resources.AddBitmap(::DlgModalProgress::kBitmapExportWaiting, BitmapFile(240, 60, 32, kRed, 0));
  ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport, &resources);
  XfColour face = 0;
  Chain chain;
  chain.Then([&] {
    face = XfUiHost::Instance()->Theme().GetSysColor(kXfColourButtonFace);
    const XfDialogItem& picture = *dialog.Model().Find(::DlgModalProgress::kPictureId);
    EXPECT_EQ(picture.BitmapId(), 162);
    ASSERT_TRUE(picture.Picture());
    // Fitted into the 120 x 120 area.
    EXPECT_EQ(picture.Picture()->Size(), (XfUiSize{120, 30}));
    TaskEnds();
  });
  EXPECT_EQ(Run("", chain), kXfIdOk);
  const XpSharedPtr<XpPixmapBase> waiting = dialog.GetStatusBitmap(0);
  const XpSharedPtr<XpPixmapBase> exporting = dialog.GetStatusBitmap(2);
  ASSERT_TRUE(waiting);
  ASSERT_TRUE(exporting);
  EXPECT_FALSE(dialog.GetStatusBitmap(1));
  EXPECT_EQ(TopLeft(*waiting), kRed);
  EXPECT_EQ(TopLeft(*exporting), face);
  EXPECT_EQ(exporting->width, 240);
  EXPECT_EQ(exporting->height, 60);
}

TEST_F(DlgModalProgress, FinalStepShowsItsLineAndPicture) {
  struct Case {
    int32_t mode;
    const char* finalStep;
    int32_t bitmap;
  } const cases[] = {
      {::DlgModalProgress::kModeImport, "[UI/ImportProgress/8-5]", 161},
      {::DlgModalProgress::kModeExport, "", 0},
      {::DlgModalProgress::kModeSalvage, "[UI/SalvageProgress/8-3]", 161},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ::DlgModalProgress& dialog = MakeDialog(c.mode);
    Chain chain;
    chain.Then([&] { dialog.OnNotification(Internal(K2ProgressObserver::kCodeRemovalBegins)); })
        .Then([&] {
          EXPECT_EQ(dialog.GetPhase(), 2);
          EXPECT_EQ(Text(::DlgModalProgress::kFinalStepId), c.finalStep);
          EXPECT_TRUE(dialog.Model().IsVisible(::DlgModalProgress::kFinalStepId));
          EXPECT_FALSE(dialog.Model().IsVisible(::DlgModalProgress::kItemId));
          EXPECT_FALSE(dialog.Model().IsVisible(::DlgModalProgress::kDestinationId));
          EXPECT_EQ(Bitmap(), c.bitmap);
          TaskEnds();
        });
    EXPECT_EQ(Run("", chain), kXfIdOk);
  }
}

TEST_F(DlgModalProgress, TheDestinationPathIsCompactedToTheLine) {
  struct Case {
    const char16_t* caption;
    bool whole;
  } const cases[] = {
      {u"/media/KAVO/DCIM", true},
      {u"/media/KAVO_CAMERA/DCIM/100KAVO/Holidays/Summer/Beach/Evening/Trip", false},
  };
  for (const Case& c : cases) {
    ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
    dialog.SetCaption(c.caption);
    SCOPED_TRACE(XpString(c.caption).ToMultiByte().ToStdString());
    Chain chain;
    chain.Then([&] {
      const std::string shown = Text(::DlgModalProgress::kItemId);
      if (c.whole) {
        EXPECT_EQ(shown, XpString(c.caption).ToMultiByte().ToStdString());
      } else {
        EXPECT_EQ(shown.rfind("/media/...", 0), 0u) << shown;
        EXPECT_NE(shown.find("/Trip"), std::string::npos) << shown;
        EXPECT_LE(shown.size(), static_cast<size_t>(::DlgModalProgress::kLineUnits)) << shown;
      }
      TaskEnds();
    });
    EXPECT_EQ(Run("", chain), kXfIdOk);
  }
}

TEST_F(DlgModalProgress, StopAsksThenResumesOrStops) {
  struct Case {
    const char* answer;
    std::vector<std::string> events;
    bool stopEnabled;
  } const cases[] = {
      {"no", {"Pause", "Resume"}, true},
      {"yes", {"Pause", "Finish", "Stop"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    task_.Clear();
    lines_->clear();
    ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
    XfUiHost* running = nullptr;
    Chain chain;
    // Ctrl-C gives the cancel command, which is the stop button.
    chain.Then([&] {
           running = XfUiHost::Instance();
           running->Interrupt();
         })
        .Then([&] {
          EXPECT_EQ(task_.Events(), c.events);
          EXPECT_EQ(dialog.Model().IsEnabled(::DlgModalProgress::kStopId), c.stopEnabled);
          EXPECT_EQ(dialog.GetProgress().IsFinished(), !c.stopEnabled);
          EXPECT_FALSE(dialog.HasEnded());
          // A disabled stop button takes no second stop.
          running->Interrupt();
        })
        .Then([&] {
          EXPECT_EQ(task_.Events().size(), c.stopEnabled ? 4u : 3u);
          EXPECT_FALSE(dialog.HasEnded());
          TaskEnds();
        });
    const std::string script = "box \"ExportingStop\" press " + std::string(c.answer) + "\n" +
                               (c.stopEnabled ? "box \"ExportingStop\" press no\n" : "");
    EXPECT_EQ(Run(script, chain), kXfIdOk);
    const std::vector<std::string> boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes[0].find("\"[Messages/Confirms/ExportingStop]\" style 0x134"), std::string::npos)
        << boxes[0];
  }
}

TEST_F(DlgModalProgress, ErrorsShowTheirMessageThenAnswerTheSender) {
  struct Case {
    uint32_t code;
    const char* text;
    const char* style;
  } const cases[] = {
      {0x8112, "[Messages/Errors/CannotCreateFolderBecauseReadOnly]", "0x30"},
      {0x8113, "[Messages/Errors/CannotCopyBecauseDiskFull]", "0x30"},
      {0xC000, "[Messages/Errors/XdbAccessError]", "0x30"},
      {0xC001, "[Messages/Errors/XdbCopyError]", "0x30"},
      {0xC002, "[Messages/Errors/ProcessingWasDiscontinuedByTheReadingAttribute]", "0x30"},
      {0xC003, "[Messages/Errors/CameraDisconnected]", "0x10"},
      {0xC004, "[Messages/Errors/NotEnoughSpaceOnCamera]", "0x30"},
      {0xC005, "[Messages/Errors/UnableToStartOperationBecauseOfTemporaryFolderWasNotFound]", "0x30"},
      {0xC006, "[Messages/Warnings/NoNewImages]", "0x40"},
      {0xC007, "[Messages/Errors/DiskFull]", "0x30"},
      {0xC008, "[Messages/Errors/UnkownError]", "0x30"},
      {0xC009, "[Messages/Errors/NotEnoughSpaceOnCamera]", "0x30"},
      {0xC00A, "[Messages/Errors/UnkownError]", "0x30"},
      {0xC00B, "[Messages/Errors/UnableToStartOperationBecauseOfTemporaryFolderWasNotFound]", "0x30"},
      {0xC00C, "[Messages/Errors/UnkownError]", "0x30"},
      {0xC00D, "[Messages/Errors/CannotExportBecauseDCFError]", "0x30"},
      {0xC00F, "[Messages/Errors/DiskFull]", "0x30"},
  };
  ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
  std::string script = kRealClock;
  Chain chain;
  std::vector<XpSharedPtr<XfNotification>> sent;
  std::thread sender;
  for (const Case& c : cases) {
    script += "box * press ok\n";
    // The box is shown from a dispatch thread, which goes on once answered.
    chain.ThenAsync([&, code = c.code](std::function<void()> next) {
      if (sender.joinable()) sender.join();
      sender = std::thread([&, code, next] {
        XpSharedPtr<XfNotification> error = Error(code);
        dialog.OnNotification(error);
        EXPECT_EQ(error->WaitForResult(0), kXpOk);
        EXPECT_EQ(error->GetResult(), 1u);
        XfUiHost::Instance()->Post(next);
      });
    });
  }
  chain.Then([&] { TaskEnds(); });
  EXPECT_EQ(Run(script, chain), kXfIdOk);
  if (sender.joinable()) sender.join();
  const std::vector<std::string> boxes = Boxes();
  ASSERT_EQ(boxes.size(), std::size(cases));
  for (size_t i = 0; i < boxes.size(); ++i) {
    SCOPED_TRACE(cases[i].code);
    EXPECT_NE(boxes[i].find(std::string("\"") + cases[i].text + "\" style " + cases[i].style + " "),
              std::string::npos)
        << boxes[i];
  }
}

TEST_F(DlgModalProgress, FreeSpaceDetailNamesTheRootTitleAndTheSpaceNeeded) {
  XpRegistry key;
  ASSERT_EQ(key.Open(K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine,
                     XpRegistry::kAccessWrite),
            kXpOk);
  ASSERT_EQ(key.SetString(K2ExportConfig::kVersionValue, u"1.0"), kXpOk);
  testsupport::FakeSysfs fake(Root() / "sysroot");
  testsupport::FakeVolume disk;
  disk.mountPoint = Dir("disk").string();
  disk.fileSystemType = "ext4";
  disk.removable = false;
  disk.bus = testsupport::FakeBus::kVirtio;
  fake.AddVolume(disk);
  const fs::path temp = Dir("disk/work/temp");
  struct Case {
    uint32_t imageFileSize;
    const char* needed;
  } const cases[] = {{0, "700 KB"}, {1, "3.41 MB"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.imageFileSize);
    K2ExportConfig config;
    config.SetTempDir(XpString::FromUtf8(temp.string()));
    config.SetImageFileSize(c.imageFileSize);
    ASSERT_EQ(config.Save(), kXpOk);
    lines_->clear();
    task_.exportable = 7;
    ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
    std::thread sender;
    Chain chain;
    chain
        .ThenAsync([&](std::function<void()> next) {
          sender = std::thread([&, next] {
            XpSharedPtr<XfNotification> error = Error(kK2ErrorFreeSpaceDetail);
            dialog.OnNotification(error);
            EXPECT_EQ(error->GetResult(), 1u);
            XfUiHost::Instance()->Post(next);
          });
        })
        .Then([&] { TaskEnds(); });
    EXPECT_EQ(Run(std::string(kRealClock) + "box * press ok\n", chain), kXfIdOk);
    sender.join();
    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    // The mount point, with or without its trailing '/'.
    const std::string start =
        "\"[Messages/Errors/AbortOperationBecauseOfFreeSpaceSizeDetail] " + disk.mountPoint;
    const std::string end = " [UI/ExportProgress/0-0] " + std::string(c.needed) + "\" style 0x30";
    const size_t at = boxes[0].find(start);
    ASSERT_NE(at, std::string::npos) << boxes[0];
    const std::string rest = boxes[0].substr(at + start.size());
    EXPECT_TRUE(rest.rfind(end, 0) == 0 || rest.rfind("/" + end, 0) == 0) << boxes[0];
  }
}

TEST_F(DlgModalProgress, ACloseBeforeTheDialogRunsEndsItAtOnce) {
  ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
  TaskEnds();
  EXPECT_EQ(dialog.GetPhase(), 4);
  Chain chain;
  EXPECT_EQ(Run("", chain), kXfIdOk);
}

TEST_F(DlgModalProgress, ACloseRacingTheStartIsNeverLost) {
  for (int run = 0; run < kRaceRuns; ++run) {
    SCOPED_TRACE(run);
    ::DlgModalProgress& dialog = MakeDialog(::DlgModalProgress::kModeExport);
    auto host = ui_test::MakeScriptedHost(kRealClock, lines_);
    std::thread closer([&] { dialog.OnViewNotification(Internal(K2ProgressObserver::kCodeTaskEnded)); });
    const int32_t code = host->RunModal(dialog);
    closer.join();
    ASSERT_EQ(code, kXfIdOk) << Transcript();
    ASSERT_FALSE(host->HasFailed());
  }
}

TEST_F(DlgModalProgress, KeepsTheComputerAwakeWhileOpen) {
  const fs::path program = Dir("bin") / "inhibit";
  std::ofstream(program) << "#!/bin/sh\nexec cat > /dev/null\n";
  fs::permissions(program, fs::perms::owner_all);
  XpSetExecutionStateProgramForTest(XpString::FromUtf8(program.string()));
  MakeDialog(::DlgModalProgress::kModeExport);
  pid_t holder = 0;
  Chain chain;
  chain.Then([&] {
    holder = XpExecutionStateHolderPid();
    TaskEnds();
  });
  EXPECT_EQ(Run("", chain), kXfIdOk);
  EXPECT_NE(holder, 0);
  EXPECT_EQ(XpExecutionStateHolderPid(), 0);
  EXPECT_EQ(XpSetThreadExecutionState(kXpEsContinuous), kXpEsContinuous);
  // The child ends once its input is closed, and is reaped.
  const fs::path proc = "/proc/" + std::to_string(holder);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fs::exists(proc) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(fs::exists(proc));
}

}  // namespace
