#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/LoopMount.h"
#include "platform/volume/XpVolume.h"
#include "platform/volume/XpVolumeEnumerator.h"

namespace {

using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::SysCall;
using volumetest::kCardMajor;
using volumetest::kCardMinor;

constexpr size_t kGuidFileSize = 128;
constexpr size_t kGuidLength = 38;

using XpVolume = volumetest::VolumeFixture;

// Makes statvfs report a chosen number of blocks.
class BlockCountSysCalls : public XpSysCallsWrapper {
 public:
  explicit BlockCountSysCalls(fsblkcnt_t blocks)
      : XpSysCallsWrapper(XpSysCalls::Posix()), blocks_(blocks) {
    previous_ = XpSysCalls::Install(this);
  }
  ~BlockCountSysCalls() override { XpSysCalls::Install(previous_); }

  int Statvfs(const char* path, struct statvfs* out) override {
    const int status = Target().Statvfs(path, out);
    if (status == 0) out->f_blocks = blocks_;
    return status;
  }

 private:
  fsblkcnt_t blocks_;
  XpSysCalls* previous_ = nullptr;
};

// The entries of a folder.
std::vector<std::string> Listing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// A braced upper-case GUID then zeros, 128 bytes in all.
void ExpectGuidFile(const std::filesystem::path& file, const XpString& id) {
  const std::string bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), kGuidFileSize);
  const std::string text = bytes.substr(0, kGuidLength);
  EXPECT_EQ(ToXp(text), id);
  EXPECT_EQ(text.front(), '{');
  EXPECT_EQ(text.back(), '}');
  for (size_t i = 1; i + 1 < kGuidLength; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const char ch = text[i];
    EXPECT_TRUE(dash ? ch == '-' : ((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')))
        << "character " << i << " of " << text;
  }
  EXPECT_EQ(bytes.find_first_not_of('\0', kGuidLength), std::string::npos);
}

TEST_F(XpVolume, PathIsTheMountPointOfAnyPathInside) {
  const std::filesystem::path card = AddCard();
  ::XpVolume volume(ToXp(card / "DCIM/100ABCDE"));
  EXPECT_EQ(volume.GetPath(), RootOf(card));
  EXPECT_TRUE(volume.IsDirectory());

  // A relative path has no volume, and nothing is looked up in the working
  // folder.
  ::XpVolume relative(u"DCIM/100ABCDE");
  EXPECT_EQ(relative.GetPath(), u"");
  EXPECT_EQ(relative.GetMediaKind(), kXpMediaOther);
  EXPECT_FALSE(relative.HasDatabaseFolder());
  EXPECT_EQ(relative.GetVolumeId(), u"");
}

TEST_F(XpVolume, CardFacts) {
  const std::filesystem::path card = AddCard();
  Fake().AddDiskLink("by-label", "My Card", "sdb1");
  ::XpVolume volume(RootOf(card));
  EXPECT_TRUE(volume.IsRemovable());
  EXPECT_FALSE(volume.IsRemote());
  EXPECT_FALSE(volume.IsCdRom());
  EXPECT_EQ(volume.GetVolumeSerial(), 0x1234ABCDu);
  EXPECT_EQ(volume.GetVolumeId(), u"1234abcd");
  EXPECT_EQ(volume.GetName(), u"My Card");
  EXPECT_EQ(volume.GetPartitionNumber(), 1u);
  // A serial from the file system: nothing is written to the card.
  EXPECT_FALSE(std::filesystem::exists(card / ".KavoVID"));
}

TEST_F(XpVolume, FatVersionComesFromUdevElseFromTheClusterCount) {
  const std::filesystem::path card = AddCard();
  ::XpVolume volume(RootOf(card));

  Fake().WriteUdevData(kCardMajor, kCardMinor,
                       {"S:disk/by-uuid/1234-ABCD", "E:ID_FS_VERSION=FAT32"});
  EXPECT_EQ(volume.GetFileSystemType(), kXpFileSystemFat32);
  Fake().WriteUdevData(kCardMajor, kCardMinor, {"E:ID_FS_VERSION=FAT16"});
  EXPECT_EQ(volume.GetFileSystemType(), kXpFileSystemFat);

  Fake().WriteUdevData(kCardMajor, kCardMinor, {"E:ID_FS_TYPE=vfat"});
  {
    BlockCountSysCalls fat16(65524);
    EXPECT_EQ(volume.GetFileSystemType(), kXpFileSystemFat);
  }
  {
    BlockCountSysCalls fat32(65525);
    EXPECT_EQ(volume.GetFileSystemType(), kXpFileSystemFat32);
  }
}

TEST_F(XpVolume, FileSystemTypes) {
  struct Case {
    const char* type;
    const char* udevType;
    XpFileSystemType expected;
  };
  const Case cases[] = {
      {"ntfs", nullptr, kXpFileSystemNtfs},   {"ntfs3", nullptr, kXpFileSystemNtfs},
      {"fuseblk", "ntfs", kXpFileSystemNtfs}, {"fuseblk", "exfat", kXpFileSystemOther},
      {"exfat", nullptr, kXpFileSystemOther}, {"ext4", nullptr, kXpFileSystemOther},
  };
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path mountPoint =
        AddFixedDisk("disk" + std::to_string(minor), c.type, minor);
    if (c.udevType != nullptr) {
      Fake().WriteUdevData(volumetest::kFixedMajor, minor,
                           {std::string("E:ID_FS_TYPE=") + c.udevType});
    }
    EXPECT_EQ(::XpVolume(RootOf(mountPoint)).GetFileSystemType(), c.expected) << c.type;
    ++minor;
  }
  EXPECT_EQ(::XpVolume(ToXp(Dir("unmounted"))).GetFileSystemType(), kXpFileSystemOther);
}

TEST_F(XpVolume, FixedDiskWithCardMarkerIsRemovableOnlyOnFat) {
  struct Case {
    const char* type;
    const char* version;
    bool removable;
  };
  const Case cases[] = {
      {"vfat", "FAT16", true}, {"vfat", "FAT32", false}, {"ntfs3", nullptr, false}};
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path disk = AddFixedDisk("disk" + std::to_string(minor), c.type, minor);
    if (c.version != nullptr) {
      Fake().WriteUdevData(volumetest::kFixedMajor, minor,
                           {std::string("E:ID_FS_VERSION=") + c.version});
    }
    ::XpVolume volume(RootOf(disk));
    EXPECT_FALSE(volume.IsRemovable()) << "without the marker, " << c.type;
    WriteBytes(disk / "TARVELON.IND", "");
    EXPECT_EQ(volume.IsRemovable(), c.removable) << c.type << " " << (c.version ? c.version : "");
    ++minor;
  }
}

