#include "platform/system/XpSystemInfo.h"

#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/system/XpSysRoot.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

class SystemInfoFixture : public testsupport::HermeticTest {
 protected:
  std::filesystem::path SysRoot() const { return std::getenv("KAVO_SYSROOT"); }
  void StageMemInfo(const std::string& text) {
    std::filesystem::create_directories(SysRoot() / "proc");
    std::ofstream(SysRoot() / "proc/meminfo") << text;
  }
};
using XpSystemInfo = SystemInfoFixture;
using XpSysRoot = SystemInfoFixture;

TEST_F(XpSystemInfo, ReportsAWindows7LikeIdentityUnlessOverridden) {
  const struct {
    const char* setting;  // null: unset
    XpResult result;
    uint32_t platformId, major, minor;
  } cases[] = {
      {nullptr, kXpOk, 2, 6, 1},
      {"1.4.10", kXpOk, 1, 4, 10},
      {"2.5.1", kXpOk, 2, 5, 1},
      {"3.7.0", kXpOk, 0, 7, 0},  // unknown platforms read as 0
      {"fail", kXpErrGeneric, 99, 99, 99},
      {"6.1", kXpOk, 2, 6, 1},  // malformed: ignored
      {"1.4.x", kXpOk, 2, 6, 1},
      {"", kXpOk, 2, 6, 1},
  };
  SetEnv("KAVO_OS_VERSION", "");
  for (const auto& row : cases) {
    if (row.setting != nullptr) {
      SetEnv("KAVO_OS_VERSION", row.setting);
    } else {
      ::unsetenv("KAVO_OS_VERSION");
    }
    uint32_t platformId = 99, major = 99, minor = 99;
    const char* label = row.setting != nullptr ? row.setting : "(unset)";
    EXPECT_EQ(XpGetOSVersion(&platformId, &major, &minor), row.result) << label;
    EXPECT_EQ(platformId, row.platformId) << label;
    EXPECT_EQ(major, row.major) << label;
    EXPECT_EQ(minor, row.minor) << label;
    EXPECT_EQ(XpIsWindowsNT(), row.result == kXpOk && row.platformId == 2) << label;
  }
  uint32_t major = 0;
  SetEnv("KAVO_OS_VERSION", "1.4.10");
  EXPECT_EQ(XpGetOSVersion(nullptr, &major, nullptr), kXpOk);
  EXPECT_EQ(major, 4u);
}

TEST_F(XpSystemInfo, ReportsTimeAndProcessors) {
  const int64_t before = static_cast<int64_t>(::time(nullptr));
  const int64_t now = XpGetCurrentTime();
  EXPECT_GE(now, before);
  EXPECT_LE(now, static_cast<int64_t>(::time(nullptr)));
  EXPECT_EQ(XpGetProcessorCount(), static_cast<uint32_t>(::sysconf(_SC_NPROCESSORS_ONLN)));
}

TEST_F(XpSystemInfo, UsableProcessorsFollowTheAffinity) {
  cpu_set_t all;
  CPU_ZERO(&all);
  ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(XpGetUsableProcessorCount(), static_cast<uint32_t>(CPU_COUNT(&all)));
  int first = 0;
  while (!CPU_ISSET(first, &all)) {
    ++first;
  }
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  EXPECT_EQ(XpGetUsableProcessorCount(), 1u);
  ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
}

TEST_F(XpSystemInfo, MemoryComesFromMemInfoBelowTheSystemRoot) {
  EXPECT_EQ(XpGetTotalPhysicalMemory(), 0u);
  EXPECT_EQ(XpGetAvailablePhysicalMemory(), 0u);

  StageMemInfo(
      "MemTotal:       16384256 kB\n"
      "MemFree:         1000000 kB\n"
      "MemAvailable:    8000000 kB\n"
      "Buffers:          123456 kB\n");
  EXPECT_EQ(XpGetTotalPhysicalMemory(), 16384256ull * 1024);
  EXPECT_EQ(XpGetAvailablePhysicalMemory(), 8000000ull * 1024);

  // Older kernels have no MemAvailable.
  StageMemInfo("MemTotal: 2048 kB\nMemFreeX: 7 kB\nMemFree: 1024 kB\n");
  EXPECT_EQ(XpGetAvailablePhysicalMemory(), 1024ull * 1024);
}

TEST_F(XpSysRoot, PrefixesEverySystemPath) {
  SetEnv("KAVO_SYSROOT", (Root() / "fake").string() + "//");
  EXPECT_EQ(::XpSysRoot(), (Root() / "fake").string().c_str());
  EXPECT_EQ(XpSysRootPath("/sys/dev/block/8:0"), (Root() / "fake/sys/dev/block/8:0").string().c_str());

  std::filesystem::create_directories(Root() / "fake/sys/block/sdb");
  std::ofstream(Root() / "fake/sys/block/sdb/removable") << "1\n";
  std::string contents;
  EXPECT_EQ(XpSysRootReadFile("/sys/block/sdb/removable", &contents), kXpOk);
  EXPECT_EQ(contents, "1\n");
  EXPECT_EQ(XpSysRootReadFile("/sys/block/sdc/removable", &contents), kXpErrPathNotFound);
  EXPECT_EQ(contents, "");

  ::unsetenv("KAVO_SYSROOT");
  EXPECT_EQ(XpSysRootPath("/proc/self/mountinfo"), "/proc/self/mountinfo");
}

}  // namespace
