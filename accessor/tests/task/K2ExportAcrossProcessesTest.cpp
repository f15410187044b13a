#include <fcntl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/tests/task/FakeXdbAccessor.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "framework/app/XfApplication.h"
#include "framework/tests/app/TestApplication.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace task_test {
namespace {

namespace fs = std::filesystem;

constexpr double kShootingDay = 45000.5;
constexpr int kChildNeverKilled = 3;
constexpr const char* kDcfFolder = "DCIM/101ZXDCF";

std::string ReadBytesOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Stops the process at the first write of a movie thumbnail, wherever it is
// written: it says so and waits to be killed.
class HaltAtThumbnail final : public XpSysCallsWrapper {
 public:
  explicit HaltAtThumbnail(testsupport::ChildChannel& channel)
      : XpSysCallsWrapper(XpSysCalls::Current()), channel_(channel) {
    XpSysCalls::Install(this);
  }
  ~HaltAtThumbnail() override { XpSysCalls::Install(&Target()); }

  int Open(const char* path, int flags, mode_t mode) override {
    const int fd = XpSysCallsWrapper::Open(path, flags, mode);
    if (fd >= 0 && (flags & O_ACCMODE) != O_RDONLY && std::string(path).find(".THM") != std::string::npos) {
      thumbnails_.insert(fd);
    }
    return fd;
  }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    if (thumbnails_.count(fd) != 0) {
      channel_.SignalReady();
      channel_.WaitForGo();
    }
    return XpSysCallsWrapper::Write(fd, buffer, count);
  }

 private:
  testsupport::ChildChannel& channel_;
  std::set<int> thumbnails_;
};

class K2ExportAcrossProcesses : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    sysfs_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    sysfs_->AddMount({"/", "ext4", "/dev/sda1", 8, 1});
    camera_ = Dir("cam");
    sysfs_->AddMount({camera_.string(), "vfat", "/dev/sdb1", 8, 17});
    temp_ = Dir("tmp");
    server_ = Dir("server");
    WriteBytes(server_ / "script", "frame 64 48 9216 4 3\n");
    movie_ = Root() / "Trip/a.MPG";
    WriteBytes(movie_, std::string(3000, 'm'));
  }

  // One export of the movie, in a process of its own or this one; its
  // result.
  XpResult Export() {
    framework_test::TestApplication application;
    XfSetApplication(&application);
    XpResult result = kXpErrGeneric;
    {
      QuickClock clock;
      K2ExportTaskManager manager(clock);
      manager.SetXdbAccessorFactory(MakeFakeXdbFactory(std::make_shared<XdbLedger>()));
      manager.SetFreeSpaceQuery([](const XpString&) { return int64_t{1} << 40; });
      XpImageIoMovieOptions options;
      options.serverProgram = XpString::FromUtf8(KAVO_FAKE_MOVIE_SERVER);
      manager.SetMovieServer(XpString::FromUtf8(server_.string()), options);
      K2ExportConfig config;
      config.SetTempDir(XpString::FromUtf8(temp_.string()));
      config.SetChangeImageFileSize(false);
      config.SetDestination(XpString::FromUtf8(camera_.string()));
      HandOver handOver;
      handOver.Add(kK2ContentTypeMovie, {XpString::FromUtf8(movie_.string())}, kShootingDay);
      if (manager.Start(config, handOver.Document(), nullptr) == kXpOk) {
        EXPECT_EQ(manager.Interrupt(), kXpOk);
        result = manager.WaitUntilFinished();
      }
    }
    XfSetApplication(nullptr);
    return result;
  }

  // The entries below folder, relative and sorted.
  static std::vector<std::string> Tree(const fs::path& folder) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      entries.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }
  static size_t CountTemporaries(const std::vector<std::string>& entries) {
    return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [](const std::string& entry) {
      return entry.find(XpPendingFile::kTempMarker) != std::string::npos;
    }));
  }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
  fs::path camera_;
  fs::path temp_;
  fs::path server_;
  fs::path movie_;
};

TEST_F(K2ExportAcrossProcesses, AKillBeforeTheThumbnailIsWrittenLeavesNoFinalNameAndTheNextRunPublishesBoth) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([this](testsupport::ChildChannel& channel) {
    HaltAtThumbnail halt(channel);
    (void)Export();
    return kChildNeverKilled;
  }));
  ASSERT_TRUE(child.WaitReady());
  child.Kill();
  EXPECT_NE(child.Wait(), kChildNeverKilled);

  // Neither file holds its final name; the killed run's partial copy and
  // its folder of temporaries are there, fresh.
  const std::string folder = std::string(kDcfFolder) + "/";
  const std::vector<std::string> killed = Tree(camera_);
  EXPECT_EQ(std::count(killed.begin(), killed.end(), folder + "QMVM0001.THM"), 0);
  EXPECT_EQ(std::count(killed.begin(), killed.end(), folder + "QMVM0001.MPG"), 0);
  EXPECT_EQ(CountTemporaries(killed), 1u) << ::testing::PrintToString(killed);
  EXPECT_FALSE(Tree(temp_).empty());

  EXPECT_EQ(Export(), kXpOk);

  EXPECT_EQ(Tree(camera_), (std::vector<std::string>{"DCIM", kDcfFolder, folder + "QMVM0001.MPG",
                                                      folder + "QMVM0001.THM"}));
  EXPECT_EQ(ReadBytesOf(camera_ / folder / "QMVM0001.MPG"), ReadBytesOf(movie_));
  EXPECT_EQ(ReadBytesOf(camera_ / folder / "QMVM0001.THM").substr(0, 2), "\xFF\xD8");
  EXPECT_TRUE(Tree(temp_).empty()) << ::testing::PrintToString(Tree(temp_));
}

}  // namespace
}  // namespace task_test
