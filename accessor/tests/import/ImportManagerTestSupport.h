#pragma once

#include <sys/statvfs.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "accessor/import/K2ImportConfig.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/tests/import/ImportTaskTestSupport.h"
#include "accessor/tests/task/FakeXdbAccessor.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/time/XpDateTime.h"

namespace import_test {

// One content of the card's album database.
struct CardContent {
  int64_t id = 0;
  // Relative to the card's root.
  std::string path;
  int32_t albumId = 1;
  std::string albumTitle = "Album";
  // UTC.
  XpDateTime date = XpDateTime(2023, 3, 15, 3, 0, 0);
  int32_t favorites = 0;
};

// The album database of the card as the import sees it: contents that the
// import lists and removes. Shared between the test and the accessors that
// the factory opens; removals outlive an accessor, as on a card.
class ImportCard {
 public:
  explicit ImportCard(std::filesystem::path root) : root_(std::move(root)) {}

  void Add(const CardContent& content);
  // The contents with an id above after (all with after below 0), in id
  // order.
  std::vector<CardContent> List(int64_t after) const;
  void Remove(int64_t id);
  void Clear();
  std::vector<int64_t> Ids() const;
  const std::filesystem::path& Root() const { return root_; }

  // The nth DeleteContent (from 1) throws an XdbException.
  void ThrowOnDelete(int nth) { throwOnDelete_ = nth; }
  bool CountDeleteAndAskThrow();

 private:
  mutable std::mutex lock_;
  std::filesystem::path root_;
  std::vector<CardContent> contents_;
  std::atomic<int> throwOnDelete_{0};
  std::atomic<int> deletes_{0};
};

// The recording fake album database, extended by the import's list
// queries and removals: "GetAllContents", "GetContentsAfterGuid <n>" and
// "DeleteContent <id>" join the ledger's calls.
class ImportXdbAccessor : public task_test::FakeXdbAccessor {
 public:
  ImportXdbAccessor(std::shared_ptr<task_test::XdbLedger> ledger,
                    std::shared_ptr<ImportCard> card)
      : FakeXdbAccessor(ledger), ledger_(std::move(ledger)), card_(std::move(card)) {}

  XdbAccessor::IContentList* GetAllContents() override;
  XdbAccessor::IContentList* GetContentsAfterGuid(int64_t value) override;
  void DeleteContent(XdbAccessor::IContentInfo* content) override;

 private:
  XdbAccessor::IContentList* MakeList(int64_t after);

  std::shared_ptr<task_test::XdbLedger> ledger_;
  std::shared_ptr<ImportCard> card_;
};

K2ImportTaskManager::XdbAccessorFactory MakeImportXdbFactory(
    std::shared_ptr<task_test::XdbLedger> ledger, std::shared_ptr<ImportCard> card);

// Answers statvfs for paths below a folder with a set free space and
// cluster size; other paths go to the system calls it wraps.
class FreeSpaceSysCalls : public XpSysCallsWrapper {
 public:
  FreeSpaceSysCalls(XpSysCalls& target, std::string folder)
      : XpSysCallsWrapper(target), folder_(std::move(folder)) {}

  int Statvfs(const char* path, struct statvfs* out) override;
  void SetFree(uint64_t bytes) { free_ = bytes; }

  static constexpr uint32_t kClusterBytes = 32768;

 private:
  std::string folder_;
  std::atomic<uint64_t> free_{uint64_t{1} << 40};
};

// A camera at Root()/cam with USB serial "A1B2" and an album database
// folder, a destination folder Root()/pc, the import manager under test
// with a recording clock, and the notifications it posts.
class ImportManagerTest : public task_test::TaskTest {
 protected:
  static constexpr uint32_t kWaitSeconds = 30;
  static constexpr const char* kSerial = "A1B2";

  void SetUp() override;
  void TearDown() override;

  // A fresh manager over the fake database.
  K2ImportTaskManager& NewManager();
  K2ImportTaskManager& Manager() { return *manager_; }
  void DestroyManager();

  // Import settings: removal and differential as given, the camera's DCIM
  // folder as source, the destination folder.
  std::unique_ptr<K2ImportConfig> Settings(bool removeAfterImport, bool differential);

  // Writes the content's file of bytes bytes (none for bytes below 0) and
  // lists it in the database.
  void AddContent(const CardContent& content, int64_t bytes = 100);
  // Contents 1..count in album 1, "DCIM/100ABCDE/DSC0nnnn.JPG".
  void AddContents(int count, int64_t bytes = 100);
  static std::string DcfPath(int64_t number, const char* extension = ".JPG");

  // StartImport, the preparation, Confirm and the end of the worker.
  [[nodiscard]] XpResult Import(K2ImportConfig& settings);
  // The same up to the preparation's outcome, without Confirm.
  K2ImportTaskManager::Preparation Prepare(K2ImportConfig& settings);

  // The notifications the manager itself posted.
  std::vector<task_test::Seen> FromManager();
  std::vector<task_test::Seen> FromManager(uint32_t kind, uint32_t code);
  size_t CountCalls(const std::string& prefix) const;

  // The history file of the camera and the value it holds (-1 without one).
  std::filesystem::path HistoryFile() const;
  int64_t StoredHistory() const;

  const std::filesystem::path& Camera() const { return camera_; }
  const std::filesystem::path& Destination() const { return destination_; }

  testsupport::FakeSysfs& Sysfs() { return *sysfs_; }
  const testsupport::FakeVolumeDevice& Device() const { return device_; }
  RecordingClock& Sleeps() { return clock_; }
  FreeSpaceSysCalls& Space() { return *space_; }
  std::shared_ptr<task_test::XdbLedger> Ledger() const { return ledger_; }
  std::shared_ptr<ImportCard> Card() const { return card_; }

 private:
  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
  testsupport::FakeVolumeDevice device_;
  std::filesystem::path camera_;
  std::filesystem::path destination_;
  std::unique_ptr<FreeSpaceSysCalls> space_;
  XpSysCalls* replaced_ = nullptr;
  std::shared_ptr<task_test::XdbLedger> ledger_;
  std::shared_ptr<ImportCard> card_;
  RecordingClock clock_;
  std::unique_ptr<K2ImportTaskManager> manager_;
};

}  // namespace import_test
