#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <iterator>

#include "accessor/task/K2ExportRunFolder.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "accessor/task/helpers/K2TransferMarker.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/FaultInjection.h"

namespace task_test {
namespace {

using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

class K2TaskHelpers : public testsupport::HermeticTest {
 protected:
  // The camera at Root()/cam in the fake mount table.
  void MountCamera() {
    sysfs_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    std::filesystem::create_directories(Camera());
    sysfs_->AddMount({"/", "ext4", "/dev/sda1", 8, 1});
    sysfs_->AddMount({Camera().string(), "vfat", "/dev/sdb1", 8, 17});
  }
  std::filesystem::path Camera() const { return Root() / "cam"; }
  std::filesystem::path TempFolder() const { return Root() / "tmp"; }

  static std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  size_t TempFileCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(TempFolder()),
                                             std::filesystem::directory_iterator()));
  }

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
};

TEST_F(K2TaskHelpers, ParentFolderName) {
  struct Case {
    const char16_t* path;
    XpResult result;
    const char* name;
  };
  const Case cases[] = {
      {u"/m/cam/DCIM/100ZXDCF/a.JPG", kXpOk, "100ZXDCF"},
      {u"/m/a.JPG", kXpOk, "m"},
      {u"/file.JPG", kXpOk, "/"},
      {u"/", kXpOk, "/"},
      {u"a.JPG", kXpErrBadArgument, ""},
      {u"", kXpErrBadArgument, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(XpString(c.path).ToMultiByte().ToStdString());
    XpString name;
    EXPECT_EQ(K2GetParentFolderName(c.path, &name), c.result);
    EXPECT_EQ(name.ToMultiByte().ToStdString(), c.name);
  }
}

TEST_F(K2TaskHelpers, FileInFolderIgnoresCaseAndOneTrailingSlash) {
  struct Case {
    const char16_t* folder;
    const char16_t* file;
    bool inside;
  };
  const Case cases[] = {
      {u"/m/cam/DCIM/100ZXDCF", u"/m/cam/dcim/100zxdcf/dsc00001.jpg", true},
      {u"/m/cam/DCIM/100ZXDCF/", u"/m/cam/DCIM/100ZXDCF/DSC00001.JPG", true},
      {u"/m/cam/DCIM/100ZXDCF", u"/m/cam/DCIM/100ZXDCF/SUB/X.JPG", false},
      {u"/m/cam/DCIM", u"/m/cam/DCIM/100ZXDCF/X.JPG", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(XpString(c.file).ToMultiByte().ToStdString());
    EXPECT_EQ(K2IsFileInFolder(c.folder, c.file), c.inside);
  }
}

TEST_F(K2TaskHelpers, CollectsDistinctSortedFolders) {
  XpStringVector folders{u"stale"};
  EXPECT_EQ(K2CollectFolders({u"/p/b/1.JPG", u"/p/a/2.JPG", u"/p/b/3.JPG"}, &folders), kXpOk);
  EXPECT_EQ(folders, (XpStringVector{u"/p/a/", u"/p/b/"}));
  EXPECT_EQ(K2CollectFolders({}, &folders), kXpErrBadArgument);

  XpStringVector names;
  EXPECT_EQ(K2CollectParentFolderNames({u"/p/b/1.JPG", u"/q/b/2.JPG", u"/p/a/3.JPG"}, &names),
            kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"a", u"b"}));
  EXPECT_EQ(K2CollectParentFolderNames({u"/p/b/1.JPG", u"/x.JPG"}, &names), kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"/", u"b"}));
  EXPECT_EQ(K2CollectParentFolderNames({u"/p/b/1.JPG", u"x.JPG"}, &names), kXpErrBadArgument);
  EXPECT_EQ(K2CollectParentFolderNames({}, &names), kXpErrBadArgument);
}

TEST_F(K2TaskHelpers, QualityAndBatchChoices) {
  EXPECT_EQ(K2ChooseJpegQuality(true), 70);
  EXPECT_EQ(K2ChooseJpegQuality(false), 90);
  EXPECT_EQ(K2GetBatchSize(true), 50u);
  EXPECT_EQ(K2GetBatchSize(false), 10u);
}