TEST_F(XpVolume, MediaKindFollowsTheMarkers) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    XpMediaKind kind;
  };
  const std::string model(30, '\x01');
  const Case cases[] = {
      {"nothing", {}, kXpMediaOther},
      {"card", {{"TARVELON.IND", ""}}, kXpMediaMemoryCard},
      {"cf", {{"KAVOCF.IND", ""}}, kXpMediaCompactFlash},
      {"builtin", {{"BLTINMEM.IND", ""}, {"TARVELON.IND", ""}}, kXpMediaBuiltInMemory},
      {"sysref", {{"DATA/sysref", "Flash memory"}, {"KAVOCF.IND", ""}}, kXpMediaBuiltInMemory},
      {"sysrefshort", {{"DATA/sysref", "Flas"}}, kXpMediaOther},
      {"sysrefcase", {{"DATA/sysref", "flash"}}, kXpMediaOther},
      {"model", {{"MODELCFG.IND", "KT" + model}}, kXpMediaBuiltInMemory},
      {"modelmagic", {{"MODELCFG.IND", "KX" + model}}, kXpMediaOther},
      {"modelshort", {{"MODELCFG.IND", "KT" + model.substr(1)}}, kXpMediaOther},
  };
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path disk = AddFixedDisk(c.name, "vfat", minor++);
    for (const auto& [name, bytes] : c.files) WriteBytes(disk / name, bytes);
    EXPECT_EQ(::XpVolume(RootOf(disk)).GetMediaKind(), c.kind) << c.name;
  }
}

