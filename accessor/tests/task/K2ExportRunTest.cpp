#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accessor/task/K2ExifTagHelper.h"
#include "accessor/task/K2ExportResult.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "accessor/tests/task/FakeXdbAccessor.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "framework/notify/XfNotification.h"
#include "framework/progress/XfViewProgress.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/RunQuietly.h"
#include "platform/testsupport/TmpfsMount.h"

namespace task_test {
namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using testsupport::SysCall;

// 2023-03-15 12:00:00 as the hand-over file gives it.
constexpr double kShootingDay = 45000.5;
constexpr const char* kShootingDateText = "2023:03:15 12:00:00";
constexpr int64_t kPlentyOfSpace = int64_t{1} << 40;
constexpr uint64_t kMargin = 47185920;
constexpr uint32_t kDefaultCluster = 32768;
constexpr const char* kDcfFolder = "DCIM/101ZXDCF";

// A manager whose copy progress the test can act on.
class RunManager : public ::K2ExportTaskManager {
 public:
  using ::K2ExportTaskManager::K2ExportTaskManager;
  using ::K2ExportTaskManager::ReencodeJpegIfNeeded;

  ~RunManager() override {
    EXPECT_EQ(Stop(), kXpOk);
    (void)WaitUntilFinished();  // only the join matters here
  }

  void SetProgressHook(std::function<void(double)> hook) { hook_ = std::move(hook); }

  bool Execute(double percent) override {
    if (hook_) {
      hook_(percent);
    }
    return ::K2ExportTaskManager::Execute(percent);
  }

 private:
  std::function<void(double)> hook_;
};

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const char* prefix, int first, int last, const char* extension) {
  std::vector<std::string> names;
  for (int number = first; number <= last; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%04d%s", prefix, number, extension);
    names.push_back(name);
  }
  return names;
}

