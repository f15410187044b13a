#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "accessor/dialogs/K2ProgressObserver.h"
#include "accessor/task/K2ObjectForNotification.h"
#include "framework/clock/XfClock.h"
#include "framework/notify/XfData.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"
#include "framework/progress/XfViewProgress.h"
#include "framework/tests/app/TestApplication.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(5);
constexpr uint32_t kStepProgressCode = 260;
constexpr uint32_t kStepEndCode = 263;

class FixedClock : public XfClock {
 public:
  int64_t Now() override { return now; }
  int64_t now = 1000;
};

XpPixmapBase* NewPixmap(int32_t width, int32_t height) {
  auto* pixmap = new XpPixmapBGR24NoHandle();
  EXPECT_EQ(pixmap->Allocate(width, height), kXpOk);
  return pixmap;
}

// A movie reader whose reads may be held until the test opens its gate.
class FakeMovieReader : public XpImageIo {
 public:
  struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool open = true;
    int reading = 0;
    std::vector<std::string> paths;
  };
  explicit FakeMovieReader(Gate& gate) : gate_(gate) {}

  XpPixmapBase* ReadOrientedPixmapFromPath(const XpString& path) override {
    std::unique_lock<std::mutex> hold(gate_.lock);
    gate_.paths.push_back(path.ToMultiByte().ToStdString());
    ++gate_.reading;
    gate_.changed.notify_all();
    gate_.changed.wait(hold, [this] { return gate_.open; });
    return NewPixmap(64, 48);
  }
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile&, int64_t) override { return nullptr; }

 private:
  Gate& gate_;
};

// The window side, recording what the observer asked of it.
class RecordingObserver : public K2ProgressObserver {
 public:
  // Without a quick idle sleep the worker waits as the program's does; a
  // window that shows no thumbnails gets none made.
  explicit RecordingObserver(FakeMovieReader::Gate* gate = nullptr, bool quickIdleSleep = true,
                             bool showsThumbnails = true)
      : showsThumbnails_(showsThumbnails) {
    if (quickIdleSleep) {
      SetIdleSleep([](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    }
    if (gate != nullptr) {
      SetMovieReaderFactory(
          [gate] { return XpSharedPtr<XpImageIo>(new FakeMovieReader(*gate)); });
    }
    StartObserving();
  }
  ~RecordingObserver() override { StopObserving(); }

  int Count(const std::string& event) const {
    std::lock_guard<std::mutex> hold(lock_);
    int count = 0;
    for (const std::string& seen : events_) {
      count += seen == event ? 1 : 0;
    }
    return count;
  }
  bool WaitFor(const std::string& event, int count) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, kPatience, [&] {
      int seen = 0;
      for (const std::string& e : events_) {
        seen += e == event ? 1 : 0;
      }
      return seen >= count;
    });
  }

 protected:
  void RequestRefresh() override { Record("refresh"); }
  void CloseView() override { Record("close"); }
  XpSize GetThumbnailArea() override { return XpSize(120, 120); }
  void InvalidateThumbnail() override { Record("invalidate"); }
  bool ShowsThumbnails() override { return showsThumbnails_; }
  void ShowError(uint32_t code) override { Record("error " + std::to_string(code)); }
  void EnterPhase1() override { Record("phase 1"); }
  void EnterPhase2() override { Record("phase 2"); }
  void EnterPhase3() override { Record("phase 3"); }

 private:
  void Record(const std::string& event) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      events_.push_back(event);
    }
    changed_.notify_all();
  }

  const bool showsThumbnails_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

// A plain JPEG whose frame header declares width x height over the few
// pixels it holds: the decoder sizes its output from the header and ends
// the missing rows itself.
std::vector<uint8_t> JpegDeclaring(uint16_t width, uint16_t height) {
  auto pixmap = std::make_unique<XpPixmapBGR24NoHandle>();
  EXPECT_EQ(pixmap->Allocate(16, 16), kXpOk);
  XpMemoryFile stream;
  EXPECT_EQ(stream.Open(kXpOpenReadWrite), kXpOk);
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"Kavo progress test");
  EXPECT_EQ(writer.EncodePlain(pixmap.get(), stream, XpImageIoJpeg::kDefaultQuality), kXpOk);
  const auto* data = static_cast<const uint8_t*>(stream.GetBuffer());
  std::vector<uint8_t> bytes(data, data + stream.GetDataSize());
  // After FF C0: length (2), precision (1), height (2), width (2).
  for (size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = static_cast<uint8_t>(height >> 8);
      bytes[i + 6] = static_cast<uint8_t>(height);
      bytes[i + 7] = static_cast<uint8_t>(width >> 8);
      bytes[i + 8] = static_cast<uint8_t>(width);
      return bytes;
    }
  }
  ADD_FAILURE() << "no SOF0 in the plain JPEG";
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The block a BGR picture of width x height takes.
size_t BgrBlockBytes(int32_t width, int32_t height) {
  XpPixmapBGR24NoHandle probe;
  EXPECT_EQ(probe.Allocate(width, height), kXpOk);
  return probe.blockSize;
}

