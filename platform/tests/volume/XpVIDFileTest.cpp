#include "platform/volume/XpVIDFile.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/volume/XpVolume.h"

namespace {

using fstest::ReadBytes;
using fstest::ToUtf8;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

constexpr size_t kGuidLength = 38;
const std::string kPrivateFile = "PRIVATE/KAVO/.KavoVID";

// A file of the 128-byte format holding id.
std::string VidBytes(const std::string& id) {
  std::string bytes = id;
  bytes.resize(XpVIDFile::kFileSize, '\0');
  return bytes;
}

// Checks the 128-byte format: a braced upper-case GUID, then zeros.
void ExpectNewGuidFile(const std::filesystem::path& file, const XpString& id) {
  const std::string bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), XpVIDFile::kFileSize) << file;
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

class XpVIDFile : public volumetest::VolumeFixture {
 protected:
  void SetUp() override {
    VolumeFixture::SetUp();
    ::XpVolume::UseSetupIdOrder(true);
  }
  void TearDown() override {
    ::XpVolume::UseSetupIdOrder(false);
    VolumeFixture::TearDown();
  }

  // A FAT disk without a serial number.
  std::filesystem::path AddDisk(const std::string& name) {
    return AddFixedDisk(name, "vfat", nextMinor_++);
  }

  FaultInjection faults_;

 private:
  unsigned nextMinor_ = 1;
};

TEST_F(XpVIDFile, ReadsTheTextBeforeTheFirstZeroByte) {
  struct Case {
    const char* name;
    std::string bytes;
    XpResult result;
    const char16_t* id;
  };
  const Case cases[] = {
      {"guid", VidBytes("{0A1B2C3D-0000-4000-8000-00000000ABCD}"), kXpOk,
       u"{0A1B2C3D-0000-4000-8000-00000000ABCD}"},
      {"text", VidBytes("plain"), kXpOk, u"plain"},
      {"zeros", VidBytes(""), kXpOk, u""},
      {"longer", VidBytes("x") + "tail", kXpOk, u"x"},
      {"short", std::string(100, 'a'), kXpErrInvalidFile, u""},
      {"empty", "", kXpErrInvalidFile, u""},
  };
  for (const Case& c : cases) {
    WriteBytes(Root() / c.name, c.bytes);
    ::XpVIDFile file(ToXp(Root() / c.name));
    XpString id = u"stale";
    EXPECT_EQ(file.ReadIdentifier(&id), c.result) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
    EXPECT_FALSE(file.IsOpen()) << c.name;
  }
  ::XpVIDFile missing(ToXp(Root() / "missing"));
  XpString id = u"stale";
  EXPECT_NE(missing.ReadIdentifier(&id), kXpOk);
  EXPECT_EQ(id, u"");
}

TEST_F(XpVIDFile, WritesANewIdentifierWholeAndReplacesAnOldFile) {
  const std::filesystem::path folder = Dir("vol");
  WriteBytes(folder / ".KavoVID", std::string(100, 'a'));
  ::XpVIDFile file(ToXp(folder / ".KavoVID"));
  XpString id;
  ASSERT_EQ(file.WriteNewIdentifier(&id), kXpOk);
  ExpectNewGuidFile(folder / ".KavoVID", id);
  XpString again;
  EXPECT_EQ(file.ReadIdentifier(&again), kXpOk);
  EXPECT_EQ(again, id);
  // The temporary file went with the rename.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);

  XpString second;
  ASSERT_EQ(file.WriteNewIdentifier(&second), kXpOk);
  EXPECT_NE(second, id);
}

