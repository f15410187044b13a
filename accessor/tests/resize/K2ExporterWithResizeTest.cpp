#include "accessor/resize/K2ExporterWithResize.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "accessor/tests/resize/ResizeTestSupport.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "framework/notify/XfNotification.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpSysCalls.h"

namespace resizetest {
namespace {

namespace fs = std::filesystem;
using Exporter = ::K2ExporterWithResize;
using Manager = ::K2ExportTaskManager;
using task_test::ExifTagsWithDate;
using task_test::HandOver;

constexpr double kShootingDate = 45000.5;  // 2023-03-15 12:00:00
constexpr uint32_t kConversionQuality = 90;
constexpr uint16_t kDateTimeTag = 306;
constexpr uint16_t kOrientationTag = 274;
constexpr uint16_t kDateDigitizedTag = 36868;
constexpr const char* kSourceDate = "2001:02:03 04:05:06";
// Stands for the time of writing that every converted file carries.
constexpr const char* kAnyTime = "0000:00:00 00:00:00";
constexpr auto kGuard = std::chrono::seconds(30);
const XpSize kSourceSize(160, 120);

// Counts the waits for the medium while it is installed.
class SyncCounter : public XpSysCallsWrapper {
 public:
  SyncCounter() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  ~SyncCounter() override { XpSysCalls::Install(previous_); }
  SyncCounter(const SyncCounter&) = delete;
  SyncCounter& operator=(const SyncCounter&) = delete;

  int Fsync(int fd) override {
    ++count_;
    return XpSysCallsWrapper::Fsync(fd);
  }
  int Count() const { return count_.load(); }

 private:
  XpSysCalls* previous_ = nullptr;
  std::atomic<int> count_{0};
};

// Lets the first `needed` callers through only together; false for a
// caller that waited in vain.
class Rendezvous {
 public:
  explicit Rendezvous(int needed) : needed_(needed) {}
  bool Meet() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (arrived_ >= needed_) {
      return true;
    }
    ++arrived_;
    changed_.notify_all();
    return changed_.wait_for(lock, kGuard, [this] { return arrived_ >= needed_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const int needed_;
  int arrived_ = 0;
};

// A reader whose decodes first meet at a rendezvous.
class MeetingReader : public XpImageIoJpeg {
 public:
  MeetingReader(Rendezvous& rendezvous, std::atomic<int>& missed)
      : rendezvous_(rendezvous), missed_(missed) {}
  XpPixmapBase* ReadPixmapFromPath(const XpString& path, int32_t scale,
                                   IXpImageProgress* observer, bool convertToSRGB,
                                   bool applyOrientation) override {
    if (!rendezvous_.Meet()) {
      ++missed_;
    }
    return XpImageIoJpeg::ReadPixmapFromPath(path, scale, observer, convertToSRGB,
                                             applyOrientation);
  }

 private:
  Rendezvous& rendezvous_;
  std::atomic<int>& missed_;
};

// What one converted item came to: its file's name and bytes, the time of
// writing replaced by kAnyTime; the source's path for an unconverted one.
struct Converted {
  std::string name;
  std::string bytes;
  bool operator==(const Converted& other) const = default;
};

class K2ExporterWithResize : public task_test::TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    fs::create_directories(TempFolder());
  }

  fs::path Picture(const std::string& relative, const XpSize& size = kSourceSize,
                   XpSharedPtr<XpTiffTagManager> tags = XpSharedPtr<XpTiffTagManager>()) {
    const fs::path path = Root() / relative;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(WriteGradientJpeg(path.string(), size.cx, size.cy, std::move(tags)));
    return path;
  }

  // An item of one file that is still written as it is.
  static K2ExportItem Item(const fs::path& path, double date = kShootingDate,
                           uint32_t contentType = kK2ContentTypeJpeg) {
    K2ExportItem item;
    item.contentType = contentType;
    item.sourceFolder = XpString::FromUtf8(path.parent_path().string()) + u"/";
    item.fileNames = {XpString::FromUtf8(path.filename().string())};
    item.shootingDate = date < 0.0 ? XpDateTime() : XpDateTime(date);
    item.fileToWrite = XpString::FromUtf8(path.string());
    return item;
  }

  XpSharedPtr<K2ExporterWithResizeConfig> Config(K2ExportItemVector& items,
                                                 uint32_t sizeChoice = 0, bool cutting = false) {
    return XpSharedPtr<K2ExporterWithResizeConfig>(new K2ExporterWithResizeConfig(
        XpString::FromUtf8(TempFolder().string()), cutting, sizeChoice, &items));
  }