// Waits until the worker has done with the current file.
bool WaitUntilTaken(const K2ProgressObserver& observer) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!observer.GetCurrentFile().IsEmpty()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

XpSharedPtr<XfNotification> Internal(uint32_t code) {
  return XpSharedPtr<XfNotification>(new XfNotificationInternal(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), code, XpSharedPtr<XfObject>(), true,
      true));
}

XpSharedPtr<XfNotification> Progress(uint32_t code, XpSharedPtr<XfObject> payload,
                                     uint32_t value = 0) {
  auto* notification = new XfNotificationProgress(XpSharedPtr<XfObject>(),
                                                  XpSharedPtr<XfObject>(), code, payload);
  notification->SetValue(value);
  return XpSharedPtr<XfNotification>(notification);
}

XpSharedPtr<XfObject> FileStarts(const std::string& picture) {
  return XpSharedPtr<XfObject>(
      new K2ObjectForNotification(XpString::FromUtf8(picture), u"Trip", u"IMG_0010.JPG"));
}

class K2ProgressObserver : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    XfSetApplication(&application_);
    XfSetClockForTest(&clock_);
  }
  void TearDown() override {
    XfSetClockForTest(nullptr);
    XfSetApplication(nullptr);
    testsupport::HermeticTest::TearDown();
  }

  // Moves the observer's model to percent through its one step.
  static void SetPercent(RecordingObserver& observer, uint32_t percent) {
    const XfProgressStep step{kStepProgressCode, kStepEndCode, 1.0};
    observer.GetProgress().SetSteps(&step, 1);
    observer.GetProgress().OnNotification(
        Progress(kStepProgressCode, XpSharedPtr<XfObject>(), percent));
  }

  void WriteJpeg(const std::filesystem::path& path, int32_t width, int32_t height) {
    XpPixmapBGR24NoHandle pixmap;
    ASSERT_EQ(pixmap.Allocate(width, height), kXpOk);
    const XpPlaneBase& plane = *pixmap.GetPlane(0);
    for (int32_t y = 0; y < height; ++y) {
      std::memset(plane.Row(y), 0x80, static_cast<size_t>(width) * 3);
    }
    XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"Kavo progress test");
    ASSERT_EQ(
        writer.WriteToPath(&pixmap, XpSharedPtr<XpTiffTagManager>(),
                           XpString::FromUtf8(path.string()), nullptr, XpRect(), false, false),
        kXpOk);
  }

  framework_test::TestApplication application_;
  FixedClock clock_;
};

TEST_F(K2ProgressObserver, InternalCodesMoveThePhasesAndSetTheFlags) {
  struct Case {
    uint32_t code;
    const char* event;  // null: no window call
    bool answered;
  };
  const Case cases[] = {
      {256, nullptr, true}, {257, nullptr, true},  {258, "phase 1", true},
      {3, "phase 2", true}, {259, "phase 3", true}, {262, nullptr, true},
      {999, nullptr, false}, {20028, nullptr, false},
  };
  for (const Case& c : cases) {
    RecordingObserver observer;
    const XpSharedPtr<XfNotification> notification = Internal(c.code);
    observer.OnNotification(notification);
    EXPECT_EQ(notification->IsAnswered(), c.answered) << c.code;
    if (c.answered) {
      EXPECT_EQ(notification->GetResult(), 1u) << c.code;
    }
    if (c.event != nullptr) {
      EXPECT_EQ(observer.Count(c.event), 1) << c.code;
      EXPECT_GE(observer.Count("refresh"), 1) << c.code;
    } else {
      EXPECT_EQ(observer.Count("refresh"), 0) << c.code;
    }
    EXPECT_EQ(observer.IsReadOnlyKept(), c.code == 256) << c.code;
    EXPECT_EQ(observer.IsImportItemFailed(), c.code == 257) << c.code;
    EXPECT_EQ(observer.HasSkippedFiles(), c.code == 262) << c.code;
  }
}