TEST_F(XpVolume, DatabaseFolderDependsOnTheMediaKind) {
  const std::filesystem::path card = AddCard();
  const std::filesystem::path flash = AddFixedDisk("flash", "vfat");
  WriteBytes(card / "TARVELON.IND", "");
  WriteBytes(flash / "BLTINMEM.IND", "");
  ::XpVolume cardVolume(RootOf(card));
  ::XpVolume flashVolume(RootOf(flash));

  EXPECT_EQ(cardVolume.GetDatabaseFolderPath(), RootOf(card) + u"VELDRA/DBFILES");
  EXPECT_EQ(flashVolume.GetDatabaseFolderPath(), RootOf(flash) + u"DBFILES");

  std::filesystem::create_directories(card / "DBFILES");
  std::filesystem::create_directories(flash / "VELDRA/DBFILES");
  EXPECT_FALSE(cardVolume.HasDatabaseFolder());
  EXPECT_FALSE(flashVolume.HasDatabaseFolder());
  std::filesystem::create_directories(card / "VELDRA/DBFILES");
  std::filesystem::create_directories(flash / "DBFILES");
  EXPECT_TRUE(cardVolume.HasDatabaseFolder());
  EXPECT_TRUE(flashVolume.HasDatabaseFolder());
}

TEST_F(XpVolume, SerialFromTheFileSystemUuid) {
  struct Case {
    const char* uuid;
    bool udevOnly;
    const char16_t* id;
  };
  const Case cases[] = {
      {"1234-ABCD", false, u"1234abcd"},
      {"0000-ABCD", false, u"0000abcd"},
      {"0123456789ABCDEF", false, u"89abcdef"},
      {"3f2504e0-4f89-11d3-9a0c-0305e82c3301", false, u"3f2504e0"},
      {"5E3C-1F20", true, u"5e3c1f20"},
  };
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path disk = AddFixedDisk("disk" + std::to_string(minor), "vfat", minor);
    if (c.udevOnly) {
      Fake().WriteUdevData(volumetest::kFixedMajor, minor, {std::string("E:ID_FS_UUID=") + c.uuid});
    } else {
      Fake().AddDiskLink("by-uuid", c.uuid, "vda" + std::to_string(minor));
    }
    EXPECT_EQ(::XpVolume(RootOf(disk)).GetVolumeId(), c.id) << c.uuid;
    ++minor;
  }
}

TEST_F(XpVolume, NameIsTheLabelElseTheLeafName) {
  const std::filesystem::path card = AddCard();
  const std::filesystem::path disk = AddFixedDisk("Data Disk", "ext4");
  const std::filesystem::path plain = AddFixedDisk("plain", "ext4", 2);
  Fake().AddDiskLink("by-label", "CAM/2 A", "sdb1");
  Fake().WriteUdevData(volumetest::kFixedMajor, 1, {"E:ID_FS_LABEL=SYSTEM"});

  EXPECT_EQ(::XpVolume(RootOf(card)).GetName(), u"CAM/2 A");
  EXPECT_EQ(::XpVolume(RootOf(disk)).GetName(), u"SYSTEM");
  EXPECT_EQ(::XpVolume(RootOf(plain)).GetName(), u"plain");
}

