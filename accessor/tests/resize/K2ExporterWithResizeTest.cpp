#include "accessor/resize/K2ExporterWithResize.h"

#include <algorithm>
#include <filesystem>
#include <memory>
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
#include "imaging/tags/XpTiffTagManager.h"

namespace resizetest {
namespace {

namespace fs = std::filesystem;
using Exporter = ::K2ExporterWithResize;
using Manager = ::K2ExportTaskManager;
using task_test::ExifTagsWithDate;
using task_test::HandOver;
using task_test::Narrow;
using task_test::Wide;

constexpr double kShootingDate = 45000.5;  // 2023-03-15 12:00:00
constexpr uint32_t kConversionQuality = 90;
constexpr uint16_t kDateTimeTag = 306;
const XpSize kSourceSize(160, 120);

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
    item.sourceFolder = Wide(path.parent_path()) + u"/";
    item.fileNames = {Wide(path.filename())};
    item.shootingDate = date < 0.0 ? XpDateTime() : XpDateTime(date);
    item.fileToWrite = Wide(path);
    return item;
  }

  XpSharedPtr<K2ExporterWithResizeConfig> Config(K2ExportItemVector& items,
                                                 uint32_t sizeChoice = 0, bool cutting = false) {
    return XpSharedPtr<K2ExporterWithResizeConfig>(
        new K2ExporterWithResizeConfig(Wide(TempFolder()), cutting, sizeChoice, &items));
  }

  std::unique_ptr<Exporter> Make(K2ExportItemVector& items, uint32_t sizeChoice = 0,
                                 ResizeEngine::ReaderFactory readers =
                                     ResizeEngine::DefaultReaderFactory()) {
    return std::make_unique<Exporter>(Config(items, sizeChoice), created_, std::move(readers),
                                      Clock());
  }

  std::string InTemp(const std::string& name) const { return (TempFolder() / name).string(); }

  std::vector<std::string> CreatedNames() const {
    std::vector<std::string> names;
    for (const XpString& path : created_->Snapshot()) {
      names.push_back(fs::path(Narrow(path)).filename().string());
    }
    return names;
  }

  // DateTimeOriginal of the JPEG's Exif IFD; "" without one.
  static std::string DateOriginalOf(const XpString& path) {
    const XpSharedPtr<XpTiffTagManager> tags = XpImageIoJpeg().ReadTagsFromPath(path);
    if (!tags || tags->GetExifIFD() == nullptr) {
      return "";
    }
    return Narrow(tags->GetExifIFD()->GetAscii(kK2TagDateTimeOriginal));
  }

  // DateTime of the JPEG's first IFD; "" without one.
  static std::string DateTimeOf(const XpString& path) {
    const XpSharedPtr<XpTiffTagManager> tags = XpImageIoJpeg().ReadTagsFromPath(path);
    if (!tags || tags->GetIFD(0) == nullptr) {
      return "";
    }
    return Narrow(tags->GetIFD(0)->GetAscii(kDateTimeTag));
  }

  K2ExportConfig TaskConfig(uint32_t size) {
    K2ExportConfig config;
    config.SetTempDir(Wide(TempFolder()));
    config.SetChangeImageFileSize(true);
    config.SetImageFileSize(size);
    config.SetDestination(Wide(Root() / "cam"));
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
  EXPECT_EQ(Narrow(items[0].fileToWrite), InTemp("IMG(2).JPG.tmp"));
  EXPECT_EQ(JpegSize(InTemp("IMG(2).JPG.tmp")), XpSize(640, 480));
  EXPECT_EQ(CreatedNames(), std::vector<std::string>{"IMG(2).JPG.tmp"});

  // A dot in a folder name starts no extension. The name is listed before
  // the conversion, which fails for a file without a known extension.
  K2ExportItem noExtension = Item(Root() / "p.d/NOEXT");
  EXPECT_EQ(exporter->ExportOneResized(noExtension), kXpErrBadArgument);
  EXPECT_EQ(CreatedNames(), (std::vector<std::string>{"IMG(2).JPG.tmp", "NOEXT.tmp"}));
  EXPECT_EQ(Narrow(noExtension.fileToWrite), (Root() / "p.d/NOEXT").string());
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
      ASSERT_FALSE(XpImageIoJpeg().ReadTagsFromPath(Wide(source)));
    }
    K2ExportItemVector items = {Item(source, row.date)};
    auto exporter = Make(items);
    ASSERT_EQ(exporter->ConvertAll(), kXpOk);
    ASSERT_NE(items[0].fileToWrite, Wide(source));
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
    EXPECT_EQ(Narrow(items[0].fileToWrite), movie.string());
    EXPECT_EQ(JpegSize(Narrow(items[1].fileToWrite)), row.written);
    EXPECT_EQ(exporter->GetEngine()->GetSizeMode(), row.sizeChoice == 1 ? 1 : 0);
    EXPECT_EQ(created_->DeleteAll(), kXpOk);
  }
}