  std::unique_ptr<Exporter> Make(
      K2ExportItemVector& items, uint32_t sizeChoice = 0,
      ResizeEngine::ReaderFactory readers = ResizeEngine::DefaultReaderFactory(),
      uint32_t conversions = Exporter::DefaultConversions()) {
    return std::make_unique<Exporter>(Config(items, sizeChoice), created_, std::move(readers),
                                      Clock(), conversions);
  }

  std::string InTemp(const std::string& name) const { return (TempFolder() / name).string(); }

  std::vector<std::string> CreatedNames() const {
    std::vector<std::string> names;
    for (const XpString& path : created_->Snapshot()) {
      names.push_back(fs::path(path.ToMultiByte().ToStdString()).filename().string());
    }
    return names;
  }

  // DateTimeOriginal of the JPEG's Exif IFD; "" without one.
  static std::string DateOriginalOf(const XpString& path) {
    const XpSharedPtr<XpTiffTagManager> tags = XpImageIoJpeg().ReadTagsFromPath(path);
    if (!tags || tags->GetExifIFD() == nullptr) {
      return "";
    }
    return tags->GetExifIFD()->GetAscii(kTagDateTimeOriginal).ToMultiByte().ToStdString();
  }

  // DateTime of the JPEG's first IFD; "" without one.
  static std::string DateTimeOf(const XpString& path) {
    const XpSharedPtr<XpTiffTagManager> tags = XpImageIoJpeg().ReadTagsFromPath(path);
    if (!tags || tags->GetIFD(0) == nullptr) {
      return "";
    }
    return tags->GetIFD(0)->GetAscii(kDateTimeTag).ToMultiByte().ToStdString();
  }

  K2ExportConfig TaskConfig(uint32_t size) {
    K2ExportConfig config;
    config.SetTempDir(XpString::FromUtf8(TempFolder().string()));
    config.SetChangeImageFileSize(true);
    config.SetImageFileSize(size);
    config.SetDestination(XpString::FromUtf8((Root() / "cam").string()));
    return config;
  }

