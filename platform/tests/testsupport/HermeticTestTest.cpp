#include "platform/testsupport/HermeticTest.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {
namespace {

using HermeticTestFixture = HermeticTest;

TEST_F(HermeticTestFixture, PointsEveryLocationIntoItsOwnFolder) {
  for (const char* name : {"KAVO_REGISTRY_DIR", "KAVO_IPC_DIR", "KAVO_SYSROOT", "HOME",
                           "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                           "XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    ASSERT_NE(value, nullptr) << name;
    std::string path = value;
    EXPECT_EQ(path.rfind(Root().string(), 0), 0u) << name << "=" << path;
    EXPECT_TRUE(std::filesystem::is_directory(path)) << name;
  }
  EXPECT_STREQ(std::getenv("TZ"), "UTC");
}

TEST(HermeticTest, RestoresTheEnvironmentAndRemovesItsFolder) {
  ::setenv("KAVO_IPC_DIR", "/before", 1);
  std::filesystem::path root;
  {
    class Probe : public HermeticTest {
     public:
      void TestBody() override {}
      using HermeticTest::Root;
      using HermeticTest::SetUp;
      using HermeticTest::TearDown;
    } probe;
    probe.SetUp();
    root = probe.Root();
    EXPECT_NE(std::string(std::getenv("KAVO_IPC_DIR")), "/before");
    probe.TearDown();
  }
  EXPECT_STREQ(std::getenv("KAVO_IPC_DIR"), "/before");
  EXPECT_FALSE(std::filesystem::exists(root));
  ::unsetenv("KAVO_IPC_DIR");
}

}  // namespace
}  // namespace testsupport