TEST_F(K2TaskHelpers, LocalToUtcUsesTheZoneOffset) {
  SetEnv("TZ", "Asia/Tokyo");
  ::tzset();
  EXPECT_DOUBLE_EQ(K2LocalToUtc(XpDateTime(45000.5)).GetValue(), 45000.125);
  SetEnv("TZ", "UTC");
  ::tzset();
  EXPECT_DOUBLE_EQ(K2LocalToUtc(XpDateTime(45000.5)).GetValue(), 45000.5);
  EXPECT_FALSE(K2LocalToUtc(XpDateTime()).IsValid());
}

TEST_F(K2TaskHelpers, ClusterSizeFallsBackWhenStatvfsFails) {
  const XpString folder = XpString::FromUtf8(Root().string());
  EXPECT_GT(K2GetVolumeClusterSize(folder), 0u);
  FaultInjection faults;
  faults.Add(Fault(SysCall::kStatvfs, Root().string()).Errno(EIO));
  EXPECT_EQ(K2GetVolumeClusterSize(folder), kK2DefaultClusterSize);
}

TEST_F(K2TaskHelpers, AppDataFolderIsCreated) {
  const std::filesystem::path expected =
      Root() / "home/.local/share/Kavo Corporation/QMV/Accessor/K2";
  EXPECT_FALSE(std::filesystem::exists(expected));
  EXPECT_EQ(K2GetAppDataFolder().ToMultiByte().ToStdString(), expected.string());
  EXPECT_TRUE(std::filesystem::is_directory(expected));
  EXPECT_EQ(K2GetAppDataFolder().ToMultiByte().ToStdString(), expected.string());
}

TEST_F(K2TaskHelpers, TransferMarkerNamesTheFolderFromTheVolumeRoot) {
  MountCamera();
  struct Case {
    std::string marked;
    std::string text;
  };
  const Case cases[] = {
      {(Camera() / "DCIM/100ZXDCF/").string(), "/DCIM/100ZXDCF"},
      {(Camera() / "DCIM/100ZXDCF").string(), "/DCIM/100ZXDCF"},
      {Camera().string() + "/", ""},
  };
  const std::filesystem::path marker = Camera() / "TRANS.TXT";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marked);
    WriteBytes(marker, "an older marker");
    EXPECT_EQ(
        K2WriteTransferMarker(XpString::FromUtf8(Camera().string()), XpString::FromUtf8(c.marked)),
        kXpOk);
    EXPECT_EQ(ReadAll(marker), c.text);
    EXPECT_EQ(TempFileCount(), 0u);
  }
  EXPECT_EQ(K2RemoveTransferMarker(XpString::FromUtf8(Camera().string())), kXpOk);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(K2TaskHelpers, TransferMarkerIgnoresAnotherUsersLeftover) {
  MountCamera();
  const std::filesystem::path leftover = TempFolder() / "TRANS.TXT";
  WriteBytes(leftover, "someone else's");
  FaultInjection faults;
  faults.Add(Fault(SysCall::kUnlink, leftover.string()).Errno(EPERM));
  EXPECT_EQ(K2WriteTransferMarker(XpString::FromUtf8(Camera().string()),
                                  XpString::FromUtf8((Camera() / "DCIM/101ZXDCF/").string())),
            kXpOk);
  EXPECT_EQ(ReadAll(Camera() / "TRANS.TXT"), "/DCIM/101ZXDCF");
  EXPECT_EQ(ReadAll(leftover), "someone else's");
  EXPECT_EQ(TempFileCount(), 1u);
}

TEST_F(K2TaskHelpers, StagingFailureLeavesNoMarker) {
  MountCamera();
  FaultInjection faults;
  faults.Add(Fault(SysCall::kWrite, TempFolder().string()).Errno(ENOSPC));
  EXPECT_NE(K2WriteTransferMarker(XpString::FromUtf8(Camera().string()),
                                  XpString::FromUtf8((Camera() / "DCIM/100ZXDCF/").string())),
            kXpOk);
  EXPECT_FALSE(std::filesystem::exists(Camera() / "TRANS.TXT"));
  EXPECT_EQ(TempFileCount(), 0u);
}

TEST_F(K2TaskHelpers, DestinationPresentOnlyWhileMounted) {
  MountCamera();
  EXPECT_TRUE(K2IsDestinationPresent(XpString::FromUtf8(Camera().string())));
  EXPECT_TRUE(K2IsDestinationPresent(XpString::FromUtf8(Camera().string()) + u"/"));
  EXPECT_FALSE(K2IsDestinationPresent(XpString::FromUtf8((Camera() / "DCIM").string())));
  std::filesystem::create_directories(Camera() / "DCIM");
  EXPECT_FALSE(K2IsDestinationPresent(XpString::FromUtf8((Camera() / "DCIM").string())));
  sysfs_->RemoveMount(Camera().string());
  EXPECT_TRUE(std::filesystem::is_directory(Camera()));
  EXPECT_FALSE(K2IsDestinationPresent(XpString::FromUtf8(Camera().string())));
  EXPECT_FALSE(K2IsDestinationPresent(u""));
}

