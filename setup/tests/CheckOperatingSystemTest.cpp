#include "setup/app/CheckOperatingSystem.h"

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using CheckOperatingSystem = testsupport::HermeticTest;

constexpr uint8_t kWorkstation = SetupOsIdentity::kWorkstation;
constexpr uint8_t kServer = SetupOsIdentity::kServer;
constexpr uint16_t kX86 = 0;
constexpr uint16_t kX64 = SetupOsIdentity::kArchitectureX64;

SetupOsIdentity Nt(uint32_t major, uint32_t minor) {
  SetupOsIdentity os;
  os.platformId = 2;
  os.major = major;
  os.minor = minor;
  return os;
}

TEST_F(CheckOperatingSystem, VersionEditionAndServicePackGate) {
  struct Case {
    const char* name;
    SetupOsIdentity os;
    bool accepted;
  };
  auto with = [](SetupOsIdentity os, auto change) {
    change(os);
    return os;
  };
  SetupOsIdentity win9x = Nt(4, 10);
  win9x.platformId = 1;
  const Case cases[] = {
      {"Windows 98", win9x, false},
      {"unknown platform", with(Nt(6, 1), [](auto& o) { o.platformId = 0; }), false},
      {"NT 4.0", Nt(4, 0), false},
      {"2000", Nt(5, 0), false},
      {"XP SP1", with(Nt(5, 1), [](auto& o) { o.servicePackMajor = 1; }), false},
      {"XP SP2", with(Nt(5, 1), [](auto& o) { o.servicePackMajor = 2; }), false},
      {"XP SP3", with(Nt(5, 1), [](auto& o) { o.servicePackMajor = 3; }), true},
      {"2003 storage server",
       with(Nt(5, 2), [](auto& o) { o.productType = kServer; o.suiteMask = 0x2000; }), false},
      {"2003 R2 storage server",
       with(Nt(5, 2), [](auto& o) { o.productType = kServer; o.suiteMask = 0x2000; o.r2Metric = true; }),
       true},
      {"home server",
       with(Nt(5, 2), [](auto& o) { o.productType = kServer; o.suiteMask = 0x8000; }), false},
      {"storage and other suites",
       with(Nt(5, 2), [](auto& o) { o.productType = kServer; o.suiteMask = 0x2002; }), true},
      {"XP x64",
       with(Nt(5, 2), [](auto& o) { o.productType = kWorkstation; o.processorArchitecture = kX64; }),
       false},
      {"XP x86 on 5.2",
       with(Nt(5, 2), [](auto& o) { o.productType = kWorkstation; o.processorArchitecture = kX86; }),
       true},
      {"2003 server x64",
       with(Nt(5, 2), [](auto& o) { o.productType = kServer; o.processorArchitecture = kX64; }), true},
      {"Server 2008", with(Nt(6, 0), [](auto& o) { o.productType = kServer; }), false},
      {"Vista Starter", with(Nt(6, 0), [](auto& o) { o.productInfo = 0x0B; }), false},
      {"Vista Home Basic", with(Nt(6, 0), [](auto& o) { o.productInfo = 0x02; }), true},
      {"7 Professional", with(Nt(6, 1), [](auto& o) { o.productInfo = 0x30; }), true},
      {"2008 R2", with(Nt(6, 1), [](auto& o) { o.productType = kServer; }), false},
      {"domain controller 6.1", with(Nt(6, 1), [](auto& o) { o.productType = 2; }), false},
      {"8", Nt(6, 2), false},
      {"10", Nt(10, 0), false},
      {"5.3", Nt(5, 3), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::CheckOperatingSystem(c.os), c.accepted) << c.name;
  }
}

TEST_F(CheckOperatingSystem, LiveIdentity) {
  const std::optional<SetupOsIdentity> live = SetupReadLiveOsIdentity();
  ASSERT_TRUE(live.has_value());
  EXPECT_EQ(live->major, 6u);
  EXPECT_EQ(live->minor, 1u);
  EXPECT_EQ(live->productType, kWorkstation);
  EXPECT_EQ(live->processorArchitecture, kX64);
  EXPECT_EQ(live->productInfo, 0x30u);
  EXPECT_TRUE(::CheckOperatingSystem(*live));

  SetEnv("KAVO_OS_VERSION", "2.5.1");
  const std::optional<SetupOsIdentity> xp = SetupReadLiveOsIdentity();
  ASSERT_TRUE(xp.has_value());
  EXPECT_EQ(xp->servicePackMajor, 0);
  EXPECT_FALSE(::CheckOperatingSystem(*xp));

  SetEnv("KAVO_OS_VERSION", "fail");
  EXPECT_FALSE(SetupReadLiveOsIdentity().has_value());
}

}  // namespace