  // The sizes of the pictures in the temporary folder and in the task's
  // folder in it, by name.
  std::vector<std::pair<std::string, XpSize>> TempPictures() const {
    std::vector<std::pair<std::string, XpSize>> pictures;
    for (const fs::path& path : task_test::FilesBelow(TempFolder())) {
      pictures.emplace_back(path.filename().string(), JpegSize(path.string()));
    }
    std::sort(pictures.begin(), pictures.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return pictures;
  }

  // Waits until every path exists; false when one did not in time.
  static bool WaitForFiles(const std::vector<std::string>& paths) {
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    for (const std::string& path : paths) {
      while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) {
          return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return true;
  }

  // Twenty pictures of mixed sizes and Exif orientations, some without
  // tags, four of one name in different folders (the first three begun
  // together); a movie among them.
  K2ExportItemVector MixedItems() {
    struct Shape {
      int32_t width;
      int32_t height;
      uint16_t orientation;
    };
    const Shape shapes[] = {
        {160, 120, 1},  {120, 160, 6},   {400, 300, 3},  {300, 400, 8},   {100, 100, 1},
        {1920, 1080, 1}, {1280, 720, 6}, {720, 1280, 1}, {2000, 20, 1},   {20, 2000, 8},
        {800, 600, 2},  {600, 800, 5},   {640, 480, 7},  {333, 777, 4},   {1024, 768, 1},
        {97, 61, 6},    {1921, 1081, 1}, {256, 1024, 3}, {480, 640, 1},   {1600, 1200, 6}};
    K2ExportItemVector items;
    for (size_t index = 0; index < std::size(shapes); ++index) {
      const Shape& shape = shapes[index];
      const bool sameName = index < 3 || index == 15;
      const std::string relative = sameName ? "d" + std::to_string(index) + "/IMG.JPG"
                                            : "p/P" + std::to_string(index) + ".JPG";
      const fs::path path = Root() / relative;
      if (!fs::exists(path)) {
        if (index % 5 == 4) {
          fs::create_directories(path.parent_path());
          EXPECT_TRUE(WritePlainGradientJpeg(path.string(), shape.width, shape.height));
        } else {
          XpSharedPtr<XpTiffTagManager> tags = ExifTagsWithDate(kSourceDate);
          tags->GetIFD(0)->SetShort(kOrientationTag, shape.orientation);
          tags->GetExifIFD()->SetAscii(kDateDigitizedTag, kSourceDate);
          Picture(relative, XpSize(shape.width, shape.height), tags);
        }
      }
      items.push_back(Item(path));
      if (index == 10) {
        const fs::path movie = Root() / "p/MOV.MPG";
        task_test::WriteBytes(movie, std::string(4096, 'm'));
        items.push_back(Item(movie, kShootingDate, kK2ContentTypeMovie));
      }
    }
    return items;
  }

  // What each item came to; the converted files are deleted.
  std::vector<Converted> Outcome(const K2ExportItemVector& items) {
    std::vector<Converted> outcome;
    for (const K2ExportItem& item : items) {
      const std::string path = item.fileToWrite.ToMultiByte().ToStdString();
      if (item.fileToWrite == item.FirstSourcePath()) {
        outcome.push_back({path, ""});
        continue;
      }
      std::ifstream in(path, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const std::string now = DateTimeOf(item.fileToWrite);
      EXPECT_EQ(now.size(), std::string(kAnyTime).size()) << path;
      for (size_t at = bytes.find(now); !now.empty() && at != std::string::npos;
           at = bytes.find(now, at)) {
        bytes.replace(at, now.size(), kAnyTime);
      }
      outcome.push_back({fs::path(path).filename().string(), bytes});
    }
    EXPECT_EQ(created_->DeleteAll(), kXpOk);
    EXPECT_TRUE(fs::is_empty(TempFolder()));
    return outcome;
  }

  // The mixed items converted one after another.
  std::vector<Converted> SequentialOutcome(uint32_t sizeChoice) {
    K2ExportItemVector items = MixedItems();
    EXPECT_EQ(Make(items, sizeChoice, ResizeEngine::DefaultReaderFactory(), 1)->ConvertAll(),
              kXpOk);
    return Outcome(items);
  }

  uint64_t TempBytes() const {
    uint64_t total = 0;
    for (const fs::path& path : task_test::FilesBelow(TempFolder())) {
      total += fs::file_size(path);
    }
    return total;
  }

  std::shared_ptr<K2CreatedFileList> created_ = std::make_shared<K2CreatedFileList>();
};

TEST_F(K2ExporterWithResize, ConvertedFilesTakeTheFirstFreeName) {
  Picture("p/IMG.JPG");
  Picture("p.d/NOEXT");
  task_test::WriteBytes(TempFolder() / "IMG.JPG.tmp", "older");
  task_test::WriteBytes(TempFolder() / "IMG(1).JPG.tmp", "older");
  K2ExportItemVector items = {Item(Root() / "p/IMG.JPG")};
  auto exporter = Make(items);

  ASSERT_EQ(exporter->ConvertAll(), kXpOk);
  EXPECT_EQ(items[0].fileToWrite.ToMultiByte().ToStdString(), InTemp("IMG(2).JPG.tmp"));
  EXPECT_EQ(JpegSize(InTemp("IMG(2).JPG.tmp")), XpSize(640, 480));
  EXPECT_EQ(CreatedNames(), std::vector<std::string>{"IMG(2).JPG.tmp"});

  // A dot in a folder name starts no extension. The name is listed before
  // the conversion, which fails for a file without a known extension.
  K2ExportItem noExtension = Item(Root() / "p.d/NOEXT");
  EXPECT_EQ(exporter->ExportOneResized(noExtension), kXpErrBadArgument);
  EXPECT_EQ(CreatedNames(), (std::vector<std::string>{"IMG(2).JPG.tmp", "NOEXT.tmp"}));
  EXPECT_EQ(noExtension.fileToWrite.ToMultiByte().ToStdString(), (Root() / "p.d/NOEXT").string());
}

TEST_F(K2ExporterWithResize, ConvertedFilesCarryTheShootingDate) {
  struct Row {
    const char* name;
    bool dated;
    double date;
    std::string expected;
  };
  // Without any date the JPEG writer stamps the file with the time it is
  // written, as it does DateTime: no date is made up from an invalid one.
  const std::string kWritersStamp = "the time of writing";
  const Row rows[] = {
      {"a source with its own date keeps it", true, kShootingDate, "2001:01:01 00:00:00"},
      {"a source without Exif gets the item's date", false, kShootingDate, "2023:03:15 12:00:00"},
      {"an invalid date adds none", false, -1.0, kWritersStamp},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path source = Root() / "p/DSC.JPG";
    if (row.dated) {
      Picture("p/DSC.JPG", kSourceSize, ExifTagsWithDate("2001:01:01 00:00:00"));
    } else {
      ASSERT_TRUE(WritePlainGradientJpeg(source.string(), kSourceSize.cx, kSourceSize.cy));
      ASSERT_FALSE(XpImageIoJpeg().ReadTagsFromPath(XpString::FromUtf8(source.string())));
    }
    K2ExportItemVector items = {Item(source, row.date)};
    auto exporter = Make(items);
    ASSERT_EQ(exporter->ConvertAll(), kXpOk);
    ASSERT_NE(items[0].fileToWrite, XpString::FromUtf8(source.string()));
    const std::string written = DateOriginalOf(items[0].fileToWrite);
    if (row.expected == kWritersStamp) {
      EXPECT_FALSE(written.empty());
      EXPECT_EQ(written, DateTimeOf(items[0].fileToWrite));
    } else {
      EXPECT_EQ(written, row.expected);
    }
  }
}

TEST_F(K2ExporterWithResize, OnlyJpegPicturesAreConvertedAtTheChosenSize) {
  struct Row {
    uint32_t sizeChoice;
    XpSize written;
  };
  // A 4:3 picture at the large size is fitted inside 2048 x 1536.
  const Row rows[] = {{0, {640, 480}}, {1, {2048, 1536}}, {2, {640, 480}}};
  const fs::path picture = Picture("p/PIC.JPG", XpSize(400, 300));
  const fs::path movie = Root() / "p/MOV.MPG";
  task_test::WriteBytes(movie, std::string(4096, 'm'));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sizeChoice);
    K2ExportItemVector items = {Item(movie, kShootingDate, kK2ContentTypeMovie), Item(picture)};
    auto exporter = Make(items, row.sizeChoice);
    EXPECT_EQ(exporter->GetEngine()->GetQuality(), kConversionQuality);
    ASSERT_EQ(exporter->ConvertAll(), kXpOk);
    EXPECT_EQ(items[0].fileToWrite.ToMultiByte().ToStdString(), movie.string());
    EXPECT_EQ(JpegSize(items[1].fileToWrite.ToMultiByte().ToStdString()), row.written);
    EXPECT_EQ(exporter->GetEngine()->GetSizeMode(), row.sizeChoice == 1 ? 1 : 0);
    EXPECT_EQ(created_->DeleteAll(), kXpOk);
  }
}

TEST_F(K2ExporterWithResize, StopDuringTheThirdDecodeLeavesTheRestOnTheirSources) {
  // One conversion at a time, and several at once: the pictures after the
  // third may be under way when the stop comes, yet they end unconverted
  // and leave no file.
  for (const uint32_t conversions : {1u, 4u}) {
    SCOPED_TRACE(conversions);
    K2ExportItemVector items;
    std::vector<fs::path> sources;
    for (int index = 1; index <= 5; ++index) {
      sources.push_back(Picture("p/P" + std::to_string(index) + ".JPG"));
      items.push_back(Item(sources.back()));
    }
    DecodeGate gate;
    std::atomic<int> readersMade{0};
    auto readers = [&gate, &readersMade](const XpString& path) {
      auto* reader = new RecordingReader();
      ++readersMade;
      // The third picture blocks in its decode.
      if (fs::path(path.ToMultiByte().ToStdString()).filename() == "P3.JPG") {
        reader->gate = &gate;
      }
      return XpSharedPtr<XpImageIo>(reader);
    };
    auto exporter = Make(items, 0, readers, conversions);

    XpResult result = kXpOk;
    std::thread worker([&] { result = exporter->ConvertAll(); });
    const bool arrived = gate.WaitForArrival();
    // The first two are written before the stop; with one conversion at a
    // time they are by the time the third decodes.
    const bool earlierWritten =
        WaitForFiles({InTemp("P1.JPG.tmp"), InTemp("P2.JPG.tmp")});
    EXPECT_EQ(exporter->Stop(), kXpOk);
    gate.Release();
    worker.join();

    ASSERT_TRUE(arrived);
    EXPECT_TRUE(earlierWritten);
    EXPECT_EQ(result, kXpErrCancelled);
    EXPECT_TRUE(exporter->IsCancelled());
    EXPECT_TRUE(exporter->GetEngine()->IsCancelled());
    EXPECT_EQ(items[0].fileToWrite.ToMultiByte().ToStdString(), InTemp("P1.JPG.tmp"));
    EXPECT_EQ(items[1].fileToWrite.ToMultiByte().ToStdString(), InTemp("P2.JPG.tmp"));
    for (size_t index = 2; index < items.size(); ++index) {
      EXPECT_EQ(items[index].fileToWrite.ToMultiByte().ToStdString(), sources[index].string())
          << index;
    }
    EXPECT_EQ(CreatedNames(),
              (std::vector<std::string>{"P1.JPG.tmp", "P2.JPG.tmp", "P3.JPG.tmp"}));
    EXPECT_FALSE(fs::exists(InTemp("P3.JPG.tmp")));
    if (conversions == 1) {
      EXPECT_EQ(readersMade.load(), 3);
    }

    // A stop is final.
    const int readersBefore = readersMade.load();
    EXPECT_EQ(exporter->ConvertAll(), kXpOk);
    EXPECT_EQ(readersMade.load(), readersBefore);
    EXPECT_EQ(created_->DeleteAll(), kXpOk);
    EXPECT_TRUE(fs::is_empty(TempFolder()));
  }
}

TEST_F(K2ExporterWithResize, FirstFailureEndsTheRun) {
  const fs::path broken = Root() / "p/B.JPG";
  task_test::WriteBytes(broken, "not a picture");
  K2ExportItemVector items = {Item(Picture("p/A.JPG")), Item(broken), Item(Picture("p/C.JPG"))};
  auto exporter = Make(items);

  EXPECT_NE(exporter->ConvertAll(), kXpOk);
  EXPECT_EQ(items[0].fileToWrite.ToMultiByte().ToStdString(), InTemp("A.JPG.tmp"));
  EXPECT_EQ(items[1].fileToWrite.ToMultiByte().ToStdString(), broken.string());
  EXPECT_EQ(items[2].fileToWrite.ToMultiByte().ToStdString(), (Root() / "p/C.JPG").string());
  EXPECT_EQ(CreatedNames(), (std::vector<std::string>{"A.JPG.tmp", "B.JPG.tmp"}));
}

TEST_F(K2ExporterWithResize, ViewFinishesOnItsNotification) {
  K2ExportItemVector items;
  auto exporter = Make(items);
  exporter->OnNotification(XpSharedPtr<XfNotification>(new XfNotificationInternal(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), 20026, XpSharedPtr<XfObject>(), false,
      true)));
  EXPECT_FALSE(exporter->IsViewFinished());
  exporter->OnNotification(XpSharedPtr<XfNotification>(new XfNotificationInternal(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), Exporter::kCodeViewFinished,
      XpSharedPtr<XfObject>(), false, true)));
  EXPECT_TRUE(exporter->IsViewFinished());
}

TEST_F(K2ExporterWithResize, ParallelConversionGivesTheSequentialFiles) {
  for (const uint32_t sizeChoice : {0u, 1u}) {
    SCOPED_TRACE(sizeChoice);
    const std::vector<Converted> sequential = SequentialOutcome(sizeChoice);
    ASSERT_EQ(sequential.size(), 21u);
    EXPECT_EQ(sequential[1].name, "IMG(1).JPG.tmp");
    EXPECT_EQ(sequential[2].name, "IMG(2).JPG.tmp");
    EXPECT_EQ(sequential[16].name, "IMG(3).JPG.tmp");

    // The first two decodes meet: they run at once.
    Rendezvous rendezvous(2);
    std::atomic<int> missed{0};
    auto readers = [&rendezvous, &missed](const XpString&) {
      return XpSharedPtr<XpImageIo>(new MeetingReader(rendezvous, missed));
    };
    K2ExportItemVector items = MixedItems();
    ASSERT_EQ(Make(items, sizeChoice, readers, 4)->ConvertAll(), kXpOk);
    EXPECT_EQ(missed.load(), 0);
    EXPECT_EQ(CreatedNames().size(), 20u);
    const std::vector<Converted> parallel = Outcome(items);
    ASSERT_EQ(parallel.size(), sequential.size());
    for (size_t index = 0; index < parallel.size(); ++index) {
      EXPECT_EQ(parallel[index].name, sequential[index].name) << index;
      EXPECT_TRUE(parallel[index].bytes == sequential[index].bytes) << index;
    }
  }
}

TEST_F(K2ExporterWithResize, PauseHoldsBackTheConversionsNotBegun) {
  const std::vector<Converted> sequential = SequentialOutcome(0);
  K2ExportItemVector items = MixedItems();
  DecodeGate gate;
  auto readers = [&gate](const XpString& path) {
    auto* reader = new RecordingReader();
    if (fs::path(path.ToMultiByte().ToStdString()).filename() == "P9.JPG") {
      reader->gate = &gate;
    }
    return XpSharedPtr<XpImageIo>(reader);
  };
  auto exporter = Make(items, 0, readers, 4);

  XpResult result = kXpErrGeneric;
  std::thread worker([&] { result = exporter->ConvertAll(); });
  const bool arrived = gate.WaitForArrival();
  EXPECT_EQ(exporter->Pause(), kXpOk);
  const int64_t sleepsBefore = Clock().Sleeps();
  gate.Release();
  // Parked in the pause wait: nothing more begins, however long it waits.
  const auto deadline = std::chrono::steady_clock::now() + kGuard;
  while (Clock().Sleeps() <= sleepsBefore && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  const size_t begunWhenParked = created_->Snapshot().size();
  const int64_t parkedAt = Clock().Sleeps();
  while (Clock().Sleeps() < parkedAt + 50 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  const size_t begunLater = created_->Snapshot().size();
  EXPECT_EQ(exporter->Resume(), kXpOk);
  worker.join();

  ASSERT_TRUE(arrived);
  EXPECT_GT(parkedAt, sleepsBefore);
  EXPECT_GE(Clock().Sleeps(), parkedAt + 50);
  EXPECT_EQ(begunLater, begunWhenParked);
  // The held picture is the tenth; at most four are under way.
  EXPECT_GE(begunWhenParked, 9u);
  EXPECT_LT(begunWhenParked, 20u);
  EXPECT_EQ(result, kXpOk);
  EXPECT_TRUE(Outcome(items) == sequential);
}

TEST_F(K2ExporterWithResize, ConvertingDoesNotWaitForTheMedium) {
  K2ExportItemVector items = MixedItems();
  auto exporter = Make(items, 0, ResizeEngine::DefaultReaderFactory(), 4);
  SyncCounter syncs;
  ASSERT_EQ(exporter->ConvertAll(), kXpOk);
  EXPECT_EQ(syncs.Count(), 0);
  EXPECT_EQ(CreatedNames().size(), 20u);

  // Any other writer still syncs what it writes: the file, then its folder.
  EXPECT_TRUE(WriteGradientJpeg(InTemp("durable.jpg"), kSourceSize.cx, kSourceSize.cy));
  EXPECT_EQ(syncs.Count(), 2);
}

// The export task manager with the resizing converter.
TEST_F(K2ExporterWithResize, TaskPreparationConvertsAndFollowsTheSize) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg,
               {XpString::FromUtf8(Picture("p/A.JPG", XpSize(400, 300)).string())}, kShootingDate);
  handOver.Add(kK2ContentTypeJpeg,
               {XpString::FromUtf8(Picture("p/B.JPG", XpSize(300, 400)).string())}, kShootingDate);
  const fs::path movie = Root() / "p/M.MPG";
  task_test::WriteBytes(movie, std::string(7000, 'm'));
  handOver.Add(kK2ContentTypeMovie, {XpString::FromUtf8(movie.string())}, kShootingDate);

  Manager manager(Clock());
  manager.SetConverterFactory(Exporter::Factory(ResizeEngine::DefaultReaderFactory(), Clock()));
  ASSERT_EQ(manager.Start(TaskConfig(0), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
  using Pictures = std::vector<std::pair<std::string, XpSize>>;
  EXPECT_EQ(TempPictures(), (Pictures{{"A.JPG.tmp", {640, 480}}, {"B.JPG.tmp", {360, 480}}}));
  const std::vector<task_test::Seen> first = Observer().WithCode(Manager::kCodePrepared);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].total, TempBytes() + 7000u);

  EXPECT_EQ(manager.SetConfig(TaskConfig(1)), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared, 2));
  EXPECT_EQ(TempPictures(), (Pictures{{"A.JPG.tmp", {2048, 1536}}, {"B.JPG.tmp", {1152, 1536}}}));
  EXPECT_EQ(Observer().WithCode(Manager::kCodePrepared)[1].total, TempBytes() + 7000u);

  EXPECT_EQ(manager.Stop(), kXpOk);
  (void)manager.WaitUntilFinished();  // only the join matters here
  EXPECT_TRUE(fs::is_empty(TempFolder()));
  EXPECT_TRUE(fs::exists(Root() / "p/A.JPG"));
}

}  // namespace
}  // namespace resizetest