TEST_F(XpVIDFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  const std::filesystem::path folder = Dir("vol");
  const std::string old = VidBytes("old");
  WriteBytes(folder / ".KavoVID", old);
  faults_.Add(Fault(SysCall::kWrite, folder.string()).Errno(ENOSPC).AfterBytes(5));
  ::XpVIDFile file(ToXp(folder / ".KavoVID"));
  XpString id = u"stale";
  EXPECT_EQ(file.WriteNewIdentifier(&id), kXpErrDiskFull);
  EXPECT_EQ(id, u"");
  EXPECT_EQ(ReadBytes(folder / ".KavoVID"), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(XpVIDFile, SetupOrderOfVolumeIdentifiers) {
  // The serial number comes first, and nothing is written.
  const std::filesystem::path card = AddCard();
  EXPECT_EQ(::XpVolume(RootOf(card)).GetVolumeId(), u"1234abcd");
  EXPECT_FALSE(std::filesystem::exists(card / "PRIVATE"));

  // Then the camera's identification file.
  const std::filesystem::path camera = AddDisk("camera");
  WriteBytes(camera / "VOLUMEID.IND", std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88", 9));
  WriteBytes(camera / kPrivateFile, VidBytes("private"));
  EXPECT_EQ(::XpVolume(RootOf(camera)).GetVolumeId(), u"001122334455667788");

  // Then "PRIVATE/KAVO/.KavoVID" before ".KavoVID" at the root.
  const std::filesystem::path both = AddDisk("both");
  WriteBytes(both / kPrivateFile, VidBytes("private"));
  WriteBytes(both / ".KavoVID", VidBytes("root"));
  EXPECT_EQ(::XpVolume(RootOf(both)).GetVolumeId(), u"private");

  // A short or empty file there passes to the root's file.
  const std::filesystem::path shortPrivate = AddDisk("short");
  WriteBytes(shortPrivate / kPrivateFile, std::string(100, 'p'));
  WriteBytes(shortPrivate / ".KavoVID", VidBytes("root"));
  EXPECT_EQ(::XpVolume(RootOf(shortPrivate)).GetVolumeId(), u"root");
  const std::filesystem::path zeroPrivate = AddDisk("zero");
  WriteBytes(zeroPrivate / kPrivateFile, VidBytes(""));
  WriteBytes(zeroPrivate / ".KavoVID", VidBytes("root"));
  EXPECT_EQ(::XpVolume(RootOf(zeroPrivate)).GetVolumeId(), u"root");
}

TEST_F(XpVIDFile, SetupOrderWritesANewIdentifierBelowPrivate) {
  struct Case {
    const char* name;
    bool privateFolder;  // "PRIVATE/KAVO" exists already
    std::string rootFile;  // ".KavoVID" at the root; "-": none
  };
  const Case cases[] = {
      {"bare", false, "-"},
      {"folder", true, "-"},
      {"shortroot", false, std::string(100, 'r')},
  };
  for (const Case& c : cases) {
    const std::filesystem::path disk = AddDisk(c.name);
    if (c.privateFolder) std::filesystem::create_directories(disk / "PRIVATE/KAVO");
    if (c.rootFile != "-") WriteBytes(disk / ".KavoVID", c.rootFile);
    const XpString id = ::XpVolume(RootOf(disk)).GetVolumeId();
    ASSERT_EQ(id.GetLength(), static_cast<int32_t>(kGuidLength)) << c.name;
    ExpectNewGuidFile(disk / kPrivateFile, id);
    // Kept: the next look finds the same identifier.
    EXPECT_EQ(::XpVolume(RootOf(disk)).GetVolumeId(), id) << c.name;
    // The root's file is left as it was.
    EXPECT_EQ(std::filesystem::exists(disk / ".KavoVID"), c.rootFile != "-") << c.name;
  }
}

TEST_F(XpVIDFile, SetupOrderIsOffUnlessTurnedOn) {
  ::XpVolume::UseSetupIdOrder(false);
  const std::filesystem::path disk = AddDisk("plain");
  const XpString id = ::XpVolume(RootOf(disk)).GetVolumeId();
  EXPECT_EQ(id.GetLength(), static_cast<int32_t>(kGuidLength));
  EXPECT_TRUE(std::filesystem::exists(disk / ".KavoVID"));
  EXPECT_FALSE(std::filesystem::exists(disk / "PRIVATE"));
}

TEST_F(XpVIDFile, SetupOrderGivesNothingWhenTheFolderCannotBeMade) {
  const std::filesystem::path disk = AddDisk("readonly");
  faults_.Add(Fault(SysCall::kMkdir, disk.string()).Errno(EROFS));
  EXPECT_EQ(::XpVolume(RootOf(disk)).GetVolumeId(), u"");
  EXPECT_FALSE(std::filesystem::exists(disk / "PRIVATE"));
}

}  // namespace