class K2ExportRun : public TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    fs::create_directories(TempFolder());
    sysfs_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    sysfs_->AddMount({"/", "ext4", "/dev/sda1", 8, 1});
    NewCamera("cam");
  }
  void TearDown() override {
    manager_.reset();
    TaskTest::TearDown();
  }

  // A new, empty camera mounted at Root()/name; later runs export to it.
  void NewCamera(const std::string& name) {
    camera_ = Root() / name;
    fs::create_directories(camera_);
    sysfs_->AddMount({camera_.string(), "vfat", "/dev/sdb1", 8, 17});
  }
  void UnmountCamera() { sysfs_->RemoveMount(camera_.string()); }
  const fs::path& Camera() const { return camera_; }
  fs::path OnCamera(const std::string& relative) const { return camera_ / relative; }
  // The camera's files and folders, relative and sorted.
  std::vector<std::string> CameraTree() const {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(camera_)) {
      entries.push_back(fs::relative(entry.path(), camera_).string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  // A picture with tags and a thumbnail IFD, or without any Exif block.
  XpString Picture(const std::string& relative, bool withThumbnail = true) {
    const fs::path path = Root() / relative;
    if (withThumbnail) {
      WriteJpeg(path, ExifTagsWithDate("2020:01:02 03:04:05"));
    } else {
      WritePlainJpeg(path);
    }
    return XpString::FromUtf8(path.string());
  }
  XpString File(const std::string& relative, const std::string& bytes) {
    WriteBytes(Root() / relative, bytes);
    return XpString::FromUtf8((Root() / relative).string());
  }
  // count pictures in the source folder, one content each.
  void AddPictures(HandOver& handOver, const std::string& folder, int count) {
    for (const std::string& name : Names("p", 1, count, ".JPG")) {
      handOver.Add(kK2ContentTypeJpeg, {Picture(folder + "/" + name)}, kShootingDay);
    }
  }

  K2ExportConfig Config() const {
    K2ExportConfig config;
    config.SetTempDir(XpString::FromUtf8(TempFolder().string()));
    config.SetChangeImageFileSize(false);
    config.SetDestination(XpString::FromUtf8(camera_.string()));
    return config;
  }

  // A fresh manager over the fake album database and the injected free
  // space; the previous one goes first.
  RunManager& NewManager() {
    manager_.reset();
    manager_ = std::make_unique<RunManager>(Clock());
    manager_->SetXdbAccessorFactory(factory_ ? factory_ : MakeFakeXdbFactory(ledger_));
    manager_->SetFreeSpaceQuery([this](const XpString&) { return freeSpace_; });
    manager_->SetMovieServer(XpString::FromUtf8(movieFolder_.string()), movieOptions_);
    Observer().SetManager(manager_.get());
    return *manager_;
  }
  RunManager& Manager() { return *manager_; }

  // Starts the task, releases it at once and returns its result.
  XpResult Run(const HandOver& handOver, XfViewProgress* view = nullptr) {
    if (!manager_) {
      NewManager();
    }
    EXPECT_EQ(manager_->Start(Config(), handOver.Document(), view), kXpOk);
    EXPECT_EQ(manager_->Interrupt(), kXpOk);
    return manager_->WaitUntilFinished();
  }

  std::vector<std::string> Calls() const { return ledger_->Calls(); }
  size_t CountCalls(const std::string& prefix) const {
    size_t count = 0;
    for (const std::string& call : Calls()) {
      count += call.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
  }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
  testsupport::FaultInjection faults_;
  std::shared_ptr<XdbLedger> ledger_ = std::make_shared<XdbLedger>();
  K2ExportTaskManager::XdbAccessorFactory factory_;
  int64_t freeSpace_ = kPlentyOfSpace;
  fs::path movieFolder_;
  XpImageIoMovieOptions movieOptions_;

 private:
  fs::path camera_;
  std::unique_ptr<RunManager> manager_;
};

TEST_F(K2ExportRun, RecordsEveryPictureAndCommitsEveryTenInExportOrder) {
  HandOver handOver;
  AddPictures(handOver, "Party", 25);
  ASSERT_TRUE(FileHasThumbnailIFD(XpString::FromUtf8((Root() / "Party/p0001.JPG").string())));

  EXPECT_EQ(Run(handOver), kXpOk);

  std::vector<std::string> expected{"CreateAlbum Party"};
  const std::vector<std::string> written = Names("QMVS", 1, 25, ".JPG");
  for (size_t i = 0; i < written.size(); ++i) {
    expected.push_back("CreateContent " + written[i]);
    if (i == 9 || i == 19 || i == 24) {
      expected.push_back("Commit");
    }
  }
  expected.push_back("Release");
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(ledger_->ContentsPerCommit(), (std::vector<size_t>{10, 10, 5}));

  const std::vector<RecordedContent> contents = ledger_->Contents();
  ASSERT_EQ(contents.size(), 25u);
  const std::vector<std::string> sources = Names("p", 1, 25, ".JPG");
  for (size_t i = 0; i < contents.size(); ++i) {
    const fs::path landed = OnCamera(std::string(kDcfFolder) + "/" + written[i]);
    EXPECT_EQ(contents[i].path, landed.string());
    EXPECT_EQ(ReadBytes(landed), ReadBytes(Root() / "Party" / sources[i])) << written[i];
  }
  EXPECT_FALSE(fs::exists(OnCamera("TRANS.TXT")));
  EXPECT_TRUE(Observer().WaitFor(K2ExportTaskManager::kCodeFileStarts, 25));
}

TEST_F(K2ExportRun, AHandOverThatNamesFilesFromTheWorkingFolderIsExported) {
  Picture("Party/p0001.JPG");
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {XpString(u"Party/./p0001.JPG")}, kShootingDay);
  const fs::path before = fs::current_path();
  fs::current_path(Root());

  EXPECT_EQ(Run(handOver), kXpOk);
  fs::current_path(before);

  const std::vector<RecordedContent> contents = ledger_->Contents();
  ASSERT_EQ(contents.size(), 1u);
  const fs::path landed = OnCamera(std::string(kDcfFolder) + "/QMVS0001.JPG");
  EXPECT_EQ(contents[0].path, landed.string());
  EXPECT_EQ(contents[0].album, "Party");
  EXPECT_EQ(ReadBytes(landed), ReadBytes(Root() / "Party/p0001.JPG"));
}

TEST_F(K2ExportRun, AlbumsFavouritesAndUniversalDates) {
  // Five hours east of UTC, so that local and universal times differ; the
  // fixture restores the zone.
  SetEnv("TZ", "XST-5");
  tzset();
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {Picture("Party/a.JPG")}, kShootingDay);
  handOver.Add(kK2ContentTypeJpeg, {Picture("Party/b.JPG")}, kShootingDay, {2, 5, 7});
  handOver.Add(kK2ContentTypeJpeg, {Picture("Trip/c.JPG")}, kShootingDay, {1});
  handOver.Add(kK2ContentTypeJpeg, {Picture("Trip/d.JPG")}, kShootingDay, {6, 0});

  EXPECT_EQ(Run(handOver), kXpOk);

  EXPECT_EQ(CountCalls("CreateAlbum Party"), 1u);
  EXPECT_EQ(CountCalls("CreateAlbum Trip"), 1u);
  const std::vector<RecordedContent> contents = ledger_->Contents();
  ASSERT_EQ(contents.size(), 4u);
  const std::vector<std::string> albums{"Party", "Party", "Trip", "Trip"};
  const std::vector<int32_t> flags{0, 0x12, 0x1, 0x20};
  const K2ExportItemVector items = Manager().GetExportableItems();
  ASSERT_EQ(items.size(), 4u);
  for (size_t i = 0; i < contents.size(); ++i) {
    EXPECT_EQ(contents[i].album, albums[i]);
    EXPECT_EQ(contents[i].flags, flags[i]);
    const XpDateTime utc = K2LocalToUtc(items[i].shootingDate);
    EXPECT_DOUBLE_EQ(contents[i].date.GetValue(), utc.GetValue());
    EXPECT_EQ(contents[i].date.GetHour(), 7);
  }
}