TEST_F(XpVolume, RemoteAndOpticalVolumes) {
  const std::filesystem::path share = Dir("net/share");
  Fake().AddMount({share.string(), "cifs", "//server/share", 0, 61});
  const std::filesystem::path disc = Dir("media/disc");
  Fake().AddBlockDevice(11, 0,
                        "devices/pci0000:00/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:0/block/sr0");
  Fake().AddMount({disc.string(), "udf", "/dev/sr0", 11, 0, "/", "ro,relatime"});
  const std::filesystem::path burner = Dir("media/burner");
  Fake().AddBlockDevice(11, 1,
                        "devices/pci0000:00/0000:00:1f.2/ata4/host3/target3:0:0/3:0:0:0/block/sr1");
  Fake().AddMount({burner.string(), "udf", "/dev/sr1", 11, 1});

  ::XpVolume remote(RootOf(share));
  EXPECT_TRUE(remote.IsRemote());
  EXPECT_TRUE(remote.IsRemovable());
  EXPECT_FALSE(remote.IsCdRom());

  ::XpVolume readOnlyDisc(RootOf(disc));
  EXPECT_TRUE(readOnlyDisc.IsCdRom());
  EXPECT_TRUE(readOnlyDisc.IsRemovable());
  EXPECT_FALSE(readOnlyDisc.IsWritableCdRom());
  EXPECT_FALSE(readOnlyDisc.IsRemote());

  ::XpVolume writableDisc(RootOf(burner));
  EXPECT_TRUE(writableDisc.IsWritableCdRom());
  SetEnv("KAVO_OS_VERSION", "2.5.0");
  EXPECT_FALSE(writableDisc.IsWritableCdRom());
}

TEST_F(XpVolume, CameraIdentifierFileBeforeOwnFile) {
  const std::filesystem::path disk = AddFixedDisk("cam", "vfat");
  WriteBytes(disk / "VOLUMEID.IND", std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99", 10));
  EXPECT_EQ(::XpVolume(RootOf(disk)).GetVolumeId(), u"001122334455667788");
  EXPECT_FALSE(std::filesystem::exists(disk / ".KavoVID"));
}

TEST_F(XpVolume, OwnIdentifierFileIsMadeOnceAndKept) {
  const std::filesystem::path disk = AddFixedDisk("blank", "vfat");
  WriteBytes(disk / "VOLUMEID.IND", "short");
  ::XpVolume volume(RootOf(disk));

  const XpString id = volume.GetVolumeId();
  ASSERT_EQ(id.GetLength(), static_cast<int32_t>(kGuidLength));
  ExpectGuidFile(disk / ".KavoVID", id);
  EXPECT_TRUE(XpFileIsHidden(ToXp(disk / ".KavoVID")));
  EXPECT_EQ(volume.GetVolumeId(), id);
  EXPECT_EQ(::XpVolume(RootOf(disk)).GetVolumeId(), id);
  // Nothing but the file is left behind.
  EXPECT_EQ(Listing(disk).size(), 2u);
}

TEST_F(XpVolume, EmptyOwnIdentifierFileIsReplaced) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {{"empty", ""}, {"zeros", std::string(kGuidFileSize, '\0')}};
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path disk = AddFixedDisk(c.name, "vfat", minor++);
    WriteBytes(disk / ".KavoVID", c.bytes);
    const XpString id = ::XpVolume(RootOf(disk)).GetVolumeId();
    EXPECT_EQ(id.GetLength(), static_cast<int32_t>(kGuidLength)) << c.name;
    ExpectGuidFile(disk / ".KavoVID", id);
    EXPECT_EQ(Listing(disk).size(), 1u) << c.name;
  }
}

