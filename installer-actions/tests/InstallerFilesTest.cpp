#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "platform/testsupport/FakeSysfs.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

class InstallerFiles : public InstallerTest {
 protected:
  std::vector<std::string> Narrowed(const XpStringVector& list, const fs::path& base) {
    std::vector<std::string> names;
    for (const XpString& path : list)
      names.push_back(fs::path(path.ToMultiByte().ToStdString()).lexically_relative(base).string());
    return names;
  }
  testsupport::FakeSysfs& Sysfs() {
    if (!sysfs_) sysfs_ = std::make_unique<testsupport::FakeSysfs>(std::getenv("KAVO_SYSROOT"));
    return *sysfs_;
  }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
};

TEST_F(InstallerFiles, DeleteRefusesDangerousPathsAndTouchesNothing) {
  const fs::path keep = Dir("keep");
  WriteFile(keep / "file", "x");
  const fs::path mount = Dir("volume");
  WriteFile(mount / "data", "x");
  Sysfs().SetMounts({{"/", "ext4", "/dev/sda1", 8, 1}, {mount.string(), "vfat", "/dev/sdb1", 8, 17}});
  fs::create_directory_symlink(Root(), Root() / "link");
  auto common = MakeLoggingObject();
  const std::vector<std::string> refused = {
      "",
      "rel/x",
      "/",
      "//",
      (keep / ".." / "keep").string(),
      keep.string() + "/../keep",
      mount.string(),
      mount.string() + "/",
      mount.string() + "/.",
      (Root() / "link" / "volume").string(),
  };
  for (const std::string& path : refused) {
    fs::remove(LogPath());
    EXPECT_EQ(common->DeleteFiles(XpString::FromUtf8(path)), 87u) << path;
    const std::string log = ReadFile(LogPath());
    EXPECT_EQ(log, "[2026/01/02 03:04:05] : [SHFileOperation]\r\n\tInvalid argument\r\n"
                   "[2026/01/02 03:04:05] : [Path To]\r\n\t\r\n"
                   "[2026/01/02 03:04:05] : [Path From]\r\n\t" + path + "\r\n");
  }
  EXPECT_TRUE(fs::exists(keep / "file"));
  EXPECT_TRUE(fs::exists(mount / "data"));
}

TEST_F(InstallerFiles, DeleteRemovesATreeAndNeverFollowsLinks) {
  const fs::path tree = Dir("tree");
  WriteFile(tree / "a" / "b" / "c.txt", "x");
  WriteFile(tree / "top.txt", "x");
  const fs::path outside = Dir("outside");
  WriteFile(outside / "kept", "x");
  fs::create_directory_symlink(outside, tree / "a" / "link");
  auto common = MakeObject();
  EXPECT_EQ(common->DeleteFiles(XpString::FromUtf8(tree.string())), 0u);
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(outside / "kept"));
  // A link itself goes, its target stays.
  fs::create_directory_symlink(outside, Root() / "alias");
  EXPECT_EQ(common->DeleteFiles(XpString::FromUtf8((Root() / "alias").string())), 0u);
  EXPECT_FALSE(fs::is_symlink(Root() / "alias"));
  EXPECT_TRUE(fs::exists(outside / "kept"));
  EXPECT_EQ(common->DeleteFiles(XpString::FromUtf8((outside / "kept").string())), 0u);
  EXPECT_EQ(common->DeleteFiles(XpString::FromUtf8((outside / "kept").string())), 2u);
}

TEST_F(InstallerFiles, CopyMakesMissingParentsAndReplacesFiles) {
  const fs::path source = Dir("source");
  WriteFile(source / "Version.txt", "new");
  WriteFile(source / "help" / "a.html", "a");
  const fs::path target = Root() / "deep" / "er" / "Version.txt";
  auto common = MakeLoggingObject();
  EXPECT_EQ(common->CopyFiles(XpString::FromUtf8((source / "Version.txt").string()),
                              XpString::FromUtf8(target.string())),
            0u);
  EXPECT_EQ(ReadFile(target), "new");
  WriteFile(source / "Version.txt", "newer");
  EXPECT_EQ(common->CopyFiles(XpString::FromUtf8((source / "Version.txt").string()),
                              XpString::FromUtf8(target.string())),
            0u);
  EXPECT_EQ(ReadFile(target), "newer");
  // An existing folder takes the source under its own name.
  const fs::path into = Dir("into");
  EXPECT_EQ(common->CopyFiles(XpString::FromUtf8((source / "help").string()),
                              XpString::FromUtf8(into.string())),
            0u);
  EXPECT_EQ(ReadFile(into / "help" / "a.html"), "a");
  EXPECT_EQ(common->CopyFiles(XpString::FromUtf8((source / "missing").string()),
                              XpString::FromUtf8(into.string())),
            2u);
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("[SHFileOperation]\r\n\tSuccess\r\n"), std::string::npos);
  EXPECT_NE(log.find("[Path To]\r\n\t" + target.string() + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("[SHFileOperation]\r\n\tNo such file or directory\r\n"), std::string::npos);
}