TEST_F(K2ExportRun, NothingIsWrittenBeforeTheChecksPass) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {Picture("Party/a.JPG")}, kShootingDay);
  handOver.Add(kK2ContentTypeJpeg, {Picture("Trip/b.JPG")}, kShootingDay);
  uint64_t rounded = 0;
  for (const char* name : {"Party/a.JPG", "Trip/b.JPG"}) {
    const auto size = static_cast<uint64_t>(fs::file_size(Root() / name));
    rounded += (size + kDefaultCluster - 1) / kDefaultCluster * kDefaultCluster;
  }
  const auto exactSpace = static_cast<int64_t>(rounded + kMargin);

  struct Case {
    const char* what;
    int64_t freeSpace;
    int64_t contentCapacity;
    int64_t albumCapacity;
    bool tempFolder;
    bool accessor;
    bool unmountInFactory;
    XpResult expected;
  };
  const Case cases[] = {
      {"one byte short", exactSpace - 1, 2, 2, true, true, false, kK2ErrCameraFull},
      {"space unknown", -1, 2, 2, true, true, false, kK2ErrCameraFull},
      {"one content too many", exactSpace, 1, 2, true, true, false, kK2ErrTooManyContents},
      {"one album too many", exactSpace, 2, 1, true, true, false, kK2ErrTooManyContents},
      {"no temporary folder", exactSpace, 2, 2, false, true, false, kK2ErrNoTempDir},
      {"no album database", exactSpace, 2, 2, true, false, false, kK2ErrAlbumDatabase},
      {"no album database, camera gone", exactSpace, 2, 2, true, false, true, kK2ErrCameraGone},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewCamera("cam" + std::to_string(++number));
    // The cluster size cannot be read: the default one counts.
    faults_.Clear();
    const int statvfs = faults_.Add(Fault(SysCall::kStatvfs, Camera().string()).Errno(EIO));
    ledger_ = std::make_shared<XdbLedger>();
    ledger_->SetCapacities(c.contentCapacity, c.albumCapacity);
    const std::shared_ptr<XdbLedger> ledger = c.accessor ? ledger_ : nullptr;
    factory_ = [this, ledger, c](XdbAccessor::IXdbAccessor** out, const XpString& root) {
      if (c.unmountInFactory) {
        UnmountCamera();
      }
      return MakeFakeXdbFactory(ledger)(out, root);
    };
    if (c.tempFolder) {
      fs::create_directories(TempFolder());
    } else {
      fs::remove_all(TempFolder());
    }
    freeSpace_ = c.freeSpace;
    NewManager();

    EXPECT_EQ(Run(handOver), c.expected);
    EXPECT_TRUE(CameraTree().empty()) << CameraTree().front();
    EXPECT_EQ(CountCalls("CreateContent"), 0u);
    EXPECT_EQ(ledger_->Released(), c.accessor);
    if (c.accessor) {
      EXPECT_GT(faults_.Hits(statvfs), 0);
    }
  }

  // Exactly the rounded total and the margin is enough.
  NewCamera("enough");
  faults_.Clear();
  faults_.Add(Fault(SysCall::kStatvfs, Camera().string()).Errno(EIO));
  fs::create_directories(TempFolder());
  ledger_ = std::make_shared<XdbLedger>();
  factory_ = nullptr;
  freeSpace_ = exactSpace;
  NewManager();
  EXPECT_EQ(Run(handOver), kXpOk);
  EXPECT_EQ(CameraTree(),
            (std::vector<std::string>{"DCIM", kDcfFolder, std::string(kDcfFolder) + "/QMVS0001.JPG",
                                      std::string(kDcfFolder) + "/QMVS0002.JPG"}));
}

TEST_F(K2ExportRun, PicturesWithoutAThumbnailAreReencodedWithTheirDate) {
  HandOver handOver;
  const XpString plain = Picture("Party/a_plain.JPG", false);
  const XpString tagged = Picture("Party/b_tagged.JPG", true);
  handOver.Add(kK2ContentTypeJpeg, {plain}, kShootingDay);
  handOver.Add(kK2ContentTypeJpeg, {tagged}, kShootingDay);
  ASSERT_FALSE(FileHasThumbnailIFD(plain));
  bool reservedDuringRun = false;
  ledger_->SetHook([&](XdbOp op) {
    if (op != XdbOp::kCreateContent) {
      return;
    }
    for (const fs::path& file : FilesBelow(TempFolder())) {
      reservedDuringRun = reservedDuringRun ||
                          (file.filename() == "QMVS0000.JPG.tmp" && fs::file_size(file) > 0);
    }
  });

  EXPECT_EQ(Run(handOver), kXpOk);

  EXPECT_TRUE(reservedDuringRun);
  EXPECT_TRUE(fs::is_empty(TempFolder()));
  const fs::path reencoded = OnCamera(std::string(kDcfFolder) + "/QMVS0001.JPG");
  const fs::path copied = OnCamera(std::string(kDcfFolder) + "/QMVS0002.JPG");
  EXPECT_NE(ReadBytes(reencoded), ReadBytes(Root() / "Party/a_plain.JPG"));
  EXPECT_TRUE(FileHasThumbnailIFD(XpString::FromUtf8(reencoded.string())));
  XpSharedPtr<XpTiffTagManager> tags;
  ASSERT_EQ(::K2ExifTagHelper().EnsureDateTimeOriginal(XpString::FromUtf8(reencoded.string()),
                                                       XpDateTime(), tags),
            kXpOk);
  ASSERT_TRUE(tags && tags->GetExifIFD() != nullptr);
  EXPECT_EQ(tags->GetExifIFD()->GetAscii(kTagDateTimeOriginal).ToMultiByte().ToStdString(),
            kShootingDateText);
  EXPECT_EQ(ReadBytes(copied), ReadBytes(Root() / "Party/b_tagged.JPG"));
  EXPECT_EQ(ledger_->Contents().size(), 2u);

  // The re-encoded picture is shown as its source.
  ASSERT_TRUE(Observer().WaitFor(K2ExportTaskManager::kCodeFileStarts, 2));
  const std::vector<Seen> shown = Observer().WithCode(K2ExportTaskManager::kCodeFileStarts);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].pictureFile, (Root() / "Party/a_plain.JPG").string());
  EXPECT_EQ(shown[0].albumName, "Party");
  EXPECT_EQ(shown[0].fileName, "a_plain.JPG");
  EXPECT_EQ(shown[1].pictureFile, (Root() / "Party/b_tagged.JPG").string());
}

