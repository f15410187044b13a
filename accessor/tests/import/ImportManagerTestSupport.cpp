#include "accessor/tests/import/ImportManagerTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "accessor/import/K2DifferentialHistory.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/XdbException.h"
#include "framework/notify/XfNotification.h"

namespace import_test {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kCameraVendor = 0x04DA;
constexpr uint16_t kCameraProduct = 0x2372;

class ListedContent : public XdbAccessor::IContentInfo {
 public:
  ListedContent(const CardContent& content, const fs::path& root)
      : content_(content), path_(XpString::FromUtf8((root / content.path).string())) {}

  int32_t GetKind() const override { return XdbAccessor::kContentPicture; }
  XpString GetPath() const override { return path_; }
  XpString GetThumbnailPath() const override { return XpString(); }
  XpDateTime GetDate() const override { return content_.date; }
  int32_t GetShareFlags() const override { return 0; }
  int32_t GetFavoriteFlags() const override { return content_.favorites; }
  int64_t GetGuid() const override { return content_.id; }
  XdbAccessor::IAlbumInfo* GetAlbum() const override {
    return new task_test::FakeAlbum(content_.albumId, XpString::FromUtf8(content_.albumTitle));
  }
  int64_t GetId() const override { return content_.id; }
  void Release() override { delete this; }

 private:
  const CardContent content_;
  const XpString path_;
};

class ListedContents : public XdbAccessor::IContentList {
 public:
  ListedContents(const std::vector<CardContent>& contents, const fs::path& root) {
    for (const CardContent& content : contents) {
      contents_.push_back(std::make_unique<ListedContent>(content, root));
    }
  }

  int32_t GetCount() const override { return static_cast<int32_t>(contents_.size()); }
  XdbAccessor::IContentInfo* Item(int32_t index) const override { return GetAt(index); }
  XdbAccessor::IContentInfo* GetAt(int32_t index) const override {
    if (index < 0 || index >= GetCount()) {
      throw std::out_of_range("content index");
    }
    return contents_[static_cast<size_t>(index)].get();
  }

 private:
  std::vector<std::unique_ptr<ListedContent>> contents_;
};

}  // namespace

void ImportCard::Add(const CardContent& content) {
  std::lock_guard<std::mutex> guard(lock_);
  contents_.push_back(content);
  std::sort(contents_.begin(), contents_.end(),
            [](const CardContent& a, const CardContent& b) { return a.id < b.id; });
}

std::vector<CardContent> ImportCard::List(int64_t after) const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<CardContent> listed;
  for (const CardContent& content : contents_) {
    if (after < 0 || content.id > after) {
      listed.push_back(content);
    }
  }
  return listed;
}

void ImportCard::Remove(int64_t id) {
  std::lock_guard<std::mutex> guard(lock_);
  contents_.erase(std::remove_if(contents_.begin(), contents_.end(),
                                 [id](const CardContent& content) { return content.id == id; }),
                  contents_.end());
}

void ImportCard::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  contents_.clear();
}

std::vector<int64_t> ImportCard::Ids() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<int64_t> ids;
  for (const CardContent& content : contents_) {
    ids.push_back(content.id);
  }
  return ids;
}

bool ImportCard::CountDeleteAndAskThrow() {
  const int count = ++deletes_;
  return throwOnDelete_.load() != 0 && count == throwOnDelete_.load();
}

XdbAccessor::IContentList* ImportXdbAccessor::MakeList(int64_t after) {
  return new ListedContents(card_->List(after), card_->Root());
}

XdbAccessor::IContentList* ImportXdbAccessor::GetAllContents() {
  ledger_->Record("GetAllContents");
  return MakeList(-1);
}

XdbAccessor::IContentList* ImportXdbAccessor::GetContentsAfterGuid(int64_t value) {
  ledger_->Record("GetContentsAfterGuid " + std::to_string(value));
  return MakeList(value);
}

void ImportXdbAccessor::DeleteContent(XdbAccessor::IContentInfo* content) {
  const int64_t id = content != nullptr ? content->GetGuid() : -1;
  ledger_->Record("DeleteContent " + std::to_string(id));
  if (card_->CountDeleteAndAskThrow()) {
    XdbAccessor::XdbRaiseCode(kXpErrGeneric);
  }
  card_->Remove(id);
}

K2ImportTaskManager::XdbAccessorFactory MakeImportXdbFactory(
    std::shared_ptr<task_test::XdbLedger> ledger, std::shared_ptr<ImportCard> card) {
  return [ledger, card](XdbAccessor::IXdbAccessor** out, const XpString&) -> XpResult {
    *out = new ImportXdbAccessor(ledger, card);
    return kXpOk;
  };
}

int FreeSpaceSysCalls::Statvfs(const char* path, struct statvfs* out) {
  if (path == nullptr || std::string(path).rfind(folder_, 0) != 0) {
    return XpSysCallsWrapper::Statvfs(path, out);
  }
  *out = {};
  out->f_bsize = kClusterBytes;
  out->f_frsize = 1;
  out->f_blocks = free_.load();
  out->f_bfree = free_.load();
  out->f_bavail = free_.load();
  return 0;
}

