#include "setup/config/SfRegistry.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SfRegistryFixture : public testsupport::HermeticTest {
 protected:
  std::filesystem::path UserFile() const { return Root() / "registry/HKEY_CURRENT_USER.reg"; }
  std::filesystem::path MachineFile() const {
    return Root() / "registry/HKEY_LOCAL_MACHINE.reg";
  }
};
using SfRegistry = SfRegistryFixture;

TEST_F(SfRegistry, NoAccessBitFails) {
  ::SfRegistry key;
  for (const uint32_t access : {0u, 0x4u, 0x8u, 0xCu}) {
    EXPECT_EQ(key.Open(u"Software/Kavo", XpRegistry::kRootLocalMachine, access), kXpErrGeneric)
        << access;
    EXPECT_FALSE(key.IsOpen());
  }
}

TEST_F(SfRegistry, OwnHiveOpensUnderTheCurrentUser) {
  ::SfRegistry key;
  key.SetUseOwnHive(true);
  ASSERT_EQ(key.Open(u"Software/Kavo", XpRegistry::kRootLocalMachine,
                     XpRegistry::kAccessRead | XpRegistry::kAccessWrite),
            kXpOk);
  EXPECT_EQ(key.GetRoot(), XpRegistry::kRootCurrentUser);
  ASSERT_EQ(key.SetString(u"Name", u"value"), kXpOk);
  EXPECT_THAT(ReadText(UserFile()), HasSubstr("Software\\Kavo]"));
  EXPECT_THAT(ReadText(MachineFile()), Not(HasSubstr("Kavo")));

  ::SfRegistry machine;
  ASSERT_EQ(machine.Open(u"Software/Machine", XpRegistry::kRootLocalMachine,
                         XpRegistry::kAccessRead | XpRegistry::kAccessWrite),
            kXpOk);
  EXPECT_EQ(machine.GetRoot(), XpRegistry::kRootLocalMachine);
  EXPECT_THAT(ReadText(MachineFile()), HasSubstr("Software\\Machine]"));
}

TEST_F(SfRegistry, SlashesSeparateKeysAndReadingCreatesNothing) {
  ::SfRegistry key;
  EXPECT_EQ(key.Open(u"a/b", XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead),
            kXpErrGeneric);
  EXPECT_FALSE(std::filesystem::exists(UserFile()));
  ASSERT_EQ(key.Open(u"a/b", XpRegistry::kRootCurrentUser, XpRegistry::kAccessWrite), kXpOk);
  EXPECT_EQ(key.GetPath(), u"a\\b");
  EXPECT_EQ(key.GetAccess(), XpRegistry::kAccessWrite);
  ::SfRegistry reader;
  EXPECT_EQ(reader.Open(u"a\\b", XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead), kXpOk);
}

}  // namespace