TEST_F(K2ExportRun, DamagedPictureFailsAndLeavesNoReservedFile) {
  const XpString damaged = Picture("Party/damaged.JPG", false);
  const std::string bytes = ReadBytes(Root() / "Party/damaged.JPG");
  WriteBytes(Root() / "Party/damaged.JPG", bytes.substr(0, bytes.size() / 3));
  // The part itself, while the task idles before its release.
  RunManager& manager = NewManager();
  EXPECT_EQ(manager.Start(Config(), HandOver().Document(), nullptr), kXpOk);
  K2ExportItem item;
  item.contentType = kK2ContentTypeJpeg;
  item.sourceFolder = XpString::FromUtf8((Root() / "Party").string()) + u"/";
  item.fileNames = {u"damaged.JPG"};
  item.fileToWrite = damaged;
  EXPECT_EQ(manager.ReencodeJpegIfNeeded(item), kXpErrImageBadRegion);
  EXPECT_TRUE(FilesBelow(TempFolder()).empty());
  EXPECT_EQ(item.fileToWrite, damaged);

  // The whole run.
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {damaged}, kShootingDay);
  NewManager();
  EXPECT_EQ(Run(handOver), kXpErrImageBadRegion);
  EXPECT_TRUE(fs::is_empty(TempFolder()));
  EXPECT_FALSE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0001.JPG")));
  EXPECT_TRUE(fs::exists(OnCamera("TRANS.TXT")));
}

// The picture's frame header made to declare side x side pixels.
void DeclareSide(const fs::path& path, uint16_t side) {
  constexpr uint8_t kMarker = 0xFF;
  constexpr uint8_t kBaselineFrame = 0xC0;
  // After the marker: length (2), precision (1), height (2), width (2).
  constexpr size_t kHeightAt = 5;
  constexpr size_t kWidthAt = 7;
  std::string bytes = ReadBytes(path);
  const std::string frameMarker{static_cast<char>(kMarker), static_cast<char>(kBaselineFrame)};
  const size_t frame = bytes.find(frameMarker);
  ASSERT_NE(frame, std::string::npos);
  for (const size_t at : {frame + kHeightAt, frame + kWidthAt}) {
    bytes[at] = static_cast<char>(side >> 8);
    bytes[at + 1] = static_cast<char>(side & 0xFF);
  }
  WriteBytes(path, bytes);
}

TEST_F(K2ExportRun, AReencodedPictureIsWhatTheWholePictureWriteMakes) {
  const XpString plain = Picture("Party/plain.JPG", false);
  RunManager& manager = NewManager();
  ASSERT_EQ(manager.Start(Config(), HandOver().Document(), nullptr), kXpOk);
  K2ExportItem item;
  item.contentType = kK2ContentTypeJpeg;
  item.sourceFolder = XpString::FromUtf8((Root() / "Party").string()) + u"/";
  item.fileNames = {u"plain.JPG"};
  item.fileToWrite = plain;
  item.shootingDate = XpDateTime(2023, 3, 15, 12, 0, 0);
  ASSERT_EQ(manager.ReencodeJpegIfNeeded(item), kXpOk);
  ASSERT_NE(item.fileToWrite, plain);

  // The picture decoded whole and written with the same tags.
  XpSharedPtr<XpTiffTagManager> tags;
  ASSERT_EQ(::K2ExifTagHelper().EnsureDateTimeOriginal(plain, item.shootingDate, tags), kXpOk);
  const std::unique_ptr<XpPixmapBase> pixmap(
      XpImageIoJpeg().ReadPixmapFromPath(plain, 1, nullptr, false, false));
  ASSERT_NE(pixmap, nullptr);
  const fs::path whole = Root() / "whole.JPG";
  XpImageIoJpeg writer(70, u"Orvane");
  ASSERT_EQ(writer.WriteToPath(pixmap.get(), tags, XpString::FromUtf8(whole.string()), nullptr,
                               XpRect(), false, false),
            kXpOk);
  std::string expected = ReadBytes(whole);
  const std::string reencoded = ReadBytes(item.fileToWrite.ToMultiByte().ToStdString());
  // Both carry the time they were written at.
  // The scratch file's name does not tell its kind.
  XpSharedPtr<XpTiffTagManager> written = XpImageIoJpeg().ReadTagsFromPath(item.fileToWrite);
  XpSharedPtr<XpTiffTagManager> made =
      XpImageIoJpeg().ReadTagsFromPath(XpString::FromUtf8(whole.string()));
  ASSERT_TRUE(written && made && written->GetIFD(0) != nullptr && made->GetIFD(0) != nullptr);
  const std::string writtenAt = written->GetIFD(0)->GetAscii(306).ToMultiByte().ToStdString();
  const std::string madeAt = made->GetIFD(0)->GetAscii(306).ToMultiByte().ToStdString();
  ASSERT_EQ(writtenAt.size(), madeAt.size());
  for (size_t at = expected.find(madeAt); at != std::string::npos;
       at = expected.find(madeAt, at + madeAt.size())) {
    expected.replace(at, madeAt.size(), writtenAt);
  }
  EXPECT_TRUE(reencoded == expected);
}