void ImportManagerTest::SetUp() {
  TaskTest::SetUp();
  const char* sysroot = std::getenv("KAVO_SYSROOT");
  ASSERT_NE(sysroot, nullptr);
  sysfs_ = std::make_unique<testsupport::FakeSysfs>(sysroot);
  camera_ = Root() / "cam";
  testsupport::FakeVolume volume;
  volume.mountPoint = camera_.string();
  volume.vendorId = kCameraVendor;
  volume.productId = kCameraProduct;
  volume.serial = kSerial;
  device_ = sysfs_->AddVolume(volume);
  fs::create_directories(camera_ / "DCIM" / "100ABCDE");
  fs::create_directories(camera_ / "DBFILES");
  destination_ = Dir("pc");
  space_ = std::make_unique<FreeSpaceSysCalls>(XpSysCalls::Current(), destination_.string());
  replaced_ = XpSysCalls::Install(space_.get());
  ledger_ = std::make_shared<task_test::XdbLedger>();
  card_ = std::make_shared<ImportCard>(camera_);
}

void ImportManagerTest::TearDown() {
  DestroyManager();
  XpSysCalls::Install(replaced_);
  TaskTest::TearDown();
}

K2ImportTaskManager& ImportManagerTest::NewManager() {
  DestroyManager();
  manager_ = std::make_unique<K2ImportTaskManager>(clock_);
  Observer().SetManager(manager_.get());
  manager_->SetXdbAccessorFactory(MakeImportXdbFactory(ledger_, card_));
  return *manager_;
}

void ImportManagerTest::DestroyManager() {
  if (manager_) {
    manager_.reset();
  }
}

std::unique_ptr<K2ImportConfig> ImportManagerTest::Settings(bool removeAfterImport,
                                                            bool differential) {
  auto settings = std::make_unique<K2ImportConfig>();
  if (removeAfterImport) {
    // Without the accessor's settings key both flags read as on.
    (void)settings->Load();
  }
  settings->SetDifferentialImport(differential);
  settings->SetDestDir(XpString::FromUtf8(destination_.string()));
  settings->SetSourcePath(XpString::FromUtf8((camera_ / "DCIM").string()));
  return settings;
}

void ImportManagerTest::AddContent(const CardContent& content, int64_t bytes) {
  if (bytes >= 0) {
    fs::create_directories((camera_ / content.path).parent_path());
    task_test::WriteBytes(camera_ / content.path,
                          std::string(static_cast<size_t>(bytes), static_cast<char>('a' + content.id % 26)));
  }
  card_->Add(content);
}

void ImportManagerTest::AddContents(int count, int64_t bytes) {
  for (int id = 1; id <= count; ++id) {
    CardContent content;
    content.id = id;
    content.path = DcfPath(id);
    AddContent(content, bytes);
  }
}

std::string ImportManagerTest::DcfPath(int64_t number, const char* extension) {
  char name[64];
  std::snprintf(name, sizeof(name), "DCIM/100ABCDE/DSC%05lld%s", static_cast<long long>(number),
                extension);
  return name;
}

K2ImportTaskManager::Preparation ImportManagerTest::Prepare(K2ImportConfig& settings) {
  if (!manager_) {
    NewManager();
  }
  const XpResult started = manager_->StartImport(settings, nullptr);
  EXPECT_EQ(started, kXpOk);
  if (started != kXpOk) {
    K2ImportTaskManager::Preparation failed;
    failed.state = K2ImportTaskManager::PreparationState::kFailed;
    failed.code = started;
    return failed;
  }
  return manager_->WaitForPreparation(kWaitSeconds);
}

XpResult ImportManagerTest::Import(K2ImportConfig& settings) {
  const K2ImportTaskManager::Preparation preparation = Prepare(settings);
  if (preparation.state == K2ImportTaskManager::PreparationState::kReady) {
    EXPECT_EQ(manager_->Confirm(), kXpOk);
  }
  return manager_->WaitUntilFinished();
}

std::vector<task_test::Seen> ImportManagerTest::FromManager() {
  std::vector<task_test::Seen> seen;
  for (const task_test::Seen& one : Observer().All()) {
    if (one.senderIsBorrowedManager) {
      seen.push_back(one);
    }
  }
  return seen;
}

std::vector<task_test::Seen> ImportManagerTest::FromManager(uint32_t kind, uint32_t code) {
  std::vector<task_test::Seen> seen;
  for (const task_test::Seen& one : FromManager()) {
    if (one.kind == kind && one.code == code) {
      seen.push_back(one);
    }
  }
  return seen;
}

size_t ImportManagerTest::CountCalls(const std::string& prefix) const {
  size_t count = 0;
  for (const std::string& call : ledger_->Calls()) {
    count += call.rfind(prefix, 0) == 0 ? 1 : 0;
  }
  return count;
}

fs::path ImportManagerTest::HistoryFile() const {
  return fs::path(K2GetAppDataFolder().ToMultiByte().ToStdString()) /
         (std::string("DCFIND_") + kSerial + ".dat");
}

int64_t ImportManagerTest::StoredHistory() const {
  if (!fs::exists(HistoryFile())) {
    return -1;
  }
  K2DifferentialHistory history(XpString::FromUtf8(kSerial), K2GetAppDataFolder());
  if (history.Load() != kXpOk) {
    return -1;
  }
  return history.GetMax();
}

}  // namespace import_test