TEST_F(InstallerFiles, FindFilesRecursiveListsDeepestFoldersFirst) {
  const fs::path d = Dir("d");
  WriteFile(d / "x.txt", "");
  WriteFile(d / "b" / "y", "");
  WriteFile(d / "b" / "c" / "z.txt", "");
  WriteFile(d / "B.TXT", "");
  WriteFile(Root() / "other" / "hidden.txt", "");
  fs::create_directory_symlink(Root() / "other", d / "b" / "zlink");
  auto common = MakeObject();
  struct Case {
    const char16_t* pattern;
    std::vector<std::string> files;
  } cases[] = {
      {u"*.*", {"b/c/z.txt", "b/y", "b/zlink", "B.TXT", "x.txt"}},
      {u"*.txt", {"b/c/z.txt", "x.txt"}},
      {u"?", {"b/y"}},
      {u"*", {"b/c/z.txt", "b/y", "b/zlink", "B.TXT", "x.txt"}},
      {u"z*", {"b/c/z.txt", "b/zlink"}},
  };
  for (const Case& c : cases) {
    XpStringVector list;
    common->FindFilesRecursive(XpString::FromUtf8(d.string()), c.pattern, list);
    EXPECT_EQ(Narrowed(list, d), c.files) << XpString(c.pattern).ToMultiByte().ToStdString();
  }
  XpStringVector folders;
  common->ListSubFolders(XpString::FromUtf8(d.string()), folders, true);
  EXPECT_EQ(Narrowed(folders, d), (std::vector<std::string>{"b/c", "b"}));
  folders.clear();
  common->ListSubFolders(XpString::FromUtf8(d.string()), folders, false);
  EXPECT_EQ(Narrowed(folders, d), (std::vector<std::string>{"b"}));
}

TEST_F(InstallerFiles, IniValues) {
  const fs::path ini = Root() / "ESD.ini";
  WriteFile(ini, "[SoftwareID]\nID = \"QMV-1\"\nEmpty=\n");
  auto common = MakeLoggingObject();
  XpString value;
  EXPECT_EQ(
      common->GetKeyValueIni(XpString::FromUtf8(ini.string()), u"SoftwareID", u"ID", value, 522),
      0u);
  EXPECT_EQ(value.ToMultiByte().ToStdString(), "QMV-1");
  EXPECT_EQ(
      common->GetKeyValueIni(XpString::FromUtf8(ini.string()), u"SoftwareID", u"ID", value, 4), 0u);
  EXPECT_EQ(value.ToMultiByte().ToStdString(), "QMV");
  EXPECT_EQ(
      common->GetKeyValueIni(XpString::FromUtf8(ini.string()), u"SoftwareID", u"Empty", value, 522),
      0x8FFFFFFFu);
  EXPECT_EQ(common->GetKeyValueIni(XpString::FromUtf8(ini.string()), u"SoftwareID", u"Missing",
                                   value, 522),
            0x8FFFFFFFu);
  const std::string entry = "\r\n\tFile Path: " + ini.string() + "\r\n\t Section Name: SoftwareID\r\n\tKey Name: ID\r\n";
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("[GetKeyValueString Excute]" + entry + "[2026/01/02 03:04:05] : [GetKeyValueIni]" + entry),
            std::string::npos)
      << log;
}

TEST_F(InstallerFiles, CdRomDrivesByTheirFileSystem) {
  const fs::path disc = Dir("disc");
  const fs::path disk = Dir("disk");
  Sysfs().SetMounts({{"/", "ext4", "/dev/sda1", 8, 1},
                     {disc.string(), "iso9660", "/dev/sr0", 11, 0},
                     {disk.string(), "ext4", "/dev/sdb1", 8, 17}});
  auto common = MakeObject();
  EXPECT_TRUE(common->IsCdRomDrive(XpString::FromUtf8(disc.string())));
  EXPECT_TRUE(common->IsCdRomDrive(XpString::FromUtf8((disc / "setup" / "file").string())));
  EXPECT_FALSE(common->IsCdRomDrive(XpString::FromUtf8(disk.string())));
}

}  // namespace
}  // namespace installertest