TEST_F(K2ExportRun, APictureBeyondTheReadersPixelLimitIsReencoded) {
  constexpr uint16_t kSide = 16400;
  const XpString plain = Picture("Party/large.JPG", false);
  DeclareSide(Root() / "Party/large.JPG", kSide);
  ASSERT_EQ(std::unique_ptr<XpPixmapBase>(
                XpImageIoJpeg().ReadPixmapFromPath(plain, 1, nullptr, false, false)),
            nullptr);
  RunManager& manager = NewManager();
  ASSERT_EQ(manager.Start(Config(), HandOver().Document(), nullptr), kXpOk);
  K2ExportItem item;
  item.contentType = kK2ContentTypeJpeg;
  item.sourceFolder = XpString::FromUtf8((Root() / "Party").string()) + u"/";
  item.fileNames = {u"large.JPG"};
  item.fileToWrite = plain;
  ASSERT_EQ(manager.ReencodeJpegIfNeeded(item), kXpOk);
  ASSERT_NE(item.fileToWrite, plain);
  const XpSharedPtr<XpTiffTagManager> tags = XpImageIoJpeg().ReadTagsFromPath(item.fileToWrite);
  EXPECT_TRUE(tags && tags->GetIFD(1) != nullptr);
  XpSize size;
  EXPECT_EQ(XpImageIoJpeg().ReadImageSizeFlag1FromPath(item.fileToWrite, &size), kXpOk);
  EXPECT_EQ(size, XpSize(kSide, kSide));
}

TEST_F(K2ExportRun, MovieThumbnailsAreCopiedOrMade) {
  movieFolder_ = Dir("server");
  WriteBytes(movieFolder_ / "script", "frame 64 48 9216 4 3\n");
  movieOptions_.serverProgram = XpString::FromUtf8(KAVO_FAKE_MOVIE_SERVER);
  HandOver handOver;
  handOver.Add(kK2ContentTypeMovie,
               {File("Trip/a.MPG", std::string(3000, 'm')), File("Trip/a.THM", "thumbnail")},
               kShootingDay);
  handOver.Add(kK2ContentTypeMovie, {File("Trip/b.MPG", std::string(2000, 'n'))}, kShootingDay);

  EXPECT_EQ(Run(handOver), kXpOk);

  const std::string folder = std::string(kDcfFolder) + "/";
  EXPECT_EQ(ReadBytes(OnCamera(folder + "QMVM0001.MPG")), ReadBytes(Root() / "Trip/a.MPG"));
  EXPECT_EQ(ReadBytes(OnCamera(folder + "QMVM0001.THM")), "thumbnail");
  EXPECT_EQ(ReadBytes(OnCamera(folder + "QMVM0002.MPG")), ReadBytes(Root() / "Trip/b.MPG"));
  const fs::path made = OnCamera(folder + "QMVM0002.THM");
  const std::string thumbnail = ReadBytes(made);
  ASSERT_GT(thumbnail.size(), 2u);
  EXPECT_EQ(thumbnail.substr(0, 2), "\xFF\xD8");
  EXPECT_LE(static_cast<int64_t>(thumbnail.size()), XpImageIoJpeg::kThumbnailFileLimit);
  XpSize size;
  const XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(XpString::FromUtf8(made.string()));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->ReadImageSizeFlag0FromPath(XpString::FromUtf8(made.string()), &size), kXpOk);
  EXPECT_EQ(size.cx, XpImageIoJpeg::kThumbnailWidth);
  EXPECT_EQ(size.cy, XpImageIoJpeg::kThumbnailHeight);
  EXPECT_EQ(CountCalls("CreateContent QMVM"), 2u);
}

TEST_F(K2ExportRun, TheBuiltFrameServerMakesTheThumbnailOfARealMovie) {
  const fs::path movie = Root() / "Trip/real.MPG";
  fs::create_directories(movie.parent_path());
  ASSERT_EQ(testsupport::RunQuietly({KAVO_FFMPEG_EXECUTABLE, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                     "-f", "lavfi", "-i", "color=white:size=320x240:rate=25", "-t", "1", "-vf",
                     "drawbox=x=0:y=120:w=320:h=120:color=black:t=fill", "-c:v", "mpeg1video",
                     "-pix_fmt", "yuv420p", movie.string()}),
            0);
  // The frame server and its plug-in as the build put them beside the
  // program.
  const fs::path programFolder = fs::path(KAVO_TLVK2ACCESSOR_PATH).parent_path();
  movieFolder_ = programFolder;
  movieOptions_.serverProgram = XpString::FromUtf8((programFolder / "TLVMPThumb").string());
  HandOver handOver;
  handOver.Add(kK2ContentTypeMovie, {XpString::FromUtf8(movie.string())}, kShootingDay);

  EXPECT_EQ(Run(handOver), kXpOk);

  const fs::path made = OnCamera(std::string(kDcfFolder) + "/QMVM0001.THM");
  const XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(XpString::FromUtf8(made.string()));
  ASSERT_TRUE(reader);
  std::unique_ptr<XpPixmapBase> frame(
      reader->ReadPixmapFromPath(XpString::FromUtf8(made.string()), 1, nullptr, false, false));
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->width, XpImageIoJpeg::kThumbnailWidth);
  ASSERT_EQ(frame->height, XpImageIoJpeg::kThumbnailHeight);
  // White above, black below, as the movie's frames are.
  EXPECT_GT(frame->GetPlane(0)->Row(10)[3 * 80], 200);
  EXPECT_LT(frame->GetPlane(0)->Row(110)[3 * 80], 50);
}

TEST_F(K2ExportRun, ThumbnailOfACameraMountedAtAnMpgFolderStaysInItsFolder) {
  NewCamera("X.MPG");
  HandOver handOver;
  handOver.Add(kK2ContentTypeMovie, {File("Trip/a.MPG", "movie"), File("Trip/a.THM", "thumbnail")},
               kShootingDay);

  EXPECT_EQ(Run(handOver), kXpOk);

  EXPECT_EQ(ReadBytes(OnCamera(std::string(kDcfFolder) + "/QMVM0001.THM")), "thumbnail");
  EXPECT_FALSE(fs::exists(Root() / "X.THM"));
}

