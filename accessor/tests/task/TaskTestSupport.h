#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "accessor/task/IK2ExportConverter.h"
#include "framework/notify/IXfNotificationObserver.h"
#include "framework/suite/SfContentInfoXML.h"
#include "framework/tests/app/TestApplication.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace task_test {

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// A sparse file of size bytes.
void WriteSparse(const std::filesystem::path& path, uint64_t size);
// Sets the file's modification time to seconds since 1970 (UTC).
void SetModified(const std::filesystem::path& path, int64_t seconds);
// The files below folder, in every folder below it, but the lock files of
// the tasks' own folders.
std::vector<std::filesystem::path> FilesBelow(const std::filesystem::path& folder);
// A small JPEG picture at path, with tags when given.
void WriteJpeg(const std::filesystem::path& path, XpSharedPtr<XpTiffTagManager> tags);
// A small JPEG picture without any Exif segment.
void WritePlainJpeg(const std::filesystem::path& path);
// IFD 0 holding an Exif IFD that holds DateTimeOriginal = date.
XpSharedPtr<XpTiffTagManager> ExifTagsWithDate(const char* date);

// A hand-over document built content by content.
class HandOver {
 public:
  HandOver();
  // Appends a content of type with these files; a date below 0 adds none,
  // and no favourites add no list.
  void Add(uint32_t contentType, const std::vector<XpString>& files, double date = -1.0,
           const std::vector<int32_t>& favorites = {});
  const SfContentInfoXML& Document() const { return document_; }

 private:
  SfContentInfoXML document_;
  XpIniElement* group_ = nullptr;
};

// One notification as the observer saw it.
struct Seen {
  uint32_t kind = 0;
  uint32_t code = 0;
  uint32_t value = 0;
  uint64_t total = 0;
  uint32_t promptStyle = 0;
  bool senderIsBorrowedManager = false;
  // The file being copied, as its notification names it.
  std::string pictureFile;
  std::string albumName;
  std::string fileName;
};

// Keeps what reaches the notification manager and answers every prompt.
class RecordingObserver : public IXfNotificationObserver {
 public:
  explicit RecordingObserver(const void* manager) : manager_(manager) {}
  void SetManager(const void* manager) { manager_ = manager; }
  void OnNotification(XpSharedPtr<XfNotification> notification) override;

  std::vector<Seen> All() const;
  std::vector<Seen> WithCode(uint32_t code) const;
  // Waits (a few seconds at most) until count notifications with code
  // arrived.
  bool WaitFor(uint32_t code, size_t count = 1);
  void Clear();

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Seen> seen_;
  std::atomic<const void*> manager_;
};

// Polls pass at once, with no more than a moment of real time.
class QuickClock : public XpWaitClock {
 public:
  TimePoint Now() override;
  void SleepFor(std::chrono::milliseconds duration) override;
  int64_t Sleeps() const { return sleeps_.load(); }

 private:
  std::atomic<int64_t> sleeps_{0};
};

// Counts of the fake converters made by one factory.
struct ConverterLedger {
  std::atomic<int> made{0};
  std::atomic<int> destroyed{0};
  std::atomic<int> callsOnDead{0};
  // Targets that were already there when a converter came to write them.
  std::atomic<int> leftovers{0};
};

// Writes "<name>.tmp" copies of the JPEG items into the temporary folder,
// points the items at them and lists them as created. With slow set it
// yields between steps.
class FakeConverter : public IK2ExportConverter {
 public:
  FakeConverter(XpSharedPtr<K2ExporterWithResizeConfig> config,
                std::shared_ptr<K2CreatedFileList> created, std::shared_ptr<ConverterLedger> ledger,
                bool slow);
  ~FakeConverter() override;

  [[nodiscard]] XpResult Stop() override;
  [[nodiscard]] XpResult Pause() override;
  [[nodiscard]] XpResult Resume() override;
  [[nodiscard]] XpResult ConvertAll() override;

 private:
  void CheckAlive();

  static constexpr uint32_t kAlive = 0x600DF00D;
  std::atomic<uint32_t> alive_{kAlive};
  XpSharedPtr<K2ExporterWithResizeConfig> config_;
  std::shared_ptr<K2CreatedFileList> created_;
  std::shared_ptr<ConverterLedger> ledger_;
  const bool slow_;
  std::atomic<bool> stopped_{false};
};

K2ExportConverterFactory MakeFakeFactory(std::shared_ptr<ConverterLedger> ledger, bool slow);

// A test with a global application whose manager the observer hears.
class TaskTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A test that forks answers true: SetUp then leaves the application, whose
  // notification manager starts a thread, to MakeApplication, so that the
  // fork comes before any thread.
  virtual bool MakesApplicationLater() const { return false; }
  void MakeApplication();

  RecordingObserver& Observer() { return *observer_; }
  QuickClock& Clock() { return clock_; }
  std::filesystem::path TempFolder() const;

 private:
  std::unique_ptr<framework_test::TestApplication> application_;
  std::unique_ptr<RecordingObserver> observer_;
  QuickClock clock_;
};

}  // namespace task_test
