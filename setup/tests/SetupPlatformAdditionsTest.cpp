// The classes setup carries without calling them, each to its stated
// contract.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/volume/XpVolume.h"
#include "setup/config/IsAvfInfoVolume.h"
#include "setup/config/SfConfigurationHolders.h"
#include "setup/config/XpFileAvailableChecker.h"
#include "setup/config/XpPath.h"
#include "setup/config/XpSetErrorModeWin.h"

namespace {

using Fixture = testsupport::HermeticTest;
using XpPath = Fixture;
using XpSetErrorModeWin = Fixture;
using XpFileAvailableChecker = Fixture;
using IsAvfInfoVolume = Fixture;
using SfConfigurationHolders = Fixture;

TEST_F(XpPath, SharesItsStringAndKeepsItsLength) {
  const XpString text = u"/media/card/DCIM";
  const ::XpPath path(text);
  EXPECT_EQ(path.GetString(), text);
  EXPECT_EQ(path.GetLength(), 16);
  EXPECT_EQ(path.GetString().RepForTest(), text.RepForTest());
  const ::XpPath copy = path;
  EXPECT_EQ(copy.GetString().RepForTest(), text.RepForTest());
  EXPECT_EQ(::XpPath().GetLength(), 0);
}

TEST_F(SfConfigurationHolders, HoldTheirMembers) {
  const ::XpPath path(u"/home/user/Pictures");
  const auto common = std::make_unique<SfCommonConfiguration>(path);
  const auto import = std::make_unique<SfImportConfiguration>(path);
  EXPECT_EQ(common->GetPath().GetString(), u"/home/user/Pictures");
  EXPECT_EQ(import->GetPath().GetLength(), path.GetLength());
  const SfBrowserConfiguration browser({1, 2}, {3});
  EXPECT_EQ(browser.GetFirstBuffer(), SfBrowserConfiguration::Buffer({1, 2}));
  EXPECT_EQ(browser.GetSecondBuffer(), SfBrowserConfiguration::Buffer({3}));
  EXPECT_TRUE(std::has_virtual_destructor_v<SfContentAnalyzerConfiguration>);
}

TEST_F(XpSetErrorModeWin, KeepsTheModeWhichLinuxDoesNotHave) {
  const ::XpSetErrorModeWin outer;
  const ::XpSetErrorModeWin inner;
  EXPECT_EQ(outer.GetPreviousMode(), 0u);
  EXPECT_EQ(inner.GetPreviousMode(), 0u);
  EXPECT_FALSE(std::is_copy_constructible_v<::XpSetErrorModeWin>);
}

struct WorkerRecord {
  std::atomic<int> finished{0};
  std::atomic<bool> release{false};
};

uint32_t WaitingWorker(void* argument) {
  auto* record = static_cast<WorkerRecord*>(argument);
  while (!record->release.load()) XpThread::Yield();
  record->finished.fetch_add(1);
  return 7;
}

uint32_t ReleasingWorker(void* argument) {
  auto* record = static_cast<WorkerRecord*>(argument);
  record->release.store(true);
  record->finished.fetch_add(1);
  return 0;
}

TEST_F(XpFileAvailableChecker, DestructorWaitsForEveryQueuedWorker) {
  WorkerRecord record;
  {
    ::XpFileAvailableChecker checker;
    ASSERT_TRUE(checker.QueueWorkerForTest(WaitingWorker, &record));
    ASSERT_TRUE(checker.QueueWorkerForTest(WaitingWorker, &record));
    ASSERT_TRUE(checker.QueueWorkerForTest(ReleasingWorker, &record));
  }
  EXPECT_EQ(record.finished.load(), 3);
}

struct SelfDestroyRecord {
  ::XpFileAvailableChecker* checker = nullptr;
  std::atomic<bool> queued{false};
  std::atomic<bool> done{false};
};

uint32_t DestroyingWorker(void* argument) {
  auto* record = static_cast<SelfDestroyRecord*>(argument);
  while (!record->queued.load()) XpThread::Yield();
  delete record->checker;
  record->done.store(true);
  return 0;
}

TEST_F(XpFileAvailableChecker, AWorkerMayDestroyTheChecker) {
  SelfDestroyRecord record;
  record.checker = new ::XpFileAvailableChecker();
  ASSERT_TRUE(record.checker->QueueWorkerForTest(DestroyingWorker, &record));
  record.queued.store(true);
  while (!record.done.load()) XpThread::Yield();
}

TEST_F(IsAvfInfoVolume, NeedsTheThreeEntries) {
  testsupport::FakeSysfs fake(Root() / "sysroot");
  struct Case {
    const char* name;
    bool inp;
    bool intAsFolder;
    bool bnp;
    bool expected;
  };
  const Case cases[] = {
      {"all", true, false, true, true},
      {"no INP", false, false, true, false},
      {"INT a folder", true, true, true, false},
      {"no BNP", true, false, false, false},
  };
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path mount = Dir(std::string("vol") + std::to_string(minor));
    fake.AddMount({mount.string(), "vfat", "/dev/sdc" + std::to_string(minor), 8, 32 + minor});
    ++minor;
    const std::filesystem::path folder = mount / "AVF_INFO";
    std::filesystem::create_directories(folder);
    if (c.inp) std::ofstream(folder / "AVIN0001.INP") << "x";
    if (c.intAsFolder) {
      std::filesystem::create_directories(folder / "AVIN0001.INT");
    } else {
      std::ofstream(folder / "AVIN0001.INT") << "x";
    }
    // The third entry may be a folder.
    if (c.bnp) std::filesystem::create_directories(folder / "AVIN0001.BNP");
    const XpVolume volume(XpString::FromUtf8(mount.string()));
    EXPECT_EQ(::IsAvfInfoVolume(volume), c.expected) << c.name;
  }
}

}  // namespace
