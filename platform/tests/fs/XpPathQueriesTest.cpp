#include "platform/fs/XpPathQueries.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/text/XpUtf.h"

namespace {

namespace fs = std::filesystem;

class SinglePathFixture : public testsupport::HermeticTest {
 protected:
  // A path below the test's folder, as the system spells it.
  XpString PathOf(const fs::path& path) const { return XpString(XpUtf8ToUtf16(path.string())); }
  XpString Under(const std::string& relative) const { return PathOf(Root() / relative); }
  fs::path Touch(const std::string& relative) const {
    const fs::path path = Root() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    return path;
  }
  mode_t ModeOf(const std::string& relative) const {
    struct stat info {};
    EXPECT_EQ(::stat((Root() / relative).c_str(), &info), 0);
    return info.st_mode & 0777;
  }
};
using XpPathQueries = SinglePathFixture;
using XpCreateNewFile = SinglePathFixture;

// Sets the umask for one scope.
class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : saved_(::umask(mask)) {}
  ~UmaskScope() { ::umask(saved_); }

 private:
  mode_t saved_;
};

TEST_F(XpPathQueries, ExistenceTellsFilesFoldersAndDanglingLinksApart) {
  Touch("file");
  fs::create_directory(Root() / "folder");
  fs::create_symlink(Root() / "nowhere", Root() / "dangling");
  const struct {
    const char* name;
    bool exists;
    bool isDir;
  } cases[] = {
      {"file", true, false},
      {"folder", true, true},
      {"dangling", true, false},
      {"missing", false, false},
      {"file/below", false, false},
  };
  for (const auto& row : cases) {
    bool isDir = !row.isDir;
    EXPECT_EQ(XpPathExists(Under(row.name), &isDir), row.exists) << row.name;
    if (row.exists) {
      EXPECT_EQ(isDir, row.isDir) << row.name;
    }
    EXPECT_EQ(XpFileExists(Under(row.name)), row.exists && !row.isDir) << row.name;
    EXPECT_EQ(XpDirectoryExists(Under(row.name)), row.isDir) << row.name;
  }
  EXPECT_FALSE(XpPathExists(XpString()));
}

TEST_F(XpPathQueries, AnyExtensionMatchesTheBaseNameExactly) {
  const struct {
    const char* present;
    const char16_t* asked;
    bool found;
  } cases[] = {
      {"IMG_0001.JPG", u"IMG_0001", true},
      {"IMG_00012.JPG", u"IMG_0001", false},
      {"IMG_0001", u"IMG_0001", true},
      {"IMG_0001.JPG", u"IMG_0001.THM", true},
      {"img_0001.JPG", u"IMG_0001", false},
      {"IMG_0001.JPG", u"IMG_*", false},
      {"IMG_0001.JPG", u"IMG_000?", false},
      {"IMG_*.JPG", u"IMG_*", true},
  };
  for (const auto& row : cases) {
    const fs::path folder = Root() / "d";
    fs::remove_all(folder);
    Touch(std::string("d/") + row.present);
    EXPECT_EQ(XpPathExistsWithAnyExtension(Under("d/") + row.asked), row.found)
        << row.present << " asked as " << testing::PrintToString(XpString(row.asked));
  }
  EXPECT_FALSE(XpPathExistsWithAnyExtension(Under("missing/IMG_0001")));
}

TEST_F(XpPathQueries, HiddenFollowsTheDotNameOffFat) {
  Touch(".hidden");
  Touch("shown");
  EXPECT_TRUE(XpFileIsHidden(Under(".hidden")));
  EXPECT_FALSE(XpFileIsHidden(Under("shown")));
  EXPECT_FALSE(XpFileIsHidden(Under(".missing")));
  EXPECT_FALSE(XpFileIsSystem(Under(".hidden")));

  const struct {
    const char* name;
    bool hidden;
    XpResult result;
  } cases[] = {
      {".hidden", true, kXpOk},
      {".hidden", false, kXpErrNotSupportedByOs},
      {"shown", false, kXpOk},
      {"shown", true, kXpErrNotSupportedByOs},
      {"missing", true, kXpErrFileNotFound},
      {"missing", false, kXpErrFileNotFound},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(XpFileSetHidden(Under(row.name), row.hidden), row.result) << row.name << " " << row.hidden;
  }
}

TEST_F(XpPathQueries, ReadOnlyIsTheWriteBits) {
  UmaskScope mask(022);
  Touch("file");
  fs::permissions(Root() / "file", fs::perms(0664));
  EXPECT_FALSE(XpFileIsReadOnly(Under("file")));

  EXPECT_EQ(XpFileSetReadOnly(Under("file"), true), kXpOk);
  EXPECT_EQ(ModeOf("file"), 0444u);
  EXPECT_TRUE(XpFileIsReadOnly(Under("file")));

  // Writable again: only the write bits the umask allows.
  EXPECT_EQ(XpFileSetReadOnly(Under("file"), false), kXpOk);
  EXPECT_EQ(ModeOf("file"), 0644u);
  {
    UmaskScope groupMask(002);
    fs::permissions(Root() / "file", fs::perms(0444));
    EXPECT_EQ(XpFileSetReadOnly(Under("file"), false), kXpOk);
    EXPECT_EQ(ModeOf("file"), 0664u);
  }
  EXPECT_FALSE(XpFileIsReadOnly(Under("missing")));
  EXPECT_EQ(XpFileSetReadOnly(Under("missing"), true), kXpErrFileNotFound);
  EXPECT_EQ(XpFileSetReadOnly(Under("none/missing"), true), kXpErrPathNotFound);
}

TEST_F(XpCreateNewFile, CreatesOnlyWhatDoesNotExist) {
  const XpString path = Under("new");
  EXPECT_EQ(::XpCreateNewFile(path), kXpOk);
  EXPECT_TRUE(fs::is_regular_file(Root() / "new"));
  EXPECT_EQ(fs::file_size(Root() / "new"), 0u);
  EXPECT_EQ(::XpCreateNewFile(path), kXpErrAlreadyExists);
  EXPECT_EQ(::XpCreateNewFile(Under("missing/new")), kXpErrPathNotFound);
  fs::create_directory(Root() / "folder");
  EXPECT_EQ(::XpCreateNewFile(Under("folder")), kXpErrAlreadyExists);
}

TEST_F(XpCreateNewFile, ErrnoTable) {
  const struct {
    int error;
    XpResult result;
  } cases[] = {
      {EACCES, kXpErrAccessDenied}, {EPERM, kXpErrAccessDenied},  {EROFS, kXpErrAccessDenied},
      {EEXIST, kXpErrAlreadyExists}, {EINVAL, kXpErrBadArgument}, {EMFILE, kXpErrTooManyOpenFiles},
      {ENOSPC, kXpErrDiskFull},      {ENOENT, kXpErrPathNotFound}, {ENOTDIR, kXpErrPathNotFound},
      {EIO, kXpErrSystem},           {ENFILE, kXpErrSystem},       {EISDIR, kXpErrSystem},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(XpCreateNewFileResultFromErrno(row.error), row.result) << "errno " << row.error;
  }
}

}  // namespace
