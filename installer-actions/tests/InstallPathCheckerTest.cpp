#include "installer-actions/qmvproc/InstallPathChecker.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "InstallPathTree.h"
#include "installer-actions/qmvproc/QmvCheckActions.h"
#include "msi/MsiInstallation.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/testsupport/FaultInjection.h"

namespace installertest {
namespace {

using testsupport::Fault;
using testsupport::SysCall;

constexpr int32_t kAccepted = 1;
constexpr int32_t kRejected = 0;

class InstallPathChecker : public InstallPathTest {
 protected:
  int32_t Check(const std::string& path) const {
    return ::InstallPathChecker().Check(XpString::FromUtf8(path));
  }

  // The flag the action sets for this folder, run in this process.
  std::u16string FlagFor(const std::string& folder) {
    MsiSetPropertyW(install_, u"APPLICATIONROOTDIRECTORY", XpString::FromUtf8(folder).CStr());
    EXPECT_EQ(QmvCheckInstallPathAction(install_), 0u);
    return msi::PropertyOf(install_, u"INSRALLDIRCHECK_FLAG").value_or(u"(unset)");
  }

  testsupport::FaultInjection faults_;
};

TEST_F(InstallPathChecker, AFolderThatCannotBeMadeIsRejectedAndTheWalkIsUndone) {
  const int rule = faults_.Add(Fault(SysCall::kMkdir, At("fixed/new/deep")).Errno(EACCES));
  EXPECT_EQ(Check(At("fixed/new/deep/")), kRejected);
  EXPECT_EQ(faults_.Hits(rule), 1);
  EXPECT_FALSE(std::filesystem::exists(At("fixed/new")));

  EXPECT_EQ(FlagFor(At("fixed/new/deep/")), u"1");
  EXPECT_FALSE(std::filesystem::exists(At("fixed/new")));

  faults_.Clear();
  EXPECT_EQ(Check(At("fixed/new/deep/")), kAccepted);
  EXPECT_FALSE(std::filesystem::exists(At("fixed/new")));
}

TEST_F(InstallPathChecker, AFolderWhereNoFileCanBeMadeIsRejected) {
  std::filesystem::create_directories(At("fixed/locked"));
  EXPECT_EQ(Check(At("fixed/locked/")), kAccepted);
  faults_.Add(Fault(SysCall::kOpen, At("fixed/locked/")).Errno(EACCES));
  EXPECT_EQ(Check(At("fixed/locked/")), kRejected);
  EXPECT_EQ(FlagFor(At("fixed/locked/")), u"1");
}

TEST_F(InstallPathChecker, TheProbeRunsEvenWhereALaterRuleRefuses) {
  // The stick is refused as removable, yet its folder is made and removed
  // first.
  const int removal = faults_.Add(Fault(SysCall::kRmdir, At("stick/QMV")).Errno(EBUSY));
  EXPECT_EQ(Check(At("stick/QMV/")), kRejected);
  EXPECT_EQ(faults_.Hits(removal), 1);
  EXPECT_TRUE(std::filesystem::is_directory(At("stick/QMV")));
  std::filesystem::remove(At("stick/QMV"));

  faults_.Clear();
  const int creation = faults_.Add(Fault(SysCall::kMkdir, At("net/x")).Errno(EACCES));
  EXPECT_EQ(Check(At("net/x/")), kRejected);
  EXPECT_EQ(faults_.Hits(creation), 1);
}

TEST_F(InstallPathChecker, TheBusDecidesWhatTheVolumeDoesNotSay) {
  AddFixedVolume("firewire", testsupport::FakeBus::kFireWire);
  AddFixedVolume("pccard", testsupport::FakeBus::kPcCard);
  struct Case {
    const char* osVersion;
    const char* volume;
    int32_t answer;
  } const cases[] = {
      {"2.6.1", "usbfixed", kRejected},   {"2.6.1", "firewire", kRejected}, {"2.6.1", "pccard", kAccepted},
      {"1.4.10", "usbfixed", kRejected},  {"1.4.10", "pccard", kRejected},  {"1.4.10", "fixed", kAccepted},
      {"fail", "usbfixed", kAccepted},    {"2.6.1", "fixed", kAccepted},
  };
  for (const Case& c : cases) {
    SetEnv("KAVO_OS_VERSION", c.osVersion);
    EXPECT_EQ(Check(At(c.volume) + "/Apps/"), c.answer) << c.osVersion << " " << c.volume;
  }
}

TEST_F(InstallPathChecker, SystemFoldersBelowTheMachineRootAreRefused) {
  const std::string desktops = At("fixed/machine/usr/Desktop");
  std::filesystem::create_directories(Home() + "/.config");
  SetEnv("XDG_CONFIG_HOME", Home() + "/.config");
  std::ofstream(Home() + "/.config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"" << desktops << "\"\n";
  struct Case {
    const char* osVersion;
    std::string path;
    int32_t answer;
  } const cases[] = {
      {"2.6.1", At("fixed/machine/usr/QMV/"), kRejected},
      {"2.6.1", At("fixed/machine/etc/"), kRejected},
      {"2.6.1", At("fixed/machine/USR/QMV/"), kAccepted},
      {"2.6.1", At("fixed/machine/usrx/QMV/"), kAccepted},
      {"2.6.1", At("fixed/machine/opt/QMV/"), kAccepted},
      {"2.6.1", desktops + "/QMV/", kRejected},
      {"1.4.10", desktops + "/QMV/", kAccepted},
      {"1.4.10", At("fixed/machine/usr/QMV/"), kRejected},
      {"fail", desktops + "/QMV/", kRejected},
  };
  for (const Case& c : cases) {
    SetEnv("KAVO_OS_VERSION", c.osVersion);
    EXPECT_EQ(Check(c.path), c.answer) << c.osVersion << " " << c.path;
  }
}

TEST_F(InstallPathChecker, OnlyTheTemporaryFolderIsAllowedInTheProfiles) {
  struct Case {
    std::string path;
    int32_t answer;
  } const cases[] = {
      {Home() + "/Documents/QMV/", kRejected},
      {Home() + "/Pictures/", kRejected},
      {Home() + "/Music/QMV/", kRejected},
      {Home() + "/Tools/QMV/", kRejected},
      {At("fixed/users/other/QMV/"), kRejected},
      {Home() + "/AppData/Local/Temp/", kAccepted},
      {Home() + "/AppData/Local/Temp/QMV/", kAccepted},
      {Home() + "/AppData/Local/TempX/", kRejected},
      {At("fixed/usersx/QMV/"), kAccepted},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.path), c.answer) << c.path;
  }
  SetEnv("TMPDIR", Home() + "/AppData/Local/Temp/QMV/");
  EXPECT_EQ(Check(Home() + "/AppData/Local/Temp/QMV/"), kAccepted);
  EXPECT_EQ(Check(Home() + "/AppData/Local/Temp/"), kRejected);
}

TEST_F(InstallPathChecker, HiddenAndReadOnlyCountOnlyForExistingFolders) {
  struct Case {
    std::string path;
    bool make;
    int32_t answer;
  } const cases[] = {
      {At("fixed/data/.cache/QMV/"), true, kRejected},
      {At("fixed/hidden/.cache/QMV/"), false, kAccepted},
      {At("fixed/.top/"), true, kRejected},
      {At("fixed/plain/QMV/"), true, kAccepted},
  };
  for (const Case& c : cases) {
    if (c.make) std::filesystem::create_directories(c.path);
    EXPECT_EQ(Check(c.path), c.answer) << c.path;
  }
  EXPECT_FALSE(std::filesystem::exists(At("fixed/hidden")));

  std::filesystem::create_directories(At("fixed/ro"));
  ASSERT_EQ(XpFileSetReadOnly(XpString::FromUtf8(At("fixed/ro")), true), kXpOk);
  EXPECT_EQ(Check(At("fixed/ro/")), kRejected);
  ASSERT_EQ(XpFileSetReadOnly(XpString::FromUtf8(At("fixed/ro")), false), kXpOk);
  EXPECT_EQ(Check(At("fixed/ro/")), kAccepted);
}

TEST_F(InstallPathChecker, RootsRelativePathsAndLengths) {
  struct Case {
    std::string path;
    int32_t answer;
  } const cases[] = {
      {At("fixed/"), kRejected},
      {At("fixed"), kAccepted},
      {"rel/x/", kRejected},
      {"", kRejected},
      {PathOfLength(260), kAccepted},
      {PathOfLength(261), kRejected},
      {At("elsewhere/QMV/"), kRejected},
      {At("cd/x/"), kRejected},
      {At("net/x/"), kRejected},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.path), c.answer) << c.path;
  }
  EXPECT_EQ(PathOfLength(260).size(), 260u);
  EXPECT_FALSE(std::filesystem::exists("rel"));
  EXPECT_FALSE(std::filesystem::exists(At("fixed/long")));
  EXPECT_FALSE(std::filesystem::exists(At("elsewhere")));
}

}  // namespace
}  // namespace installertest
