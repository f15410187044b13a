#include "setup/package/ExtractPackageArchive.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "setup/tests/tools/TestArchive.h"
#include "setup/tests/tools/TestPackage.h"

namespace {

namespace fs = std::filesystem;
using setuptest::ArchiveEntry;
using setuptest::ReadBytes;
using setuptest::WriteBytes;

// Bytes that do not compress, so that a changed byte lands in the data.
std::string Scrambled(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

class ExtractPackageArchive : public testsupport::HermeticTest {
 protected:
  fs::path Archive() const { return Root() / "p.zip"; }
  fs::path Data() const { return Root() / "data"; }
  fs::path Outside() const { return Dir("outside"); }

  XpResult Extract(const std::vector<ArchiveEntry>& entries) {
    EXPECT_TRUE(setuptest::WriteZipArchive(Archive().string(), entries));
    return ::ExtractPackageArchive(XpString::FromUtf8(Archive().string()),
                                   XpString::FromUtf8(Data().string()));
  }

  std::string Read(const fs::path& path) const {
    std::string bytes;
    EXPECT_TRUE(ReadBytes(path.string(), &bytes)) << path;
    return bytes;
  }

  // The relative paths of every entry below the data folder.
  std::vector<std::string> DataEntries() const {
    std::vector<std::string> entries;
    if (!fs::exists(Data())) return entries;
    for (const auto& entry : fs::recursive_directory_iterator(Data())) {
      entries.push_back(fs::relative(entry.path(), Data()).string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }
};

TEST_F(ExtractPackageArchive, WritesFilesAndTheirFoldersOnly) {
  struct Case {
    const char* label;
    std::vector<ArchiveEntry> entries;
    std::vector<std::string> onDisk;
  };
  const Case cases[] = {
      {"folder entries", {{"a/", ""}, {"a/b/", ""}, {"a/b/c.txt", "c"}}, {"a", "a/b", "a/b/c.txt"}},
      {"backslashes", {{"a\\b.txt", "b"}}, {"a", "a/b.txt"}},
      {"empty archive", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(Data());
    EXPECT_EQ(Extract(c.entries), kXpOk);
    EXPECT_EQ(DataEntries(), c.onDisk);
  }
}

TEST_F(ExtractPackageArchive, CopiesBigEntriesWholeAndReplacesOldFiles) {
  const std::string big = Scrambled(70000);
  fs::create_directories(Data());
  ASSERT_TRUE(WriteBytes((Data() / "x.txt").string(), "old contents"));
  EXPECT_EQ(Extract({{"big.bin", big}, {"x.txt", "new"}}), kXpOk);
  EXPECT_EQ(Read(Data() / "big.bin"), big);
  EXPECT_EQ(fs::status(Data() / "big.bin").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  EXPECT_EQ(Read(Data() / "x.txt"), "new");
  EXPECT_EQ(DataEntries(), (std::vector<std::string>{"big.bin", "x.txt"}));
}

TEST_F(ExtractPackageArchive, RefusesNamesThatLeaveTheFolder) {
  struct Case {
    std::vector<ArchiveEntry> entries;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {{{"ok.txt", "ok"}, {"../evil.txt", "evil"}}, {"ok.txt"}},
      {{{"/abs.txt", "abs"}}, {}},
      {{{"a/../../x", "x"}}, {}},
      {{{"..\\win.txt", "w"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries.back().first);
    fs::remove_all(Data());
    EXPECT_EQ(Extract(c.entries), kXpErrArchiveEntry);
    EXPECT_EQ(DataEntries(), c.kept);
    EXPECT_FALSE(fs::exists(Root() / "evil.txt"));
    EXPECT_FALSE(fs::exists(Root() / "x"));
    EXPECT_FALSE(fs::exists(Root() / "win.txt"));
    EXPECT_FALSE(fs::exists("/abs.txt"));
  }
}

TEST_F(ExtractPackageArchive, DoesNotWriteThroughLinks) {
  fs::create_directories(Data());
  fs::create_directory_symlink(Outside(), Data() / "l");
  EXPECT_EQ(Extract({{"l/y.txt", "y"}}), kXpErrArchiveEntry);
  EXPECT_TRUE(fs::is_empty(Outside()));

  const fs::path target = Outside() / "target.txt";
  ASSERT_TRUE(WriteBytes(target.string(), "outside"));
  fs::create_symlink(target, Data() / "z.txt");
  EXPECT_EQ(Extract({{"z.txt", "z"}}), kXpErrOpenFailed);
  EXPECT_EQ(Read(target), "outside");
  EXPECT_TRUE(fs::is_symlink(Data() / "z.txt"));
}

TEST_F(ExtractPackageArchive, StopsAtDamagedData) {
  const std::string bytes = Scrambled(5000);
  ASSERT_TRUE(setuptest::WriteZipArchive(Archive().string(), {{"d.txt", bytes}}));
  std::string archive = Read(Archive());
  const size_t at = archive.find(bytes.substr(2000, 16));
  ASSERT_NE(at, std::string::npos) << "the entry is stored in the clear";
  archive[at] = static_cast<char>(~archive[at]);
  ASSERT_TRUE(WriteBytes(Archive().string(), archive));
  EXPECT_EQ(::ExtractPackageArchive(XpString::FromUtf8(Archive().string()),
                                    XpString::FromUtf8(Data().string())),
            kXpErrOpenFailed);
  EXPECT_EQ(DataEntries(), std::vector<std::string>());
}

TEST_F(ExtractPackageArchive, AFailedWriteLeavesNoFileBehind) {
  struct Case {
    const char* label;
    testsupport::Fault fault;
  };
  const Case cases[] = {
      {"write", testsupport::Fault(testsupport::SysCall::kWrite, "").Errno(ENOSPC)},
      {"flush", testsupport::Fault(testsupport::SysCall::kFsync, "").Errno(EIO)},
      {"rename", testsupport::Fault(testsupport::SysCall::kRename, "").Errno(EIO)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(Data());
    ASSERT_TRUE(setuptest::WriteZipArchive(Archive().string(), {{"f.txt", Scrambled(20000)}}));
    testsupport::FaultInjection faults;
    const int rule = faults.Add(c.fault);
    EXPECT_EQ(::ExtractPackageArchive(XpString::FromUtf8(Archive().string()),
                                      XpString::FromUtf8(Data().string())),
              kXpErrOpenFailed);
    EXPECT_GT(faults.Hits(rule), 0);
    faults.Clear();
    EXPECT_EQ(DataEntries(), std::vector<std::string>());
  }
}

TEST_F(ExtractPackageArchive, FailsOnArchivesThatCannotBeOpened) {
  ASSERT_TRUE(WriteBytes((Root() / "p.zip").string(), "plain text, not an archive"));
  EXPECT_EQ(::ExtractPackageArchive(XpString::FromUtf8((Root() / "p.zip").string()),
                                    XpString::FromUtf8(Data().string())),
            kXpErrOpenFailed);
  EXPECT_EQ(::ExtractPackageArchive(XpString::FromUtf8((Root() / "missing.zip").string()),
                                    XpString::FromUtf8(Data().string())),
            kXpErrOpenFailed);
  ASSERT_TRUE(WriteBytes((Root() / "real.cab").string(), std::string("MSCF\0\0\0\0", 8)));
  EXPECT_EQ(::ExtractPackageArchive(XpString::FromUtf8((Root() / "real.cab").string()),
                                    XpString::FromUtf8(Data().string())),
            kXpErrOpenFailed);
}

}  // namespace