TEST_F(K2TaskHelpers, TheMarkersRemovalIsFlushedAndAFailedFlushIsTold) {
  MountCamera();
  const std::filesystem::path marker = Camera() / "TRANS.TXT";
  for (const bool flushFails : {false, true}) {
    SCOPED_TRACE(flushFails ? "the flush fails" : "flushed");
    WriteBytes(marker, "/DCIM/101ZXDCF");
    FaultInjection faults;
    // The marker's removal flushes the root and nothing else.
    const int flush = flushFails ? faults.Add(Fault(SysCall::kFsync, Camera().string()).Errno(EIO)) : -1;
    EXPECT_EQ(K2RemoveTransferMarker(XpString::FromUtf8(Camera().string())),
              flushFails ? kXpErrDeviceNotReady : kXpOk);
    EXPECT_FALSE(std::filesystem::exists(marker));
    if (flushFails) {
      EXPECT_EQ(faults.Hits(flush), 1);
    }
  }
}

TEST_F(K2TaskHelpers, TheMarkerIsReadAsTheFolderItNames) {
  MountCamera();
  struct Case {
    const char* text;
    std::string expected;
  };
  const Case cases[] = {
      {"/DCIM/101ZXDCF", (Camera() / "DCIM/101ZXDCF/").string()},
      {"DCIM/101ZXDCF", ""},
      {"/DCIM/../../etc", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteBytes(Camera() / "TRANS.TXT", c.text);
    EXPECT_EQ(
        K2ReadTransferMarker(XpString::FromUtf8(Camera().string())).ToMultiByte().ToStdString(),
        c.expected);
  }
  std::filesystem::remove(Camera() / "TRANS.TXT");
  EXPECT_TRUE(K2ReadTransferMarker(XpString::FromUtf8(Camera().string())).IsEmpty());
}

TEST_F(K2TaskHelpers, RunFoldersOfEndedRunsGoAndThoseOfLivingRunsStay) {
  std::filesystem::create_directories(TempFolder());
  K2ExportRunFolder living;
  const std::filesystem::path own =
      living.PathIn(XpString::FromUtf8(TempFolder().string())).ToMultiByte().ToStdString();
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.parent_path(), TempFolder());
  EXPECT_TRUE(std::filesystem::exists(own / K2ExportRunFolder::kLockName));
  WriteBytes(own / "QMVS0000.JPG.tmp", "living");
  // A run that ended without removing its folder, one killed before its
  // lock, and the user's own folder.
  const std::filesystem::path ended = TempFolder() / "K2ExportRun-1-0";
  WriteBytes(ended / K2ExportRunFolder::kLockName, "");
  WriteBytes(ended / "IMG_0001.JPG.tmp", "left");
  WriteBytes(ended / "0.temp", "left");
  const std::filesystem::path unlocked = TempFolder() / "K2ExportRun-2-0";
  WriteBytes(unlocked / "QMVS0001.JPG.tmp", "left");
  const std::filesystem::path users = TempFolder() / "Holiday";
  WriteBytes(users / "IMG_0001.JPG.tmp", "mine");

  K2ExportRunFolder::RemoveAbandoned(XpString::FromUtf8(TempFolder().string()));

  EXPECT_FALSE(std::filesystem::exists(ended));
  EXPECT_FALSE(std::filesystem::exists(unlocked));
  EXPECT_EQ(ReadAll(own / "QMVS0000.JPG.tmp"), "living");
  EXPECT_EQ(ReadAll(users / "IMG_0001.JPG.tmp"), "mine");
  // The same temporary folder keeps the folder; the run's end removes it.
  EXPECT_EQ(living.PathIn(XpString::FromUtf8(TempFolder().string())).ToMultiByte().ToStdString(),
            own.string());
  living.Remove();
  EXPECT_FALSE(std::filesystem::exists(own));
  EXPECT_TRUE(std::filesystem::exists(users));
}

}  // namespace
}  // namespace task_test
