#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "accessor/import/K2ImportTaskDCFObj.h"
#include "accessor/tests/import/ImportTaskTestSupport.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/testsupport/AgedFiles.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using import_test::MakeObject;
using import_test::NamesIn;
using import_test::ReadAll;
using Names = std::vector<std::string>;

constexpr uint64_t kPictureBytes = uint64_t{4} << 20;
constexpr int kChildNeverKilled = 3;
// Older than the age at which the copy's sweep takes a temporary for a dead
// writer's.
constexpr std::chrono::seconds kLongAgo{XpPendingFile::kStaleSeconds * 2};

// A task that, at its second progress report, says so and waits to be
// killed.
class HaltingTask : public K2ImportTaskDCFObj {
 public:
  explicit HaltingTask(testsupport::ChildChannel& channel) : channel_(channel) {}

  bool OnFileOpProgress(double percent) override {
    if (++reports_ == 2) {
      channel_.SignalReady();
      channel_.WaitForGo();
    }
    return K2ImportTaskDCFObj::OnFileOpProgress(percent);
  }

 private:
  testsupport::ChildChannel& channel_;
  int reports_ = 0;
};

class K2ImportTaskAcrossProcesses : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    const fs::path camera = Dir("cam");
    import_test::StageCameraMount(std::getenv("KAVO_SYSROOT"), camera);
    picture_ = camera / "DCIM/100ABCDE/DSC01234.JPG";
    // A real picture followed by padding up to the size.
    task_test::WritePlainJpeg(picture_);
    const uint64_t written = fs::file_size(picture_);
    std::ofstream(picture_, std::ios::binary | std::ios::app)
        << std::string(kPictureBytes - written, '\x5A');
    destination_ = Dir("pc/x");
  }

  fs::path picture_;
  fs::path destination_;
};

TEST_F(K2ImportTaskAcrossProcesses, AKilledCopyLeavesNoVisibleFileAndTheNextRunCopiesAgain) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([this](testsupport::ChildChannel& channel) {
    HaltingTask task(channel);
    task.SetSource(XpSharedPtr<XpAbstractFSObj>(MakeObject({picture_})));
    task.SetName(XpString::FromUtf8(destination_.string()));
    (void)task.Run(nullptr, nullptr);
    return kChildNeverKilled;
  }));
  ASSERT_TRUE(child.WaitReady());
  child.Kill();
  EXPECT_NE(child.Wait(), kChildNeverKilled);

  for (const std::string& name : NamesIn(destination_)) {
    EXPECT_EQ(name.front(), '.') << name;
  }
  EXPECT_EQ(NamesIn(picture_.parent_path()), Names{"DSC01234.JPG"});

  {
    testsupport::AgedFiles aged(XpPendingFile::kTempMarker, kLongAgo);
    K2ImportTaskDCFObj task;
    task.SetSource(XpSharedPtr<XpAbstractFSObj>(MakeObject({picture_})));
    task.SetName(XpString::FromUtf8(destination_.string()));
    task.SetRenameSource(false);
    ASSERT_EQ(task.Run(nullptr, nullptr), kXpOk);
  }
  EXPECT_EQ(NamesIn(destination_), Names{"DSC01234.JPG"});
  EXPECT_EQ(ReadAll(destination_ / "DSC01234.JPG"), ReadAll(picture_));
}

}  // namespace