TEST_F(K2ProgressObserver, ThrottlesRefreshesBelowOneHundredPercent) {
  struct Case {
    uint32_t percent;
    int refreshes;
  };
  const Case cases[] = {{50, 1}, {99, 1}, {100, 10}};
  for (const Case& c : cases) {
    RecordingObserver observer;
    SetPercent(observer, c.percent);
    clock_.now += 5;
    const int before = observer.Count("refresh");
    for (int tick = 0; tick < 10; ++tick) {
      observer.OnViewTick();
    }
    EXPECT_EQ(observer.Count("refresh") - before, c.refreshes) << c.percent;
    clock_.now += 1;
    observer.OnViewTick();
    EXPECT_EQ(observer.Count("refresh") - before, c.refreshes + 1) << c.percent;
  }
}

TEST_F(K2ProgressObserver, FileStartsSetsTheTextsAndAnswers) {
  RecordingObserver observer;
  const XpSharedPtr<XfNotification> starts = Progress(255, FileStarts(""));
  observer.OnNotification(starts);
  EXPECT_EQ(starts->GetResult(), 1u);
  EXPECT_TRUE(observer.GetSourceText().View() == u"Trip");
  EXPECT_TRUE(observer.GetDestinationText().View() == u"IMG_0010.JPG");
  EXPECT_EQ(observer.Count("refresh"), 1);

  // A 255 without the file payload and other progress codes are left alone.
  const XpSharedPtr<XfNotification> wrongPayload =
      Progress(255, XpSharedPtr<XfObject>(new XfData<int32_t>(5)));
  const XpSharedPtr<XfNotification> otherCode = Progress(260, FileStarts(""));
  observer.OnNotification(wrongPayload);
  observer.OnNotification(otherCode);
  EXPECT_FALSE(wrongPayload->IsAnswered());
  EXPECT_FALSE(otherCode->IsAnswered());
  EXPECT_TRUE(observer.GetSourceText().View() == u"Trip");
}

TEST_F(K2ProgressObserver, ErrorsAreShownThenAnsweredThroughTheManager) {
  RecordingObserver observer;
  const XpSharedPtr<XfNotification> error(
      new XfNotificationInternal(XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), 0xC003,
                                 XpSharedPtr<XfObject>(), true, true));
  // An internal notification with an error code is not an error.
  observer.OnNotification(error);
  EXPECT_FALSE(error->IsAnswered());

  class ErrorNotification : public XfNotificationInternal {
   public:
    using XfNotificationInternal::XfNotificationInternal;
    XfNotificationKind GetKind() const override { return kXfKindError; }
  };
  const XpSharedPtr<XfNotification> real(
      new ErrorNotification(XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), 0xC003,
                            XpSharedPtr<XfObject>(), true, true));
  application_.GetNotificationManager().Post(real);
  ASSERT_EQ(real->WaitForResult(5), kXpOk);
  EXPECT_EQ(real->GetResult(), 1u);
  EXPECT_EQ(observer.Count("error " + std::to_string(0xC003)), 1);
}

TEST_F(K2ProgressObserver, TheModelsTaskEndedClosesTheView) {
  RecordingObserver observer;
  EXPECT_FALSE(observer.OnViewNotification(Internal(20027)));
  EXPECT_EQ(observer.Count("close"), 0);
  EXPECT_TRUE(observer.OnViewNotification(Internal(20028)));
  EXPECT_EQ(observer.Count("close"), 1);

  // Posted to the manager, the model hands it on.
  application_.GetNotificationManager().Post(Internal(20028));
  EXPECT_TRUE(observer.WaitFor("close", 2));
}

TEST_F(K2ProgressObserver, ThumbnailIsFittedIntoTheArea) {
  const std::filesystem::path jpeg = Root() / "IMG_0001.JPG";
  WriteJpeg(jpeg, 400, 300);
  RecordingObserver observer;
  observer.SetCurrentFile(XpString::FromUtf8(jpeg.string()));
  ASSERT_TRUE(observer.WaitFor("invalidate", 1));
  const XpSharedPtr<XpPixmapBase> thumbnail = observer.GetThumbnail();
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->GetPlane(0)->width, 120);
  EXPECT_EQ(thumbnail->GetPlane(0)->height, 90);
  EXPECT_EQ(observer.GetThumbnailResult(), kXpOk);
}

