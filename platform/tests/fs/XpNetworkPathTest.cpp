#include "platform/fs/XpNetworkPath.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::MountLine;
using fileopstest::StageMountInfo;
using fstest::ToXp;

using XpNetworkPath = testsupport::HermeticTest;

TEST_F(XpNetworkPath, NetworkTypes) {
  for (const char16_t* type : {u"nfs", u"nfs4", u"cifs", u"smb3", u"smbfs", u"ceph",
                               u"glusterfs", u"afs", u"fuse.sshfs", u"fuse.rclone", u"davfs",
                               u"fuse.gvfsd-fuse"}) {
    EXPECT_TRUE(XpIsNetworkFileSystemType(type));
  }
  for (const char16_t* type : {u"ext4", u"vfat", u"fuse", u"tmpfs", u"NFS", u""}) {
    EXPECT_FALSE(XpIsNetworkFileSystemType(type));
  }
}

TEST_F(XpNetworkPath, TheMountHoldingThePathDecides) {
  const fs::path share = fs::canonical(Dir("mnt/share"));
  const fs::path link = Root() / "link";
  fs::create_symlink(share, link);
  StageMountInfo(MountLine(1, "8:1", "/", "ext4") + MountLine(2, "0:50", share, "nfs4"));
  EXPECT_TRUE(XpIsNetworkPath(ToXp(share / "x.jpg")));
  EXPECT_TRUE(XpIsNetworkPath(ToXp(link)));
  EXPECT_FALSE(XpIsNetworkPath(ToXp(Root() / "mnt/sharex")));
  EXPECT_FALSE(XpIsNetworkPath(ToXp(Root())));
  EXPECT_FALSE(XpIsNetworkPath(u"relative"));
}

}  // namespace