TEST_F(K2ExporterWithResize, StopDuringTheThirdDecodeLeavesTheRestOnTheirSources) {
  K2ExportItemVector items;
  std::vector<fs::path> sources;
  for (int index = 1; index <= 5; ++index) {
    sources.push_back(Picture("p/P" + std::to_string(index) + ".JPG"));
    items.push_back(Item(sources.back()));
  }
  DecodeGate gate;
  int readersMade = 0;
  auto readers = [&gate, &readersMade](const XpString&) {
    auto* reader = new RecordingReader();
    // The first two pictures each take one reader; the third one blocks.
    if (++readersMade == 3) {
      reader->gate = &gate;
    }
    return XpSharedPtr<XpImageIo>(reader);
  };
  auto exporter = Make(items, 0, readers);

  XpResult result = kXpOk;
  std::thread worker([&] { result = exporter->ConvertAll(); });
  const bool arrived = gate.WaitForArrival();
  EXPECT_EQ(exporter->Stop(), kXpOk);
  gate.Release();
  worker.join();

  ASSERT_TRUE(arrived);
  EXPECT_EQ(result, kXpErrCancelled);
  EXPECT_TRUE(exporter->IsCancelled());
  EXPECT_TRUE(exporter->GetEngine()->IsCancelled());
  EXPECT_EQ(Narrow(items[0].fileToWrite), InTemp("P1.JPG.tmp"));
  EXPECT_EQ(Narrow(items[1].fileToWrite), InTemp("P2.JPG.tmp"));
  for (size_t index = 2; index < items.size(); ++index) {
    EXPECT_EQ(Narrow(items[index].fileToWrite), sources[index].string()) << index;
  }
  EXPECT_EQ(CreatedNames(), (std::vector<std::string>{"P1.JPG.tmp", "P2.JPG.tmp", "P3.JPG.tmp"}));
  EXPECT_FALSE(fs::exists(InTemp("P3.JPG.tmp")));

  // A stop is final.
  EXPECT_EQ(exporter->ConvertAll(), kXpOk);
  EXPECT_EQ(readersMade, 3);
  EXPECT_EQ(created_->DeleteAll(), kXpOk);
  EXPECT_TRUE(fs::is_empty(TempFolder()));
}

TEST_F(K2ExporterWithResize, FirstFailureEndsTheRun) {
  const fs::path broken = Root() / "p/B.JPG";
  task_test::WriteBytes(broken, "not a picture");
  K2ExportItemVector items = {Item(Picture("p/A.JPG")), Item(broken), Item(Picture("p/C.JPG"))};
  auto exporter = Make(items);

  EXPECT_NE(exporter->ConvertAll(), kXpOk);
  EXPECT_EQ(Narrow(items[0].fileToWrite), InTemp("A.JPG.tmp"));
  EXPECT_EQ(Narrow(items[1].fileToWrite), broken.string());
  EXPECT_EQ(Narrow(items[2].fileToWrite), (Root() / "p/C.JPG").string());
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

// The export task manager with the resizing converter.
TEST_F(K2ExporterWithResize, TaskPreparationConvertsAndFollowsTheSize) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {Wide(Picture("p/A.JPG", XpSize(400, 300)))}, kShootingDate);
  handOver.Add(kK2ContentTypeJpeg, {Wide(Picture("p/B.JPG", XpSize(300, 400)))}, kShootingDate);
  const fs::path movie = Root() / "p/M.MPG";
  task_test::WriteBytes(movie, std::string(7000, 'm'));
  handOver.Add(kK2ContentTypeMovie, {Wide(movie)}, kShootingDate);

  Manager manager(Clock());
  manager.SetConverterFactory(Exporter::Factory(ResizeEngine::DefaultReaderFactory(), Clock()));
  ASSERT_EQ(manager.Start(TaskConfig(0), handOver.Document(), nullptr), kXpOk);
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared));
  using Pictures = std::vector<std::pair<std::string, XpSize>>;
  EXPECT_EQ(TempPictures(), (Pictures{{"A.JPG.tmp", {640, 480}}, {"B.JPG.tmp", {360, 480}}}));
  const std::vector<task_test::Seen> first = Observer().WithCode(Manager::kCodePrepared);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].total, TempBytes() + 7000u);

  manager.SetConfig(TaskConfig(1));
  ASSERT_TRUE(Observer().WaitFor(Manager::kCodePrepared, 2));
  EXPECT_EQ(TempPictures(), (Pictures{{"A.JPG.tmp", {2048, 1536}}, {"B.JPG.tmp", {1152, 1536}}}));
  EXPECT_EQ(Observer().WithCode(Manager::kCodePrepared)[1].total, TempBytes() + 7000u);

  manager.Stop();
  manager.WaitUntilFinished();
  EXPECT_TRUE(fs::is_empty(TempFolder()));
  EXPECT_TRUE(fs::exists(Root() / "p/A.JPG"));
}

}  // namespace
}  // namespace resizetest