TEST_F(K2ExportRun, ABatchWhoseCommitFailsIsNotExportedAndARetryWritesItOnce) {
  struct Case {
    const char* what;
    XdbOp op;
    // The call of op that fails: the second batch's.
    int nth;
    XdbFailure failure;
    // The store's failing call, as the seam records it on the worker; 0
    // for none.
    int error;
    XpResult expected;
    const char* detail;
  };
  const Case cases[] = {
      {"input/output error", XdbOp::kCommit, 2, XdbFailure::kFail, EIO, kK2ErrAlbumDatabaseWrite,
       "DBFILES.tmp/XDB.JNL: Input/output error"},
      {"the card is full", XdbOp::kCommit, 2, XdbFailure::kFail, ENOSPC, kK2ErrCameraFull,
       "DBFILES.tmp/XDB.JNL: No space left on device"},
      {"commit throws", XdbOp::kCommit, 2, XdbFailure::kThrow, 0, kK2ErrAlbumDatabaseWrite, ""},
      {"a content cannot be recorded", XdbOp::kCreateContent, 12, XdbFailure::kThrow, 0,
       kK2ErrAlbumDatabase, ""},
      {"a content comes back empty", XdbOp::kCreateContent, 11, XdbFailure::kFail, 0,
       kK2ErrAlbumDatabase, ""},
  };
  const std::vector<std::string> sources = Names("p", 1, 12, ".JPG");
  const std::vector<std::string> written = Names("QMVS", 1, 12, ".JPG");
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewCamera("cam" + std::to_string(++number));
    const std::string journal = OnCamera("DBFILES.tmp/XDB.JNL").string();
    ledger_ = std::make_shared<XdbLedger>();
    ledger_->FailAt(c.op, c.nth, c.failure);
    int commits = 0;
    ledger_->SetHook([&](XdbOp op) {
      if (op == XdbOp::kCommit && ++commits == 2 && c.error != 0) {
        XpRecordSysFailure("fsync", journal, c.error);
      }
    });
    HandOver handOver;
    AddPictures(handOver, "Party", 12);
    NewManager();

    EXPECT_EQ(Run(handOver), c.expected);

    // The first batch is exported; the second is neither on the card nor
    // in its database.
    const std::string folder = std::string(kDcfFolder) + "/";
    for (size_t i = 0; i < written.size(); ++i) {
      EXPECT_EQ(fs::exists(OnCamera(folder + written[i])), i < 10) << written[i];
    }
    EXPECT_EQ(ledger_->CommittedContents().size(), 10u);
    EXPECT_EQ(ReadBytes(OnCamera("TRANS.TXT")), "/DCIM/101ZXDCF");
    EXPECT_TRUE(ledger_->Released());
    EXPECT_THAT(Manager().GetFailureDetail(), ::testing::HasSubstr(c.detail));

    // The retry of what was not exported writes each picture once.
    ledger_->SetHook(nullptr);
    HandOver retry;
    for (size_t i = 10; i < sources.size(); ++i) {
      retry.Add(kK2ContentTypeJpeg, {XpString::FromUtf8((Root() / "Party" / sources[i]).string())},
                kShootingDay);
    }
    NewManager();
    EXPECT_EQ(Run(retry), kXpOk);
    const std::vector<RecordedContent> committed = ledger_->CommittedContents();
    ASSERT_EQ(committed.size(), 12u);
    for (size_t i = 0; i < written.size(); ++i) {
      const fs::path landed = OnCamera(folder + written[i]);
      EXPECT_EQ(committed[i].path, landed.string());
      EXPECT_EQ(ReadBytes(landed), ReadBytes(Root() / "Party" / sources[i])) << written[i];
    }
    EXPECT_EQ(CameraTree().size(), 2u + written.size());
  }
}

TEST_F(K2ExportRun, AnErrorInTheFirstFolderEndsTheExport) {
  WriteBytes(OnCamera("DCIM/105ABCDE/DSC09998.JPG"), "x");
  ledger_->FailAt(XdbOp::kCommit, 1, XdbFailure::kFail);
  HandOver handOver;
  AddPictures(handOver, "Party", 3);

  EXPECT_EQ(Run(handOver), kK2ErrAlbumDatabaseWrite);

  // The first folder's picture is not committed, so it went again; the
  // next folder was never begun.
  EXPECT_FALSE(fs::exists(OnCamera("DCIM/105ABCDE/QMVS9999.JPG")));
  EXPECT_TRUE(fs::exists(OnCamera("DCIM/105ABCDE/DSC09998.JPG")));
  EXPECT_FALSE(fs::exists(OnCamera("DCIM/106ZXDCF/QMVS0001.JPG")));
  EXPECT_FALSE(fs::exists(OnCamera("DCIM/106ZXDCF/QMVS0002.JPG")));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"CreateAlbum Party", "CreateContent QMVS9999.JPG",
                                               "Commit", "Release"}));
  EXPECT_EQ(ReadBytes(OnCamera("TRANS.TXT")), "/DCIM/105ABCDE");
}

