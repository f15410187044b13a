#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "accessor/dialogs/K2ProgressTexts.h"
#include "accessor/import/K2ImportNames.h"
#include "accessor/import/K2ImportResult.h"
#include "accessor/import/K2ImportTaskManager.h"
#include "accessor/settings/K2SalvageConfig.h"
#include "accessor/tests/import/ImportManagerTestSupport.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "framework/notify/XfNotification.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/strings/XfStringsManager.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/text/XpStringA.h"

namespace import_test {
namespace {

namespace fs = std::filesystem;
using task_test::Seen;
using Names = std::vector<std::string>;

constexpr std::chrono::milliseconds kItemPause = K2ImportTaskManager::kItemPause;
constexpr uint32_t kMarkerCode = 0x7E57;

const XpDateTime kFirstDay(2024, 5, 6, 10, 0, 0);
const XpDateTime kSecondDay(2024, 5, 7, 10, 0, 0);

// The manager with the salvage's parts in reach and a date that the test
// sets: one date per scan in turn, the last one for every later scan.
class SalvageManager : public K2ImportTaskManager {
 public:
  using K2ImportTaskManager::IsSalvageFolderName;
  using K2ImportTaskManager::IsSalvageTarget;
  using K2ImportTaskManager::K2ImportTaskManager;

  void SetDates(std::vector<XpDateTime> dates) {
    std::lock_guard<std::mutex> guard(lock_);
    dates_ = std::move(dates);
    next_ = 0;
  }

 protected:
  XpDateTime GetSalvageDate() override {
    std::lock_guard<std::mutex> guard(lock_);
    if (dates_.empty()) {
      return kFirstDay;
    }
    const XpDateTime date = dates_[std::min(next_, dates_.size() - 1)];
    ++next_;
    return date;
  }

 private:
  std::mutex lock_;
  std::vector<XpDateTime> dates_;
  size_t next_ = 0;
};

// Records the folders removed, in order, and passes every call on.
class RmdirRecorder : public XpSysCallsWrapper {
 public:
  using XpSysCallsWrapper::XpSysCallsWrapper;

  int Rmdir(const char* path) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      removed_.push_back(fs::path(path).filename().string());
    }
    return XpSysCallsWrapper::Rmdir(path);
  }
  Names Removed() const {
    std::lock_guard<std::mutex> guard(lock_);
    return removed_;
  }

 private:
  mutable std::mutex lock_;
  Names removed_;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class K2Salvage : public ImportManagerTest {
 protected:
  void SetUp() override {
    ImportManagerTest::SetUp();
    manager_ = std::make_unique<SalvageManager>(Sleeps());
    Observer().SetManager(manager_.get());
    settings_.SetCameraRoot(XpString::FromUtf8(Camera().string()));
    settings_.SetDestination(XpString::FromUtf8(Destination().string()));
  }
  void TearDown() override {
    manager_.reset();
    ImportManagerTest::TearDown();
  }

  SalvageManager& Salvager() { return *manager_; }

  // Writes a camera file below the camera's root with distinct contents.
  std::string AddFile(const std::string& relative) {
    const std::string bytes = "bytes of " + relative + std::string(300, '#');
    fs::create_directories((Camera() / relative).parent_path());
    task_test::WriteBytes(Camera() / relative, bytes);
    return bytes;
  }

  XpResult Prepare() { return Salvager().PrepareSalvage(settings_, nullptr); }

  // Prepares, runs the salvage to its end and answers its result.
  XpResult Salvage() {
    const XpResult prepared = Prepare();
    EXPECT_EQ(prepared, kXpOk) << std::hex << prepared;
    if (prepared != kXpOk) {
      return prepared;
    }
    EXPECT_EQ(Salvager().StartSalvage(), kXpOk);
    return Salvager().WaitUntilFinished();
  }

  // Waits until every notification posted so far was delivered.
  void DrainNotifications() {
    XpSharedPtr<XfNotification> marker(new XfNotificationInternal(
        XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), kMarkerCode, XpSharedPtr<XfObject>(),
        false, true));
    XfPostNotification(marker);
    ASSERT_TRUE(Observer().WaitFor(kMarkerCode));
  }

