// The usage example at the top of K2ExportTaskManager.h, run as written on a
// scratch camera.
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "accessor/task/K2ExportResult.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/tests/task/FakeXdbAccessor.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "platform/testsupport/FakeSysfs.h"

namespace task_test {
namespace {

namespace fs = std::filesystem;

// 2023-03-15 12:00:00 as the hand-over file gives it.
constexpr double kShootingDay = 45000.5;
constexpr int64_t kPlentyOfSpace = int64_t{1} << 40;
constexpr const char* kFirstExported = "DCIM/101ZXDCF/QMVS0001.JPG";

// An empty camera mounted at Root()/cam, and a manager whose album
// database is the recording fake.
class AccessorExportUsageExample : public TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    fs::create_directories(TempFolder());
    sysfs_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    sysfs_->AddMount({"/", "ext4", "/dev/sda1", 8, 1});
    camera_ = Dir("cam");
    sysfs_->AddMount({camera_.string(), "vfat", "/dev/sdb1", 8, 17});
  }

  void WithSeams(K2ExportTaskManager& manager) {
    manager.SetXdbAccessorFactory(MakeFakeXdbFactory(ledger_));
    manager.SetFreeSpaceQuery([](const XpString&) { return kPlentyOfSpace; });
    Observer().SetManager(&manager);
  }

  XpString Picture(const std::string& relative) {
    WriteJpeg(Root() / relative, ExifTagsWithDate("2020:01:02 03:04:05"));
    return XpString::FromUtf8((Root() / relative).string());
  }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
  fs::path camera_;
  std::shared_ptr<XdbLedger> ledger_ = std::make_shared<XdbLedger>();
};

// The example from the manager's Start on; the test's manager has the fake
// album database.
[[nodiscard]] XpResult ExportToCamera(K2ExportTaskManager& manager, const XpString& camera,
                                      const XpString& temp, const SfContentInfoXML& content) {
  K2ExportConfig config;
  config.SetDestination(camera);
  config.SetTempDir(temp);
  XpResult result = manager.Start(config, content, nullptr);
  if (XpFailed(result)) return result;
  result = manager.Interrupt();
  if (XpFailed(result)) return result;
  return manager.WaitUntilFinished();
}

TEST_F(AccessorExportUsageExample, K2ExportTaskManagerPutsAPictureOnTheCamera) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {Picture("Party/a.JPG")}, kShootingDay);
  K2ExportTaskManager manager(Clock());
  WithSeams(manager);

  EXPECT_EQ(ExportToCamera(manager, XpString::FromUtf8(camera_.string()),
                           XpString::FromUtf8(TempFolder().string()), handOver.Document()),
            kXpOk);

  const fs::path landed = camera_ / kFirstExported;
  ASSERT_TRUE(fs::exists(landed));
  EXPECT_EQ(fs::file_size(landed), fs::file_size(Root() / "Party/a.JPG"));
  const std::vector<RecordedContent> contents = ledger_->CommittedContents();
  ASSERT_EQ(contents.size(), 1u);
  EXPECT_EQ(contents[0].album, "Party");
  EXPECT_EQ(contents[0].path, landed.string());
}

TEST_F(AccessorExportUsageExample, K2ExportTaskManagerRefusesContentsItCannotExport) {
  HandOver handOver;
  handOver.Add(kK2ContentTypeJpeg, {Picture("Party/a.JPG")}, kShootingDay);
  handOver.Add(kK2ContentTypeMovie, {XpString::FromUtf8((Root() / "Party/b.modd").string())},
               kShootingDay);
  WriteBytes(Root() / "Party/b.modd", "side file");
  K2ExportTaskManager manager(Clock());
  WithSeams(manager);

  EXPECT_EQ(ExportToCamera(manager, XpString::FromUtf8(camera_.string()),
                           XpString::FromUtf8(TempFolder().string()), handOver.Document()),
            kK2ErrUnsupportedContents);
  EXPECT_EQ(manager.Stop(), kXpOk);
  (void)manager.WaitUntilFinished();  // only the join matters here
  EXPECT_FALSE(fs::exists(camera_ / kFirstExported));
  EXPECT_TRUE(ledger_->Calls().empty());
}

}  // namespace
}  // namespace task_test