TEST_F(K2ProgressObserver, TheThumbnailOfAHugePictureComesFromAScaledDecode) {
  const std::filesystem::path jpeg = Root() / "IMG_0002.JPG";
  WriteFile(jpeg, JpegDeclaring(20000, 20000));
  // 20000 / 8: the largest DCT scale that still covers 120 x 120.
  const size_t scaledDecode = BgrBlockBytes(2500, 2500);
  XpScopedPixmapAllocationCount count;
  RecordingObserver observer;
  observer.SetCurrentFile(XpString::FromUtf8(jpeg.string()));
  ASSERT_TRUE(observer.WaitFor("invalidate", 1));
  const XpSharedPtr<XpPixmapBase> thumbnail = observer.GetThumbnail();
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->GetPlane(0)->width, 120);
  EXPECT_EQ(thumbnail->GetPlane(0)->height, 120);
  EXPECT_EQ(count.LargestBytes(), scaledDecode);
}

TEST_F(K2ProgressObserver, AWindowWithoutThumbnailsGetsNoneMade) {
  const std::filesystem::path jpeg = Root() / "IMG_0003.JPG";
  WriteJpeg(jpeg, 400, 300);
  FakeMovieReader::Gate gate;
  XpScopedPixmapAllocationCount count;
  RecordingObserver observer(&gate, true, false);
  for (const XpString& file : {XpString::FromUtf8(jpeg.string()), XpString(u"/cam/MVI_0002.MPG")}) {
    observer.SetCurrentFile(file);
    ASSERT_TRUE(WaitUntilTaken(observer));
  }
  EXPECT_FALSE(observer.GetThumbnail());
  EXPECT_EQ(observer.Count("invalidate"), 0);
  EXPECT_EQ(count.Count(), 0);
  std::lock_guard<std::mutex> hold(gate.lock);
  EXPECT_TRUE(gate.paths.empty());
}

TEST_F(K2ProgressObserver, MoviesGoToTheMovieReader) {
  FakeMovieReader::Gate gate;
  RecordingObserver observer(&gate);
  observer.SetCurrentFile(u"/cam/MVI_0001.MPG");
  ASSERT_TRUE(observer.WaitFor("invalidate", 1));
  std::lock_guard<std::mutex> hold(gate.lock);
  ASSERT_EQ(gate.paths.size(), 1u);
  EXPECT_EQ(gate.paths[0], "/cam/MVI_0001.MPG");
}

TEST_F(K2ProgressObserver, TheIdleWorkerTakesEachNewFileAndStops) {
  FakeMovieReader::Gate gate;
  {
    RecordingObserver observer(&gate, false);
    observer.SetCurrentFile(u"/cam/first.MPG");
    ASSERT_TRUE(observer.WaitFor("invalidate", 1));
    observer.SetCurrentFile(u"/cam/second.MPG");
    ASSERT_TRUE(observer.WaitFor("invalidate", 2));
    observer.StopThumbnailWorker();
    observer.SetCurrentFile(u"/cam/third.MPG");
  }
  std::lock_guard<std::mutex> hold(gate.lock);
  ASSERT_EQ(gate.paths.size(), 2u);
  EXPECT_EQ(gate.paths[1], "/cam/second.MPG");
}

TEST_F(K2ProgressObserver, ANewerFileSetDuringADecodeIsNotLost) {
  FakeMovieReader::Gate gate;
  gate.open = false;
  RecordingObserver observer(&gate);
  observer.SetCurrentFile(u"/cam/first.MPG");
  {
    std::unique_lock<std::mutex> hold(gate.lock);
    ASSERT_TRUE(gate.changed.wait_for(hold, kPatience, [&] { return gate.reading == 1; }));
  }
  observer.SetCurrentFile(u"/cam/second.MPG");
  {
    std::lock_guard<std::mutex> hold(gate.lock);
    gate.open = true;
  }
  gate.changed.notify_all();
  ASSERT_TRUE(observer.WaitFor("invalidate", 2));
  std::lock_guard<std::mutex> hold(gate.lock);
  ASSERT_EQ(gate.paths.size(), 2u);
  EXPECT_EQ(gate.paths[1], "/cam/second.MPG");
}

}  // namespace