  // The names of the files in folder, sorted.
  static Names NamesIn(const fs::path& folder) {
    Names names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string DateFolder(const XpDateTime& date) {
    return K2MakeDateFolderName(date).ToMultiByte().ToStdString();
  }

  // The files the run handed to the progress window, in order.
  Names CopiedInOrder() {
    Names names;
    for (const Seen& seen : FromManager(kXfKindProgress, K2ImportTaskManager::kCodeItemStarts)) {
      names.push_back(seen.fileName);
    }
    return names;
  }

  size_t ErrorsFromManager() {
    size_t count = 0;
    for (const Seen& seen : FromManager()) {
      count += seen.kind == kXfKindError ? 1 : 0;
    }
    return count;
  }

  size_t SleepsOf(std::chrono::milliseconds length) {
    size_t count = 0;
    for (std::chrono::milliseconds sleep : Sleeps().Sleeps()) {
      count += sleep == length ? 1 : 0;
    }
    return count;
  }

  K2SalvageConfig settings_;

 private:
  std::unique_ptr<SalvageManager> manager_;
};

TEST_F(K2Salvage, FoldersRunInNumberOrderAndAreRemovedFromTheLast) {
  AddFile("DCIM.003/DSC00003.JPG");
  AddFile("DCIM.001/DSC00001.JPG");
  AddFile("DCIM.002/DSC00002.JPG");
  RmdirRecorder recorder(XpSysCalls::Current());
  XpSysCalls* previous = XpSysCalls::Install(&recorder);
  const XpResult result = Salvage();
  XpSysCalls::Install(previous);

  EXPECT_EQ(result, kXpOk);
  DrainNotifications();
  EXPECT_EQ(CopiedInOrder(), (Names{"DSC00001.JPG", "DSC00002.JPG", "DSC00003.JPG"}));
  EXPECT_EQ(recorder.Removed(), (Names{"DCIM.003", "DCIM.002", "DCIM.001"}));
  EXPECT_EQ(NamesIn(Destination() / DateFolder(kFirstDay)),
            (Names{"DSC00001.JPG", "DSC00002.JPG", "DSC00003.JPG"}));
  EXPECT_EQ(Salvager().GetSalvageResult(), kXpOk);
  EXPECT_TRUE(Salvager().IsCompleted());
}

TEST_F(K2Salvage, OnlyDcimWithThreeDigitsIsASalvageFolder) {
  struct Case {
    const char16_t* name;
    const char16_t* extension;
    bool salvage;
  } const cases[] = {
      {u"DCIM", u".001", true},  {u"dcim", u".001", true},   {u"DcIm", u".999", true},
      {u"DCIM", u".0A1", false}, {u"DCIM", u".0001", false}, {u"DCIM", u".01", false},
      {u"DCIM", u"", false},     {u"DCIM", u"X001", false},  {u"DCIMX", u".001", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SalvageManager::IsSalvageFolderName(c.name, c.extension), c.salvage)
        << XpString(c.name).ToMultiByte().ToStdString()
        << XpString(c.extension).ToMultiByte().ToStdString();
  }
  // Only the lower-case folder of these is salvaged.
  AddFile("DCIM.0A1/DSC00001.JPG");
  AddFile("DCIM.0001/DSC00002.JPG");
  AddFile("dcim.001/DSC00003.JPG");
  EXPECT_EQ(Salvage(), kXpOk);
  EXPECT_EQ(NamesIn(Destination() / DateFolder(kFirstDay)), (Names{"DSC00003.JPG"}));
  EXPECT_TRUE(fs::exists(Camera() / "DCIM.0A1" / "DSC00001.JPG"));
  EXPECT_TRUE(fs::exists(Camera() / "DCIM.0001" / "DSC00002.JPG"));
  EXPECT_FALSE(fs::exists(Camera() / "dcim.001"));
}

TEST_F(K2Salvage, TargetsArePicturesAndMoviesNotMadeByThePc) {
  struct Case {
    const char16_t* path;
    bool target;
  } const cases[] = {
      {u"/c/DSC00001.JPG", true},   {u"/c/dsc00001.jpeg", true},  {u"/c/MOV00002.THM", true},
      {u"/c/MOV00002.MPG", true},   {u"/c/MOV00002.mpeg", true},  {u"/c/QMVM0002.JPG", true},
      {u"/c/QMVS0004.JPG", false},  {u"/c/qmvs0004.jpg", false},  {u"/c/QMVM0005.MPG", false},
      {u"/c/QMVM0005.THM", false},  {u"/c/QMVS0005.THM", true},   {u"/c/DSC00003.MP4", false},
      {u"/c/DSC00003.TIF", false},  {u"/c/readme.txt", false},    {u"/c/DSC0001.JPG", false},
      {u"/c/DSC00000.JPG", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SalvageManager::IsSalvageTarget(c.path), c.target)
        << XpString(c.path).ToMultiByte().ToStdString();
  }
}

TEST_F(K2Salvage, EveryFileButThePcsOwnIsCopiedBeforeItIsDeleted) {
  const std::string picture = AddFile("DCIM.001/DSC00001.JPG");
  const std::string thumbnail = AddFile("DCIM.001/MOV00002.THM");
  const std::string movie = AddFile("DCIM.001/DSC00003.MP4");
  AddFile("DCIM.001/QMVS0004.JPG");
  const std::string text = AddFile("DCIM.001/readme.txt");

  ASSERT_EQ(Prepare(), kXpOk);
  // A copy and a removal step per copied file, a removal step for the other.
  EXPECT_EQ(Salvager().GetProgressSteps().size(), 9u);
  EXPECT_EQ(Salvager().GetFileSizes().size(), 5u);
  ASSERT_EQ(Salvager().StartSalvage(), kXpOk);
  EXPECT_EQ(Salvager().WaitUntilFinished(), kXpOk);

  const fs::path dated = Destination() / DateFolder(kFirstDay);
  EXPECT_EQ(NamesIn(dated), (Names{"DSC00001.JPG", "DSC00003.MP4", "MOV00002.THM", "readme.txt"}));
  EXPECT_EQ(ReadAll(dated / "DSC00001.JPG"), picture);
  EXPECT_EQ(ReadAll(dated / "MOV00002.THM"), thumbnail);
  EXPECT_EQ(ReadAll(dated / "DSC00003.MP4"), movie);
  EXPECT_EQ(ReadAll(dated / "readme.txt"), text);
  EXPECT_FALSE(fs::exists(Camera() / "DCIM.001"));
  DrainNotifications();
  EXPECT_EQ(FromManager(kXfKindInternal, K2ImportTaskManager::kCodeRemovalBegins).size(), 1u);
  EXPECT_EQ(FromManager(kXfKindInternal, K2ImportTaskManager::kCodeRunBegins).size(), 1u);
  EXPECT_EQ(FromManager(kXfKindInternal, K2ImportTaskManager::kCodeImportEnded).size(), 1u);
  EXPECT_EQ(ErrorsFromManager(), 0u);
  // The pictures and movies first, then the rest; the PC's copy is not copied.
  EXPECT_EQ(CopiedInOrder(),
            (Names{"DSC00001.JPG", "MOV00002.THM", "DSC00003.MP4", "readme.txt"}));
}

TEST_F(K2Salvage, TheParentsLaterFilesKeepTheParentsFolderAfterASubFolder) {
  Salvager().SetDates({kFirstDay, kSecondDay});
  AddFile("DCIM.001/DSC00001.JPG");
  AddFile("DCIM.001/SUB/DSC00005.JPG");
  AddFile("DCIM.001/XYZ00009.JPG");
  EXPECT_EQ(Salvage(), kXpOk);
  EXPECT_EQ(NamesIn(Destination() / DateFolder(kFirstDay)),
            (Names{"DSC00001.JPG", "XYZ00009.JPG"}));
  EXPECT_EQ(NamesIn(Destination() / DateFolder(kSecondDay)), (Names{"DSC00005.JPG"}));
  EXPECT_FALSE(fs::exists(Camera() / "DCIM.001"));
}

TEST_F(K2Salvage, AFileThatCannotBeDeletedIsTriedTwentyTimesAndItsFolderStays) {
  AddFile("DCIM.001/DSC00001.JPG");
  ASSERT_EQ(Prepare(), kXpOk);
  testsupport::FaultInjection faults;
  const int busy = faults.Add(
      testsupport::Fault(testsupport::SysCall::kUnlink, (Camera() / "DCIM.001").string())
          .Errno(EBUSY));
  ASSERT_EQ(Salvager().StartSalvage(), kXpOk);
  EXPECT_EQ(Salvager().WaitUntilFinished(), kXpErrDeleteFailed);
  EXPECT_EQ(faults.Hits(busy), 20);
  faults.Clear();

  EXPECT_EQ(SleepsOf(kItemPause), 20u);
  EXPECT_EQ(Salvager().GetSalvageResult(), kXpErrDeleteFailed);
  EXPECT_TRUE(fs::exists(Camera() / "DCIM.001" / "DSC00001.JPG"));
  // The copy is kept on the PC.
  EXPECT_TRUE(fs::exists(Destination() / DateFolder(kFirstDay) / "DSC00001.JPG"));
  DrainNotifications();
  EXPECT_EQ(FromManager(kXfKindError, kXpErrDeleteFailed).size(), 1u);
  EXPECT_EQ(FromManager(kXfKindInternal, K2ImportTaskManager::kCodeImportEnded).size(), 1u);
}

TEST_F(K2Salvage, AFailedCopyKeepsTheCameraFileAndEndsTheRun) {
  const std::string first = AddFile("DCIM.001/DSC00001.JPG");
  AddFile("DCIM.001/DSC00002.JPG");
  ASSERT_EQ(Prepare(), kXpOk);
  testsupport::FaultInjection faults;
  faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, Destination().string())
                 .Errno(ENOSPC));
  ASSERT_EQ(Salvager().StartSalvage(), kXpOk);
  const XpResult result = Salvager().WaitUntilFinished();
  faults.Clear();

  EXPECT_NE(result, kXpOk);
  EXPECT_EQ(Salvager().GetSalvageResult(), result);
  EXPECT_EQ(ReadAll(Camera() / "DCIM.001" / "DSC00001.JPG"), first);
  EXPECT_TRUE(fs::exists(Camera() / "DCIM.001" / "DSC00002.JPG"));
  EXPECT_EQ(NamesIn(Destination() / DateFolder(kFirstDay)), Names{});
  DrainNotifications();
  // The run ended after the first item.
  EXPECT_EQ(CopiedInOrder(), Names{"DSC00001.JPG"});
  EXPECT_EQ(FromManager(kXfKindError, result).size(), 1u);
}