TEST_F(K2ExportRun, WhatAKilledRunLeftOnTheCardGoesBeforeNumbersAreGiven) {
  const std::string folder = std::string(kDcfFolder) + "/";
  // The marker of a run killed between its copies and its commit: the
  // database records 0001 only.
  WriteBytes(OnCamera("TRANS.TXT"), "/DCIM/101ZXDCF");
  for (const char* name : {"QMVS0001.JPG", "QMVS0002.JPG", "QMVM0003.MPG", "QMVM0003.THM",
                           "qmvs0004.jpg", "DSC00005.JPG", "QMVS0006.TXT", ".hidden"}) {
    WriteBytes(OnCamera(folder + name), name);
  }
  ledger_->AddCommitted({"Party", OnCamera(folder + "QMVS0001.JPG").string(), XpDateTime(), 0});
  // Partial copies of that run, fresh, in the marked folder and the root,
  // and one that a living writer still holds.
  const std::string partial = ".QMVS0007.JPG" + std::string(XpPendingFile::kTempMarker) + "a1b2c3";
  WriteBytes(OnCamera(folder + partial), "partial");
  WriteBytes(OnCamera(".TRANS.TXT.kavotmp-zz9yy8"), "partial");
  const fs::path held = OnCamera(folder + ".QMVS0008.JPG.kavotmp-heldxx");
  WriteBytes(held, "held");
  const int holder = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  HandOver handOver;
  AddPictures(handOver, "Party", 1);

  EXPECT_EQ(Run(handOver), kXpOk);
  ::close(holder);

  // The camera's own files, the recorded picture, what is not a DCF file
  // and the held temporary stay; the new picture follows the highest
  // number left.
  EXPECT_EQ(CameraTree(),
            (std::vector<std::string>{"DCIM", kDcfFolder, folder + ".QMVS0008.JPG.kavotmp-heldxx",
                                      folder + ".hidden", folder + "DSC00005.JPG",
                                      folder + "QMVS0001.JPG", folder + "QMVS0006.TXT",
                                      folder + "QMVS0007.JPG"}));
  EXPECT_EQ(ReadBytes(OnCamera(folder + "QMVS0007.JPG")), ReadBytes(Root() / "Party/p0001.JPG"));
}

TEST_F(K2ExportRun, ACardThatFillsUpMidCopyEndsAsDiskFullWithTheSkippedFiles) {
  HandOver handOver;
  AddPictures(handOver, "Party", 3);
  // Another program fills the card while the second copy is written.
  const std::string folder = OnCamera(kDcfFolder).string();
  const int full = faults_.Add(Fault(SysCall::kWrite, folder).FromCall(2).Times(1).Errno(ENOSPC));

  EXPECT_EQ(Run(handOver), kK2ErrCopyDiskFull);

  EXPECT_EQ(faults_.Hits(full), 1);
  EXPECT_EQ(Manager().GetSkippedCount(), 1u);
  const std::string detail = Manager().GetFailureDetail();
  EXPECT_THAT(detail, ::testing::HasSubstr("1 file was not written to the camera"));
  EXPECT_THAT(detail, ::testing::HasSubstr("write " + folder + "/.QMVS0002.JPG"));
  EXPECT_THAT(detail, ::testing::HasSubstr("No space left on device"));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"CreateAlbum Party", "CreateContent QMVS0001.JPG",
                                               "CreateContent QMVS0003.JPG", "Commit", "Release"}));
  EXPECT_FALSE(fs::exists(OnCamera("TRANS.TXT")));
}

TEST_F(K2ExportRun, AnUnreadablePictureEndsTheRunNamingTheFileAndWhy) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    const char* reason;
  };
  const Case cases[] = {
      {"a text file", [](const fs::path& p) { WriteBytes(p, "just some text\n"); },
       ": not a readable JPEG picture"},
      {"a truncated picture",
       [](const fs::path& p) { WriteBytes(p, ReadBytes(p).substr(0, 40)); },
       ": not a readable JPEG picture"},
      {"a vanished picture", [](const fs::path& p) { fs::remove(p); }, ": No such file or directory"},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewCamera("cam" + std::to_string(++number));
    const fs::path picture = Root() / ("Bad" + std::to_string(number)) / "bad.JPG";
    Picture(fs::relative(picture, Root()).string(), false);
    HandOver handOver;
    handOver.Add(kK2ContentTypeJpeg, {XpString::FromUtf8(picture.string())}, kShootingDay);
    RunManager& manager = NewManager();
    ASSERT_EQ(manager.Start(Config(), handOver.Document(), nullptr), kXpOk);
    ASSERT_TRUE(Observer().WaitFor(K2ExportTaskManager::kCodePrepared, static_cast<size_t>(number)));
    c.spoil(picture);
    EXPECT_EQ(manager.Interrupt(), kXpOk);

    EXPECT_EQ(manager.WaitUntilFinished(), kXpErrImageBadRegion);
    const std::string detail = manager.GetFailureDetail();
    EXPECT_THAT(detail, ::testing::HasSubstr(picture.string()));
    EXPECT_THAT(detail, ::testing::EndsWith(c.reason));
  }
}

TEST_F(K2ExportRun, CameraPulledDuringTheCopyEndsAsGone) {
  HandOver handOver;
  AddPictures(handOver, "Party", 3);
  RunManager& manager = NewManager();
  bool pulled = false;
  manager.SetProgressHook([&](double percent) {
    if (percent >= 100.0 && !pulled) {
      pulled = true;
      UnmountCamera();
      faults_.Add(Fault(SysCall::kWrite, OnCamera(kDcfFolder).string()).Errno(ENODEV));
    }
  });

  EXPECT_EQ(Run(handOver), kK2ErrCameraGone);

  EXPECT_TRUE(pulled);
  EXPECT_EQ(ReadBytes(OnCamera("TRANS.TXT")), "/DCIM/101ZXDCF");
  EXPECT_EQ(CountCalls("Commit"), 0u);
  EXPECT_EQ(CountCalls("CreateContent"), 0u);
  EXPECT_FALSE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0002.JPG")));
  EXPECT_TRUE(ledger_->Released());
}

