#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskFile.h"
#include "fsk/FskFileSystem.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr int64_t kFiveGiB = 5LL * 1024 * 1024 * 1024;

class FskFiles : public testsupport::HermeticTest {
 protected:
  std::string PathOf(const std::string& name) { return (Dir("files") / name).string(); }

  std::string MakeFile(const std::string& name, const std::string& content = "") {
    std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  FskFile Open(const std::string& path) {
    FskFile file = nullptr;
    EXPECT_EQ(FskFileOpen(path.c_str(), kFskFilePermissionReadWrite, &file), 0) << path;
    return file;
  }

  testsupport::FaultInjection faults_;
};

TEST_F(FskFiles, SetSizeExtendsWithZeros) {
  std::string path = MakeFile("empty");
  FskFile file = Open(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(FskFileSetSize(file, 10000), 0);
  int64_t size = 0;
  EXPECT_EQ(FskFileGetSize(file, &size), 0);
  EXPECT_EQ(size, 10000);
  std::vector<char> bytes(10000, 'x');
  size_t done = 0;
  EXPECT_EQ(FskFileRead(file, bytes.size(), bytes.data(), &done), 0);
  EXPECT_EQ(done, 10000u);
  EXPECT_EQ(bytes, std::vector<char>(10000, '\0'));
  EXPECT_EQ(FskFileClose(file), 0);
}

TEST_F(FskFiles, WriteFarBeyondTheEndMakesASparseFile) {
  std::string path = MakeFile("sparse");
  FskFile file = Open(path);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(FskFileSetPosition(file, kFiveGiB), 0);
  EXPECT_EQ(FskFileWrite(file, 1, "z", nullptr), 0);
  int64_t size = 0;
  int64_t position = 0;
  EXPECT_EQ(FskFileGetSize(file, &size), 0);
  EXPECT_EQ(FskFileGetPosition(file, &position), 0);
  EXPECT_EQ(size, kFiveGiB + 1);
  EXPECT_EQ(position, kFiveGiB + 1);
  EXPECT_EQ(FskFileClose(file), 0);
  EXPECT_EQ(std::filesystem::file_size(path), static_cast<uintmax_t>(kFiveGiB + 1));
}

TEST_F(FskFiles, OpenOfAMissingFileGivesNoReference) {
  FskFile file = reinterpret_cast<FskFile>(1);
  errno = 0;
  EXPECT_EQ(FskFileOpen(PathOf("missing").c_str(), kFskFilePermissionReadWrite, &file),
            static_cast<int32_t>(kXpErrFileNotFound));
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(FskFiles, RelativePathsAreRefused) {
  FskFile file = nullptr;
  errno = 0;
  EXPECT_NE(FskFileOpen("relative/file", kFskFilePermissionReadWrite, &file), 0);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_NE(FskFileCreate("relative"), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "relative"));
}

TEST_F(FskFiles, CreateMakesAnEmptyFileOnlyOnce) {
  std::string path = PathOf("new");
  EXPECT_EQ(FskFileCreate(path.c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  errno = 0;
  EXPECT_NE(FskFileCreate(path.c_str()), 0);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(FskFileDelete(path.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  errno = 0;
  EXPECT_NE(FskFileDelete(path.c_str()), 0);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(FskFiles, ReadAndWriteMoveAtThePosition) {
  std::string path = MakeFile("data", "0123456789");
  FskFile file = Open(path);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(FskFileSetPosition(file, 4), 0);
  char buffer[4] = {};
  size_t done = 0;
  EXPECT_EQ(FskFileRead(file, 3, buffer, &done), 0);
  EXPECT_EQ(std::string(buffer, 3), "456");
  EXPECT_EQ(FskFileWrite(file, 2, "ab", &done), 0);
  int64_t position = 0;
  FskFileGetPosition(file, &position);
  EXPECT_EQ(position, 9);
  // A read past the end moves what there is and fails.
  errno = 0;
  EXPECT_NE(FskFileRead(file, 4, buffer, &done), 0);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(FskFileClose(file), 0);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "0123456ab9");
}

TEST_F(FskFiles, InjectedDiskFullFailsTheWriteWithTheCountDone) {
  std::string path = MakeFile("full");
  FskFile file = Open(path);
  ASSERT_NE(file, nullptr);
  int rule = faults_.Add(testsupport::Fault(testsupport::SysCall::kWrite, path).Errno(ENOSPC).AfterBytes(100));
  std::vector<char> bytes(1000, 'q');
  size_t done = 0;
  errno = 0;
  EXPECT_EQ(FskFileWrite(file, bytes.size(), bytes.data(), &done), static_cast<int32_t>(kXpErrDiskFull));
  EXPECT_EQ(done, 100u);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_GE(faults_.Hits(rule), 1);
  faults_.Clear();
  EXPECT_EQ(FskFileClose(file), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 100u);
}

// A file system that takes nothing: every write moves 0 bytes.
class WritesThatMoveNothing : public XpSysCallsWrapper {
 public:
  WritesThatMoveNothing() : XpSysCallsWrapper(XpSysCalls::Posix()) {}
  ssize_t Write(int, const void*, size_t) override {
    ++calls;
    return 0;
  }
  int calls = 0;
};

TEST_F(FskFiles, AWriteThatMovesNothingIsDiskFullNotSuccess) {
  std::string path = MakeFile("stuck", "old");
  FskFile file = Open(path);
  ASSERT_NE(file, nullptr);
  WritesThatMoveNothing stuck;
  XpSysCalls* previous = XpSysCalls::Install(&stuck);
  size_t done = 99;
  const int32_t result = FskFileWrite(file, 5, "fresh", &done);
  XpSysCalls::Install(previous);
  EXPECT_EQ(result, static_cast<int32_t>(kXpErrDiskFull));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(stuck.calls, 1);
  EXPECT_EQ(FskFileClose(file), 0);
}

TEST_F(FskFiles, InjectedOpenFailureReachesTheCaller) {
  std::string path = MakeFile("guarded", "x");
  faults_.Add(testsupport::Fault(testsupport::SysCall::kOpen, path).Errno(EACCES));
  FskFile file = nullptr;
  errno = 0;
  EXPECT_EQ(FskFileOpen(path.c_str(), kFskFilePermissionReadWrite, &file), static_cast<int32_t>(kXpErrAccessDenied));
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(errno, EACCES);
}

TEST_F(FskFiles, FoldersAreNotFiles) {
  FskFile file = nullptr;
  errno = 0;
  EXPECT_NE(FskFileOpen(Dir("folder").string().c_str(), kFskFilePermissionReadOnly, &file), 0);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(errno, EISDIR);
}

// A file system that keeps one file in memory.
class MemoryFileSystem : public FskFileSystem {
 public:
  class File : public FskOpenFile {
   public:
    explicit File(std::string& bytes) : bytes_(bytes) {}
    int ReadAt(int64_t offset, void* buffer, size_t count, size_t* done) override {
      size_t at = static_cast<size_t>(offset);
      *done = at < bytes_.size() ? std::min(count, bytes_.size() - at) : 0;
      std::memcpy(buffer, bytes_.data() + std::min(at, bytes_.size()), *done);
      return 0;
    }
    int WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done) override {
      size_t at = static_cast<size_t>(offset);
      if (bytes_.size() < at + count) {
        bytes_.resize(at + count);
      }
      std::memcpy(bytes_.data() + at, buffer, count);
      *done = count;
      return 0;
    }
    int GetSize(int64_t* size) override {
      *size = static_cast<int64_t>(bytes_.size());
      return 0;
    }
    int SetSize(int64_t size) override {
      bytes_.resize(static_cast<size_t>(size));
      return 0;
    }
    int Close() override { return 0; }

   private:
    std::string& bytes_;
  };

  int Open(const char* path, uint32_t, std::unique_ptr<FskOpenFile>* out) override {
    opened.push_back(path);
    *out = std::make_unique<File>(bytes);
    return 0;
  }
  int Create(const char*) override { return EEXIST; }
  int Delete(const char*) override { return EPERM; }

  std::string bytes;
  std::vector<std::string> opened;
};

TEST_F(FskFiles, TheLongestMountedPrefixPicksTheFileSystem) {
  MemoryFileSystem memory;
  std::string mount = Dir("mounted").string();
  FskFileMount(mount.c_str(), &memory);
  std::string inside = mount + "/DBFILES/data";
  FskFile file = Open(inside);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(FskFileWrite(file, 5, "hello", nullptr), 0);
  EXPECT_EQ(FskFileClose(file), 0);
  errno = 0;
  EXPECT_NE(FskFileDelete(inside.c_str()), 0);
  EXPECT_EQ(errno, EPERM);
  FskFileUnmount(mount.c_str());

  EXPECT_EQ(memory.bytes, "hello");
  EXPECT_EQ(memory.opened, std::vector<std::string>{inside});
  EXPECT_FALSE(std::filesystem::exists(inside));
  file = nullptr;
  EXPECT_NE(FskFileOpen(inside.c_str(), kFskFilePermissionReadWrite, &file), 0);
}

}  // namespace