TEST_F(K2Salvage, NoNumberedFolderPreparesNothingAndStartsNothing) {
  AddFile("DCIM/100ABCDE/DSC00001.JPG");
  EXPECT_EQ(Prepare(), kXpErrPathNotFound);
  EXPECT_EQ(Salvager().GetSalvageResult(), kXpErrPathNotFound);
  EXPECT_EQ(Salvager().StartSalvage(), kXpErrGeneric);
  EXPECT_TRUE(fs::exists(Camera() / "DCIM" / "100ABCDE" / "DSC00001.JPG"));
}

TEST_F(K2Salvage, ShortSpaceIsReportedAsDiskFull) {
  AddFile("DCIM.001/DSC00001.JPG");
  Space().SetFree(K2ImportTaskManager::kFreeSpaceReserve - 1);
  EXPECT_EQ(Prepare(), kK2ErrSalvageDiskFull);
  EXPECT_EQ(Salvager().GetSalvageResult(), kK2ErrSalvageDiskFull);

  // Short space wins over a failed scan.
  fs::remove_all(Camera() / "DCIM.001");
  EXPECT_EQ(Prepare(), kK2ErrSalvageDiskFull);

  XpSharedPtr<XfStringsManager> strings(new XfStringsManager());
  ASSERT_EQ(strings->Load(XpStringA(KAVO_ACCESSOR_TEST_STRINGS).ToWide()), kXpOk);
  ASSERT_EQ(XfSetStringsManagers({strings}), kXpOk);
  const K2ProgressError box = K2ProgressErrorFor(kK2ErrSalvageDiskFull);
  EXPECT_EQ(XfGetString(box.key).ToMultiByte().ToStdString().rfind("[Messages/Errors/DiskFull]", 0),
            0u)
      << XfGetString(box.key).ToMultiByte().ToStdString();
  EXPECT_EQ(box.style, kK2IconExclamation);
  EXPECT_EQ(XfSetStringsManagers({}), kXpOk);
}

}  // namespace
}  // namespace import_test
