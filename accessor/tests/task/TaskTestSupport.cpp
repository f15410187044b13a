#include "accessor/tests/task/TaskTestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "accessor/task/K2ExportInfoObj.h"
#include "accessor/task/K2ExportItem.h"
#include "accessor/task/K2ExportRunFolder.h"
#include "accessor/task/K2ObjectForNotification.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationWithPrompt.h"
#include "framework/notify/XfPointer.h"
#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/path/XpPath.h"
#include "platform/text/XpStringA.h"
#include "platform/value/XpIniElement.h"

namespace task_test {

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(20);
constexpr int32_t kPictureSide = 16;
constexpr uint8_t kGrey = 128;

}  // namespace

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::filesystem::path> FilesBelow(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename() != K2ExportRunFolder::kLockName) {
      files.push_back(entry.path());
    }
  }
  return files;
}

void WriteSparse(const std::filesystem::path& path, uint64_t size) {
  WriteBytes(path, "");
  std::filesystem::resize_file(path, size);
}

void SetModified(const std::filesystem::path& path, int64_t seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0},
                                    {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void WriteJpeg(const std::filesystem::path& path, XpSharedPtr<XpTiffTagManager> tags) {
  std::filesystem::create_directories(path.parent_path());
  XpPixmapBGR24NoHandle pixmap;
  ASSERT_EQ(pixmap.Allocate(kPictureSide, kPictureSide), kXpOk);
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < kPictureSide; ++y) {
    std::memset(plane.Row(y), kGrey, static_cast<size_t>(kPictureSide) * 3);
  }
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"Kavo task test");
  ASSERT_EQ(writer.WriteToPath(&pixmap, tags, XpString::FromUtf8(path.string()), nullptr, XpRect(),
                               false, false),
            kXpOk);
}

void WritePlainJpeg(const std::filesystem::path& path) {
  constexpr uint8_t kMarker = 0xFF;
  constexpr uint8_t kApp1 = 0xE1;
  constexpr uint8_t kStartOfScan = 0xDA;
  WriteJpeg(path, XpSharedPtr<XpTiffTagManager>());
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::string kept = bytes.substr(0, 2);
  size_t position = 2;
  while (position + 4 <= bytes.size() && static_cast<uint8_t>(bytes[position]) == kMarker) {
    const auto marker = static_cast<uint8_t>(bytes[position + 1]);
    if (marker == kStartOfScan) {
      break;
    }
    const size_t length = (static_cast<size_t>(static_cast<uint8_t>(bytes[position + 2])) << 8) |
                          static_cast<uint8_t>(bytes[position + 3]);
    if (marker != kApp1) {
      kept += bytes.substr(position, 2 + length);
    }
    position += 2 + length;
  }
  kept += bytes.substr(position);
  WriteBytes(path, kept);
}

XpSharedPtr<XpTiffTagManager> ExifTagsWithDate(const char* date) {
  XpSharedPtr<XpTiffTagManager> tags(new XpTiffTagManager());
  EXPECT_TRUE(tags->Reset());
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(271, "KAVO");
  auto* exif = new XpTiffTagIFD();
  exif->SetAscii(36867, date);
  XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(34665, 0);
  pointer->AddIFD(exif);
  ifd0->SetEntry(pointer);
  tags->GetRoot()->AddIFD(ifd0);
  return tags;
}

HandOver::HandOver() {
  EXPECT_EQ(document_.InitHeader(u"Browser", nullptr), kXpOk);
  group_ = document_.AddContentsGroup(u"Group");
  EXPECT_NE(group_, nullptr);
}

void HandOver::Add(uint32_t contentType, const std::vector<XpString>& files, double date,
                   const std::vector<int32_t>& favorites) {
  XpIniElement* contents = SfContentInfoXML::AddContents(group_);
  ASSERT_NE(contents, nullptr);
  for (const XpString& file : files) {
    ASSERT_EQ(SfContentInfoXML::AddFile(contents, file), kXpOk);
  }
  ASSERT_EQ(contents->Add(u"ContentType", kXpIniTypeInt, static_cast<int64_t>(contentType)), kXpOk);
  if (date >= 0.0) {
    ASSERT_EQ(contents->Add(u"DateTimeOriginal", kXpIniTypeReal), kXpOk);
    ASSERT_EQ(contents->Find(u"DateTimeOriginal")->SetReal(date), kXpOk);
  }
  if (favorites.empty()) {
    return;
  }
  ASSERT_EQ(contents->Add(u"FavoriteList", kXpIniTypeArray), kXpOk);
  XpIniElement* list = contents->Find(u"FavoriteList");
  ASSERT_NE(list, nullptr);
  for (size_t i = 0; i < favorites.size(); ++i) {
    ASSERT_EQ(list->InsertAt(static_cast<int32_t>(i), kXpIniTypeInt, favorites[i]), kXpOk);
  }
}

