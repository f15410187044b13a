#include "platform/fs/XpRecycleBin.h"

#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/XpShellOperations.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/system/FakeBlockDevices.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::Exists;
using fileopstest::ModeOf;
using fileopstest::MountLine;
using fileopstest::NamesIn;
using fileopstest::StageMountInfo;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;

class TrashFixture : public testsupport::HermeticTest {
 protected:
  fs::path Trash() const { return Root() / "home/.local/share/Trash"; }
  std::string VolumeTrashName() const { return ".Trash-" + std::to_string(::getuid()); }
  XpString X(const fs::path& path) const { return ToXp(path); }
};
using XpTrash = TrashFixture;

TEST_F(XpTrash, InfoTextEncodesThePathAndTheLocalTime) {
  EXPECT_EQ(std::string(XpTrashInfoText(u"/home/u/My Photo #1 \u00e9.jpg", 86400 + 3661).View()),
            "[Trash Info]\n"
            "Path=/home/u/My%20Photo%20%231%20%C3%A9.jpg\n"
            "DeletionDate=1970-01-02T01:01:01\n");
}

TEST_F(XpTrash, AFileUnderHomeGoesToTheHomeTrash) {
  const fs::path file = Root() / "home/Pictures/IMG 1.JPG";
  WriteBytes(file, "picture");
  EXPECT_EQ(XpShellDeleteToRecycleBin(X(file)), kXpOk);
  EXPECT_FALSE(Exists(file));
  EXPECT_EQ(ReadBytes(Trash() / "files/IMG 1.JPG"), "picture");
  const std::string info = ReadBytes(Trash() / "info/IMG 1.JPG.trashinfo");
  const std::string encoded = fs::canonical(file.parent_path()).string() + "/IMG%201.JPG";
  const std::regex expected("\\[Trash Info\\]\nPath=" + std::regex_replace(encoded, std::regex("[.+]"), "\\$&") +
                            "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
  EXPECT_TRUE(std::regex_match(info, expected)) << info;
  EXPECT_EQ(ModeOf(Trash()), 0700u);
  EXPECT_EQ(ModeOf(Trash() / "info/IMG 1.JPG.trashinfo") & 0077, 0u);
}

TEST_F(XpTrash, TakenNamesAreMadeUnique) {
  for (const char* content : {"one", "two", "three"}) {
    WriteBytes(Root() / "home/a.txt", content);
    EXPECT_EQ(XpMoveToRecycleBin(X(Root() / "home/a.txt")), kXpOk);
  }
  // A stray file without its info is never overwritten either.
  WriteBytes(Trash() / "files/b", "stray");
  WriteBytes(Root() / "home/b", "new");
  EXPECT_EQ(XpMoveToRecycleBin(X(Root() / "home/b")), kXpOk);
  EXPECT_EQ(NamesIn(Trash() / "files"),
            (std::set<std::string>{"a.txt", "a.2.txt", "a.3.txt", "b", "b.2"}));
  EXPECT_EQ(NamesIn(Trash() / "info"),
            (std::set<std::string>{"a.txt.trashinfo", "a.2.txt.trashinfo", "a.3.txt.trashinfo",
                                   "b.2.trashinfo"}));
  EXPECT_EQ(ReadBytes(Trash() / "files/a.3.txt"), "three");
  EXPECT_EQ(ReadBytes(Trash() / "files/b"), "stray");
}

TEST_F(XpTrash, FoldersAndLinksGoWhole) {
  WriteBytes(Root() / "home/album/x.jpg", "x");
  const fs::path target = Root() / "home/target.txt";
  WriteBytes(target, "t");
  fs::create_symlink(target, Root() / "home/link");
  EXPECT_EQ(XpMoveToRecycleBin(X(Root() / "home/album")), kXpOk);
  EXPECT_EQ(XpMoveToRecycleBin(X(Root() / "home/link")), kXpOk);
  EXPECT_EQ(ReadBytes(Trash() / "files/album/x.jpg"), "x");
  EXPECT_TRUE(fs::is_symlink(Trash() / "files/link"));
  EXPECT_EQ(ReadBytes(target), "t");
  EXPECT_EQ(XpMoveToRecycleBin(X(Root() / "home/missing")), kXpErrFileNotFound);
  EXPECT_EQ(XpMoveToRecycleBin(u"relative"), kXpErrPathNotFound);
}

TEST_F(XpTrash, ALinkNamedAsAFolderGoesAsALink) {
  const fs::path card = fs::canonical(Dir("media/CARD"));
  fakesysfs::StageBlockDevice("8:1", "sda", "sda1", "0");
  fakesysfs::StageBlockDevice("8:17", "sdb", "sdb1", "1");
  StageMountInfo(MountLine(1, "8:1", "/", "ext4") + MountLine(2, "8:17", card, "vfat"));
  const fs::path user = Root() / "home/Pictures";
  WriteBytes(user / "IMG_0001.JPG", "the user's picture");
  const auto before = fileopstest::TreeFacts(user);
  // On a removable volume the link is deleted at once; at home it goes to
  // the trash as it is. With a trailing '/' too, the folder behind it stays.
  for (const fs::path& link : {card / "DBFILES.tmp", Root() / "home/linked"}) {
    SCOPED_TRACE(link);
    fs::create_symlink(user, link);
    EXPECT_EQ(XpShellDeleteToRecycleBin(X(link) + u"/"), kXpOk);
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(fileopstest::TreeFacts(user), before);
  }
  EXPECT_TRUE(NamesIn(card).empty());
  EXPECT_TRUE(fs::is_symlink(Trash() / "files/linked"));
}

TEST_F(XpTrash, RemovableAndNetworkVolumesDeletePermanently) {
  const fs::path card = fs::canonical(Dir("media/CARD"));
  const fs::path share = fs::canonical(Dir("mnt/share"));
  const fs::path disk = fs::canonical(Dir("mnt/disk"));
  fakesysfs::StageBlockDevice("8:17", "sdb", "sdb1", "1");
  fakesysfs::StageBlockDevice("8:33", "sdc", "sdc1", "0");
  StageMountInfo(MountLine(1, "8:1", "/", "ext4") + MountLine(2, "8:17", card, "vfat") +
                 MountLine(3, "0:60", share, "cifs") + MountLine(4, "8:33", disk, "ext4"));
  WriteBytes(card / "DCIM/100KAVO/IMG_0001.JPG", "p");
  WriteBytes(share / "doc.txt", "d");
  WriteBytes(disk / "keep.txt", "k");
  EXPECT_EQ(XpShellDeleteToRecycleBin(X(card / "DCIM/100KAVO/IMG_0001.JPG")), kXpOk);
  EXPECT_EQ(XpShellDeleteToRecycleBin(X(card / "DCIM")), kXpOk);
  EXPECT_EQ(XpShellDeleteToRecycleBin(X(share / "doc.txt")), kXpOk);
  EXPECT_TRUE(NamesIn(card).empty());
  EXPECT_TRUE(NamesIn(share).empty());
  EXPECT_FALSE(Exists(Trash()));

  // A fixed disk on the same device as the data home uses the home trash.
  EXPECT_EQ(XpShellDeleteToRecycleBin(X(disk / "keep.txt")), kXpOk);
  EXPECT_TRUE(NamesIn(disk).empty());
  EXPECT_EQ(ReadBytes(Trash() / "files/keep.txt"), "k");
}

}  // namespace