TEST_F(XpVolume, IdentifierFileThatCannotBeWrittenLeavesNothing) {
  struct Case {
    const char* name;
    Fault fault;
  };
  const std::string volumes = (Root() / "vol").string();
  const Case cases[] = {
      {"read-only", Fault(SysCall::kOpen, volumes).Errno(EROFS).ForWriting()},
      {"full", Fault(SysCall::kWrite, volumes).Errno(ENOSPC).AfterBytes(50)},
      {"sync", Fault(SysCall::kFsync, volumes).Errno(EIO)},
      {"close", Fault(SysCall::kClose, volumes).Errno(EIO).FromCall(1)},
      {"rename", Fault(SysCall::kRename, volumes).Errno(EIO)},
  };
  unsigned minor = 1;
  for (const Case& c : cases) {
    const std::filesystem::path disk = AddFixedDisk(std::string("vol/") + c.name, "vfat", minor++);
    testsupport::FaultInjection faults;
    const int rule = faults.Add(c.fault);
    EXPECT_EQ(::XpVolume(RootOf(disk)).GetVolumeId(), u"") << c.name;
    EXPECT_GT(faults.Hits(rule), 0) << c.name;
    EXPECT_TRUE(Listing(disk).empty()) << c.name;
  }
}

TEST_F(XpVolume, ProcessesRacingOnAFreshVolumeAgree) {
  constexpr int kVolumes = 12;
  constexpr int kChildren = 3;
  std::vector<std::filesystem::path> disks;
  for (int i = 0; i < kVolumes; ++i) {
    const unsigned minor = static_cast<unsigned>(i + 1);
    disks.push_back(AddFixedDisk("race" + std::to_string(i), "vfat", minor));
    // Half start with the empty file an interrupted write leaves.
    if (i % 2 == 1) WriteBytes(disks.back() / ".KavoVID", "");
  }
  std::vector<std::unique_ptr<testsupport::ForkedChild>> children;
  for (int child = 0; child < kChildren; ++child) {
    auto forked = std::make_unique<testsupport::ForkedChild>();
    const std::filesystem::path out = Root() / ("ids" + std::to_string(child));
    ASSERT_TRUE(forked->Start([&disks, out](testsupport::ChildChannel& channel) {
      channel.SignalReady();
      channel.WaitForGo();
      std::string ids;
      for (const auto& disk : disks) {
        ids += std::string(::XpVolume(RootOf(disk)).GetVolumeId().ToMultiByte().View()) + "\n";
      }
      std::ofstream(out) << ids;
      return 0;
    }));
    ASSERT_TRUE(forked->WaitReady());
    children.push_back(std::move(forked));
  }
  for (auto& child : children) child->LetGo();
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);

  const std::string first = ReadBytes(Root() / "ids0");
  EXPECT_EQ(first.size(), static_cast<size_t>(kVolumes) * (kGuidLength + 1));
  for (int child = 1; child < kChildren; ++child) {
    EXPECT_EQ(ReadBytes(Root() / ("ids" + std::to_string(child))), first);
  }
  for (const auto& disk : disks) {
    EXPECT_EQ(Listing(disk).size(), 1u) << disk;
    EXPECT_EQ(ReadBytes(disk / ".KavoVID").size(), kGuidFileSize) << disk;
  }
}

// Root only: a real ext2 volume on a loop device, seen through the real
// mount table.
TEST_F(XpVolume, LoopMountedExt2Image) {
  testsupport::LoopMount loop;
  if (!loop.Mount(Dir("loop"))) GTEST_SKIP() << loop.Reason();
  SetEnv("KAVO_SYSROOT", "");
  const XpString root = RootOf(loop.MountPoint());

  ::XpVolumeEnumerator enumerator;
  bool listed = false;
  while (XpSharedPtr<::XpVolume> volume = enumerator.Next())
    listed = listed || volume->GetPath() == root;
  EXPECT_TRUE(listed);

  WriteBytes(loop.MountPoint() / "DCIM/file.jpg", "x");
  EXPECT_EQ(XpPathGetRoot(ToXp(loop.MountPoint() / "DCIM/file.jpg")), root);
  ::XpVolume volume(root);
  EXPECT_EQ(volume.GetFileSystemType(), kXpFileSystemOther);
  const XpString id = volume.GetVolumeId();
  EXPECT_FALSE(id.IsEmpty());
  EXPECT_EQ(::XpVolume(root).GetVolumeId(), id);
}

}  // namespace