TEST_F(K2ExportRun, FileThatFailsWhileTheCameraIsThereIsSkipped) {
  HandOver handOver;
  AddPictures(handOver, "Party", 3);
  const int rule =
      faults_.Add(Fault(SysCall::kWrite, OnCamera(kDcfFolder).string()).Errno(EIO).Times(1));

  EXPECT_EQ(Run(handOver), kXpOk);

  EXPECT_EQ(faults_.Hits(rule), 1);
  EXPECT_TRUE(Observer().WaitFor(K2ExportTaskManager::kCodeFileSkipped, 1));
  EXPECT_FALSE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0001.JPG")));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"CreateAlbum Party", "CreateContent QMVS0002.JPG",
                                               "CreateContent QMVS0003.JPG", "Commit", "Release"}));
  EXPECT_FALSE(fs::exists(OnCamera("TRANS.TXT")));
}

TEST_F(K2ExportRun, CopiesTakeTheirNamesBeforeTheirRecordsAndOneThatCannotIsSkipped) {
  HandOver handOver;
  AddPictures(handOver, "Party", 3);
  const std::string folder = OnCamera(kDcfFolder).string();
  // The second copy cannot take its name.
  const int rename =
      faults_.Add(Fault(SysCall::kRename, folder + "/.QMVS0002.JPG.kavotmp-").Errno(EIO));

  EXPECT_EQ(Run(handOver), kXpOk);

  EXPECT_EQ(faults_.Hits(rename), 1);
  EXPECT_TRUE(Observer().WaitFor(K2ExportTaskManager::kCodeFileSkipped, 1));
  EXPECT_FALSE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0002.JPG")));
  EXPECT_EQ(ReadBytes(OnCamera(std::string(kDcfFolder) + "/QMVS0003.JPG")),
            ReadBytes(Root() / "Party/p0003.JPG"));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"CreateAlbum Party", "CreateContent QMVS0001.JPG",
                                               "CreateContent QMVS0003.JPG", "Commit", "Release"}));
  EXPECT_FALSE(fs::exists(OnCamera("TRANS.TXT")));
}

// Copies on the card's own file system wait for the medium with the
// commit; copies in a folder of another file system wait for theirs before
// they are recorded, and are not recorded when that wait fails.
TEST_F(K2ExportRun, CopiesWaitForTheirMediumBeforeTheyAreRecorded) {
  struct Case {
    const char* name;
    bool ownFileSystem;
    size_t recorded;
  };
  const Case cases[] = {
      {"the card's file system", false, 2},
      // The two copies are flushed first; the third flush is the folder's.
      {"a file system of its own whose folder cannot be flushed", true, 0},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewCamera("cam" + std::to_string(++number));
    ledger_ = std::make_shared<XdbLedger>();
    HandOver handOver;
    AddPictures(handOver, "Party", 2);
    NewManager();
    const std::string folder = OnCamera(kDcfFolder).string();
    fs::create_directories(folder);
    std::optional<testsupport::TmpfsMount> mount;
    if (c.ownFileSystem) {
      mount.emplace(folder);
      if (!mount->Mounted()) {
        GTEST_SKIP() << mount->Reason();
      }
    }
    const int flush = faults_.Add(Fault(SysCall::kFsync, folder).FromCall(3).Times(1).Errno(EIO));

    EXPECT_EQ(Run(handOver), kXpOk);

    EXPECT_EQ(faults_.Hits(flush), c.ownFileSystem ? 1 : 0);
    EXPECT_EQ(CountCalls("CreateContent"), c.recorded);
    if (!c.ownFileSystem) {
      continue;
    }
    EXPECT_TRUE(Observer().WaitFor(K2ExportTaskManager::kCodeFileSkipped, 2));
    EXPECT_FALSE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0001.JPG")));
  }
  faults_.Clear();
}

TEST_F(K2ExportRun, RefusedPermissionChangeStillCountsAsCopied) {
  HandOver handOver;
  AddPictures(handOver, "Party", 2);
  const int rule = faults_.Add(Fault(SysCall::kFchmod, Camera().string()).Errno(EPERM));

  EXPECT_EQ(Run(handOver), kXpOk);

  EXPECT_GT(faults_.Hits(rule), 0);
  EXPECT_EQ(CountCalls("CreateContent"), 2u);
  EXPECT_EQ(ReadBytes(OnCamera(std::string(kDcfFolder) + "/QMVS0002.JPG")),
            ReadBytes(Root() / "Party/p0002.JPG"));
}

TEST_F(K2ExportRun, StopDuringTheSecondBatchEndsWellAndRemovesTheMarker) {
  HandOver handOver;
  AddPictures(handOver, "Party", 15);
  XfViewProgress view;
  // The stop comes with the first progress of the thirteenth copy.
  int completed = 0;
  NewManager().SetProgressHook([&](double percent) {
    if (completed == 12) {
      view.SetStopFlag(true);
    }
    if (percent >= 100.0) {
      ++completed;
    }
  });

  EXPECT_EQ(Run(handOver, &view), kXpOk);

  // The two copies of the stopped batch are recorded.
  EXPECT_EQ(ledger_->ContentsPerCommit(), (std::vector<size_t>{10, 2}));
  EXPECT_TRUE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0012.JPG")));
  EXPECT_FALSE(fs::exists(OnCamera(std::string(kDcfFolder) + "/QMVS0013.JPG")));
  EXPECT_FALSE(fs::exists(OnCamera("TRANS.TXT")));
  for (const Seen& seen : Observer().All()) {
    EXPECT_NE(seen.kind, kXfKindError) << seen.code;
  }
}

}  // namespace
}  // namespace task_test