void RecordingObserver::OnNotification(XpSharedPtr<XfNotification> notification) {
  Seen seen;
  seen.kind = notification->GetKind();
  seen.code = notification->GetCode();
  if (seen.kind == kXfKindProgress) {
    seen.value = static_cast<XfNotificationProgress*>(notification.Get())->GetValue();
  }
  if (auto* file = dynamic_cast<K2ObjectForNotification*>(notification->GetObject().Get())) {
    seen.pictureFile = file->GetPictureFile().ToMultiByte().ToStdString();
    seen.albumName = file->GetAlbumName().ToMultiByte().ToStdString();
    seen.fileName = file->GetFileName().ToMultiByte().ToStdString();
  }
  if (auto* info = dynamic_cast<K2ExportInfoObj*>(notification->GetObject().Get())) {
    seen.total = info->GetTotalBytes();
  }
  auto* sender = dynamic_cast<XfPointer*>(notification->GetTarget().Get());
  seen.senderIsBorrowedManager =
      sender != nullptr && !sender->Owns() && sender->Get() == manager_.load();
  if (auto* prompt = dynamic_cast<XfNotificationWithPrompt*>(notification.Get())) {
    seen.promptStyle = prompt->GetPromptStyle() & ~XfNotificationWithPrompt::kKeptStyleMask;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    seen_.push_back(seen);
  }
  changed_.notify_all();
  if (notification->WaitsForReply() && !notification->IsAnswered()) {
    (void)notification->SetResult(1);
  }
}

std::vector<Seen> RecordingObserver::All() const {
  std::lock_guard<std::mutex> guard(lock_);
  return seen_;
}

std::vector<Seen> RecordingObserver::WithCode(uint32_t code) const {
  std::vector<Seen> found;
  for (const Seen& seen : All()) {
    if (seen.code == code) {
      found.push_back(seen);
    }
  }
  return found;
}

bool RecordingObserver::WaitFor(uint32_t code, size_t count) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, kWaitLimit, [&] {
    size_t found = 0;
    for (const Seen& seen : seen_) {
      found += seen.code == code ? 1 : 0;
    }
    return found >= count;
  });
}

void RecordingObserver::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  seen_.clear();
}

XpWaitClock::TimePoint QuickClock::Now() { return std::chrono::steady_clock::now(); }

void QuickClock::SleepFor(std::chrono::milliseconds /*duration*/) {
  ++sleeps_;
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

FakeConverter::FakeConverter(XpSharedPtr<K2ExporterWithResizeConfig> config,
                             std::shared_ptr<K2CreatedFileList> created,
                             std::shared_ptr<ConverterLedger> ledger, bool slow)
    : config_(std::move(config)),
      created_(std::move(created)),
      ledger_(std::move(ledger)),
      slow_(slow) {
  ++ledger_->made;
}

FakeConverter::~FakeConverter() {
  CheckAlive();
  alive_ = 0;
  ++ledger_->destroyed;
}

void FakeConverter::CheckAlive() {
  if (alive_.load() != kAlive) {
    ++ledger_->callsOnDead;
  }
}

XpResult FakeConverter::Stop() {
  CheckAlive();
  stopped_ = true;
  return kXpOk;
}

XpResult FakeConverter::Pause() {
  CheckAlive();
  return kXpOk;
}

XpResult FakeConverter::Resume() {
  CheckAlive();
  return kXpOk;
}

XpResult FakeConverter::ConvertAll() {
  CheckAlive();
  K2ExportItemVector* items = config_->GetItems();
  for (K2ExportItem& item : *items) {
    if (stopped_.load()) {
      return kXpOk;
    }
    if (slow_) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (item.contentType != kK2ContentTypeJpeg) {
      continue;
    }
    const XpString target = XpPathJoin(config_->GetTempDir(), item.fileNames.front() + u".tmp");
    if (std::filesystem::exists(target.ToMultiByte().ToStdString())) {
      ++ledger_->leftovers;
    }
    const XpResult copied = XpCopyPath(item.FirstSourcePath(), target, false, nullptr);
    if (copied != kXpOk) {
      return copied;
    }
    created_->Add(target);
    item.fileToWrite = target;
  }
  return kXpOk;
}

K2ExportConverterFactory MakeFakeFactory(std::shared_ptr<ConverterLedger> ledger, bool slow) {
  return [ledger, slow](XpSharedPtr<K2ExporterWithResizeConfig> config,
                        std::shared_ptr<K2CreatedFileList> created) {
    return std::make_shared<FakeConverter>(std::move(config), std::move(created), ledger, slow);
  };
}

void TaskTest::SetUp() {
  HermeticTest::SetUp();
  if (!MakesApplicationLater()) {
    MakeApplication();
  }
}

void TaskTest::MakeApplication() {
  application_ = std::make_unique<framework_test::TestApplication>();
  XfSetApplication(application_.get());
  observer_ = std::make_unique<RecordingObserver>(nullptr);
  application_->GetNotificationManager().AddObserver(observer_.get());
}

void TaskTest::TearDown() {
  if (application_) {
    application_->GetNotificationManager().RemoveObserver(observer_.get());
  }
  XfSetApplication(nullptr);
  application_.reset();
  observer_.reset();
  HermeticTest::TearDown();
}

std::filesystem::path TaskTest::TempFolder() const { return Root() / "tmp"; }

}  // namespace task_test
