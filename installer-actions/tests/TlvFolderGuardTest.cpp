#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "TlvFormerSuiteFixture.h"
#include "installer-actions/tlvproc/TlvFolderGuard.h"
#include "platform/testsupport/FakeSysfs.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

// The suite takes the class's name; the class itself is ::TlvFolderGuard.
using TlvFolderGuard = TlvFormerSuiteTest;

TEST_F(TlvFolderGuard, AcceptsOnlyOrdinaryFolders) {
  const std::string t = T();
  fs::create_directories(Root() / "other" / "Prod");
  fs::create_directories(Root() / "home" / "Desktop");
  fs::create_directories(Root() / "home" / "projects");
  fs::create_directories(Root() / "machine" / "opt" / "Vendor");
  fs::create_directories(Root() / "mnt");
  WriteFile(Root() / "file", "x");
  fs::create_directory_symlink(Root() / "other" / "Prod", Root() / "prodlink");
  fs::create_directory_symlink(Root(), Root() / "up");
  testsupport::FakeSysfs sysfs(std::getenv("KAVO_SYSROOT"));
  sysfs.AddMount({(Root() / "mnt").string(), "ext4", "/dev/sdb1", 8, 17});

  const struct Case {
    std::string path;
    bool accepted;
  } cases[] = {
      {"", false},
      {"/", false},
      {"rel/x", false},
      {t + "/other/../other/Prod", false},
      {t + "/other/./Prod", false},
      {t + "/missing", false},
      {t + "/file", false},
      {t + "/prodlink", false},
      {t + "/mnt", false},
      {t + "/mnt/", false},
      {t + "/home", false},
      {t + "/home/Desktop", false},
      {t + "/tmp", false},
      {t, false},
      {t + "/machine", false},
      {t + "/machine/opt", false},
      {t + "/machine/usr/share/applications", false},
      {t + "/up/home", false},
      {t + "/other/Prod", true},
      {t + "/other/Prod/", true},
      {t + "/other", true},
      {t + "/home/projects", true},
      {t + "/machine/opt/Vendor", true},
      {t + "/up/other/Prod", true},
  };
  // Folders the guard protects must exist to be compared with links resolved.
  fs::create_directories(Root() / "machine" / "usr" / "share" / "applications");
  const ::TlvFolderGuard guard;
  for (const Case& c : cases) {
    EXPECT_EQ(guard.Accepts(XpString::FromUtf8(c.path)), c.accepted) << c.path;
  }
  EXPECT_FALSE(guard.AcceptsBeside(XpString::FromUtf8(t + "/other"),
                                   {XpString::FromUtf8(t + "/other/Prod")}));
  EXPECT_FALSE(guard.AcceptsBeside(XpString::FromUtf8(t + "/other/Prod"),
                                   {XpString::FromUtf8(t + "/other/Prod/")}));
  EXPECT_TRUE(guard.AcceptsBeside(XpString::FromUtf8(t + "/other/Prod"),
                                  {XpString::FromUtf8(t + "/other"), XpString()}));
}

// The older product's folder goes only when it passes the guard and is not
// above the former folder or the product's own folder.
TEST_F(TlvFolderGuard, OlderProductFolder) {
  BuildFixture();
  const std::string t = T();
  fs::create_directories(Root() / "apps" / "QMV");
  fs::create_directories(Root() / "mnt");
  fs::create_directory_symlink(Root() / "other" / "Prod", Root() / "prodlink");
  testsupport::FakeSysfs sysfs(std::getenv("KAVO_SYSROOT"));
  sysfs.AddMount({(Root() / "mnt").string(), "ext4", "/dev/sdb1", 8, 17});
  const std::string home = (Root() / "home").string();
  const char* const kept[] = {"", "/", "rel/x", "$T/other/../other/Prod", "$T/mnt", "$HOME", "$T/machine/opt",
                              "$T/apps", "$T/prodlink", "$T/old"};
  for (const char* value : kept) {
    std::string location = value;
    if (location.rfind("$T", 0) == 0) location = t + location.substr(2);
    if (location == "$HOME") location = home;
    SetText(Hklm(), kTlvOtherProductKey, u"InstallLocation", location);
    Run("TLV_DeleteTLVModule");
    EXPECT_TRUE(fs::exists(Root() / "other" / "Prod" / "prod.dat")) << location;
    EXPECT_TRUE(fs::is_symlink(Root() / "prodlink")) << location;
    EXPECT_TRUE(fs::exists(Root() / "apps" / "QMV")) << location;
    EXPECT_TRUE(fs::exists(Root() / "home" / "Desktop" / "Mine.desktop")) << location;
    EXPECT_TRUE(fs::exists(Root() / "mnt")) << location;
    EXPECT_TRUE(fs::exists(Former() / "notes.txt")) << location;
  }
  SetText(Hklm(), kTlvOtherProductKey, u"InstallLocation", t + "/other/Prod/");
  Run("TLV_DeleteTLVModule");
  EXPECT_FALSE(fs::exists(Root() / "other" / "Prod"));
  EXPECT_TRUE(fs::exists(Root() / "other"));
}

}  // namespace
}  // namespace installertest
