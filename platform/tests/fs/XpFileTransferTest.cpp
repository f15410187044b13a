#include "platform/fs/XpFileTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileDataOperations.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/AgedFiles.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FileOpsTestSupport.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace {

namespace fs = std::filesystem;
using fileopstest::NamesIn;
using fileopstest::RecordingObserver;
using fileopstest::TempPrefix;
using fstest::ReadBytes;
using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::SysCall;

constexpr size_t kMiB = size_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;
const std::string kOld = "OLD";

std::set<std::string> Temporaries(const fs::path& folder) {
  std::set<std::string> found;
  for (const std::string& name : NamesIn(folder)) {
    if (XpPendingFile::IsTempName(name)) found.insert(name);
  }
  return found;
}

// Bytes that differ at every position of a chunk, so that a copy that
// misplaces a chunk is seen.
std::string Pattern(size_t size, char seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + (i * 7) % 251);
  return bytes;
}

// Answers true from the first report at or past a percentage on.
class StopAtPercent : public IXpFileOpProgressObserver {
 public:
  explicit StopAtPercent(double at) : at_(at) {}
  bool OnFileOpProgress(double reported) override { return reported >= at_; }

 private:
  double at_;
};

// Runs an action at the first report at or past a percentage.
class ActAtPercent : public IXpFileOpProgressObserver {
 public:
  ActAtPercent(double at, std::function<void()> action) : at_(at), action_(std::move(action)) {}
  bool OnFileOpProgress(double reported) override {
    if (reported >= at_ && action_) {
      action_();
      action_ = nullptr;
    }
    return false;
  }

 private:
  double at_;
  std::function<void()> action_;
};

struct stat StatOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(XpSysCalls::Posix().Stat(path.c_str(), &info), 0) << path;
  return info;
}

// A file of size bytes that holds data only at [dataAt, dataAt + data.size()).
void MakeSparse(const fs::path& path, uint64_t size, uint64_t dataAt, const std::string& data) {
  XpSysCalls& calls = XpSysCalls::Posix();
  const int fd = calls.Open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(calls.Ftruncate(fd, static_cast<off_t>(size)), 0);
  ASSERT_EQ(calls.Pwrite(fd, data.data(), data.size(), static_cast<off_t>(dataAt)),
            static_cast<ssize_t>(data.size()));
  ASSERT_EQ(calls.Close(fd), 0);
}

std::string ReadAt(const fs::path& path, uint64_t offset, size_t count) {
  XpSysCalls& calls = XpSysCalls::Posix();
  std::string bytes(count, '\0');
  const int fd = calls.Open(path.c_str(), O_RDONLY, 0);
  EXPECT_GE(fd, 0);
  const ssize_t got = calls.Pread(fd, bytes.data(), count, static_cast<off_t>(offset));
  EXPECT_EQ(calls.Close(fd), 0);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

class FileTransferFixture : public testsupport::HermeticTest {
 protected:
  // The folder the tests write in, empty at first.
  fs::path Work() const { return Dir("work"); }
  fs::path File(const std::string& name, const std::string& content) {
    const fs::path path = Work() / name;
    WriteBytes(path, content);
    return path;
  }
  testsupport::FaultInjection faults_;
};
using XpFileTransfer = FileTransferFixture;

// Each way of copying a file onto a path.
struct Copier {
  const char* name;
  std::function<XpResult(const fs::path&, const fs::path&, IXpFileOpProgressObserver*)> copy;
};

const Copier kCopiers[] = {
    {"XpCopyFileWithProgress",
     [](const fs::path& source, const fs::path& destination, IXpFileOpProgressObserver* observer) {
       return XpCopyFileWithProgress(ToXp(source), ToXp(destination), observer);
     }},
    {"XpCopyFileData",
     [](const fs::path& source, const fs::path& destination, IXpFileOpProgressObserver* observer) {
       XpSharedPtr<XpAbstractFile> file(new XpFile(ToXp(source)));
       if (file->Open(kXpOpenRead) != kXpOk) return kXpErrOpenFailed;
       const XpResult result = XpCopyFileData(file, ToXp(destination), observer);
       EXPECT_EQ(file->Close(), kXpOk);
       return result;
     }},
};

TEST_F(XpFileTransfer, ACopyThatFailsMidwayLeavesTheOldDestinationAndNoTemporary) {
  const fs::path source = File("new.bin", Pattern(20 * kMiB, 'n'));
  const fs::path destination = Work() / "photo.jpg";
  struct Case {
    const char* name;
    double stopAt;  // 0: no stop
    int error;      // 0: no fault
    XpResult result;
  };
  // A device error reads as "file not found", as it did before the copy
  // went through a temporary file.
  const Case cases[] = {{"stopped at 50 %", 50.0, 0, kXpErrStopped},
                        {"disk full", 0.0, ENOSPC, kXpErrDiskFull},
                        {"card pulled", 0.0, ENODEV, kXpErrFileNotFound}};
  for (const Copier& copier : kCopiers) {
    for (const Case& c : cases) {
      const std::string label = std::string(copier.name) + ", " + c.name;
      WriteBytes(destination, kOld);
      faults_.Clear();
      if (c.error != 0) {
        faults_.Add(Fault(SysCall::kWrite, TempPrefix(destination)).Errno(c.error).AfterBytes(10 * kMiB));
      }
      StopAtPercent observer(c.stopAt > 0 ? c.stopAt : 1000.0);
      XpResult result = copier.copy(source, destination, &observer);
      // XpCopyFileData keeps device errors as they are.
      if (std::string(copier.name) == "XpCopyFileData" && c.error == ENODEV) {
        EXPECT_EQ(result, kXpErrDeviceNotReady) << label;
      } else {
        EXPECT_EQ(result, c.result) << label;
      }
      EXPECT_EQ(ReadBytes(destination), kOld) << label;
      EXPECT_EQ(NamesIn(Work()), (std::set<std::string>{"new.bin", "photo.jpg"})) << label;
    }
  }
}

TEST_F(XpFileTransfer, AMoveAcrossFileSystemsThatFailsKeepsBothFiles) {
  const std::string bytes = Pattern(3 * kMiB, 'm');
  const fs::path source = File("src.bin", bytes);
  const fs::path destination = File("dst.bin", kOld);
  faults_.Add(Fault(SysCall::kRename, source.string()).Errno(EXDEV));
  faults_.Add(Fault(SysCall::kWrite, TempPrefix(destination)).Errno(ENOSPC).AfterBytes(kMiB));
  EXPECT_EQ(XpMoveFileWithProgress(ToXp(source), ToXp(destination), nullptr), kXpErrDiskFull);
  EXPECT_EQ(ReadBytes(source), bytes);
  EXPECT_EQ(ReadBytes(destination), kOld);
  EXPECT_TRUE(Temporaries(Work()).empty());
}

TEST_F(XpFileTransfer, ACopyKilledAtAnyMomentLeavesTheOldOrAWholeNewFileKill) {
  constexpr int kKills = 10;
  const std::string first = Pattern(50 * kMiB, 'a');
  const std::string second = Pattern(50 * kMiB, 'b');
  const fs::path a = File("a.bin", first);
  const fs::path b = File("b.bin", second);
  const fs::path destination = Work() / "photo.jpg";
  std::random_device seeds;
  const unsigned seed = seeds();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(0, 400);
  for (int kill = 0; kill < kKills; ++kill) {
    WriteBytes(destination, kOld);
    const std::set<std::string> before = Temporaries(Work());
    testsupport::ForkedChild child;
    // The child copies the two sources over the destination in turn until
    // it is killed.
    ASSERT_TRUE(child.Start([&](testsupport::ChildChannel& channel) {
      channel.SignalReady();
      for (int turn = 0;; ++turn) {
        const fs::path& source = turn % 2 == 0 ? a : b;
        if (XpCopyFileWithProgress(ToXp(source), ToXp(destination), nullptr) != kXpOk) return 1;
      }
    }));
    ASSERT_TRUE(child.WaitReady());
    const int delay = moment(random);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    child.Kill();
    EXPECT_EQ(child.Wait(), -1) << "the copy failed before the kill";
    const std::string content = ReadBytes(destination);
    const bool whole = content == kOld || content == first || content == second;
    EXPECT_TRUE(whole) << "seed " << seed << ", kill " << kill << " after " << delay
                       << " ms: " << content.size() << " bytes";
    std::set<std::string> left;
    for (const std::string& name : Temporaries(Work())) {
      if (before.count(name) == 0) left.insert(name);
    }
    EXPECT_LE(left.size(), 1u) << "seed " << seed << ", kill " << kill;
  }
  // A minute later the next copy into the folder clears what the kills
  // left.
  testsupport::AgedFiles aged(".kavotmp-", std::chrono::seconds(120));
  ASSERT_EQ(XpCopyFileWithProgress(ToXp(a), ToXp(Work() / "next.bin"), nullptr), kXpOk);
  EXPECT_TRUE(Temporaries(Work()).empty());
}

TEST_F(XpFileTransfer, ASparseFileKeepsItsHolesWithOrWithoutCopyRange) {
  const std::string data = Pattern(kMiB, 's');
  const uint64_t dataAt = 512 * kMiB;
  const fs::path source = Work() / "sparse.img";
  MakeSparse(source, kGiB, dataAt, data);
  const struct {
    const char* name;
    int copyRangeError;  // 0: copy_file_range as the kernel offers it
  } cases[] = {{"copy range", 0}, {"reads and writes", EXDEV}};
  for (const auto& c : cases) {
    faults_.Clear();
    if (c.copyRangeError != 0) faults_.Add(Fault(SysCall::kCopyFileRange, "").Errno(c.copyRangeError));
    const fs::path destination = Work() / (std::string(c.name) + ".img");
    RecordingObserver observer;
    ASSERT_EQ(XpCopyFileWithProgress(ToXp(source), ToXp(destination), &observer), kXpOk) << c.name;
    const struct stat copied = StatOf(destination);
    EXPECT_EQ(static_cast<uint64_t>(copied.st_size), kGiB) << c.name;
    // 512-byte blocks: a few MiB at most, where the data alone is 1 MiB.
    EXPECT_LE(static_cast<uint64_t>(copied.st_blocks) * 512, 4 * kMiB) << c.name;
    EXPECT_EQ(ReadAt(destination, dataAt, data.size()), data) << c.name;
    EXPECT_EQ(ReadAt(destination, dataAt - 4096, 4096), std::string(4096, '\0')) << c.name;
    EXPECT_EQ(ReadAt(destination, kGiB - 4096, 4096), std::string(4096, '\0')) << c.name;
    ASSERT_FALSE(observer.reports.empty()) << c.name;
    EXPECT_EQ(observer.reports.back(), 100.0) << c.name;
    EXPECT_TRUE(std::is_sorted(observer.reports.begin(), observer.reports.end())) << c.name;
  }
}

TEST_F(XpFileTransfer, WithoutCopyRangeTheBytesAndReportsAreTheSame) {
  const std::string bytes = Pattern(2 * kMiB + kMiB / 2, 'p');
  const fs::path source = File("photo.jpg", bytes);
  for (int error : {0, ENOSYS, EXDEV, EOPNOTSUPP}) {
    faults_.Clear();
    if (error != 0) faults_.Add(Fault(SysCall::kCopyFileRange, "").Errno(error));
    const fs::path destination = Work() / ("copy" + std::to_string(error));
    RecordingObserver observer;
    ASSERT_EQ(XpCopyFileWithProgress(ToXp(source), ToXp(destination), &observer), kXpOk) << error;
    EXPECT_EQ(ReadBytes(destination), bytes) << error;
    EXPECT_EQ(observer.reports, (std::vector<double>{40.0, 80.0, 100.0})) << error;
  }
}

TEST_F(XpFileTransfer, ANoReplaceCopyNeverReplacesAFileEvenOneThatAppearsMidway) {
  const fs::path source = File("new.bin", Pattern(4 * kMiB, 'n'));
  const fs::path existing = File("taken.bin", kOld);
  EXPECT_EQ(XpCopyFileWithProgress(ToXp(source), ToXp(existing), nullptr, true),
            kXpErrAlreadyExists);
  EXPECT_EQ(ReadBytes(existing), kOld);

  const fs::path appearing = Work() / "appearing.bin";
  ActAtPercent observer(50.0, [&] { WriteBytes(appearing, "theirs"); });
  EXPECT_EQ(XpCopyFileWithProgress(ToXp(source), ToXp(appearing), &observer, true),
            kXpErrAlreadyExists);
  EXPECT_EQ(ReadBytes(appearing), "theirs");
  EXPECT_EQ(NamesIn(Work()), (std::set<std::string>{"appearing.bin", "new.bin", "taken.bin"}));
}

TEST_F(XpFileTransfer, CopyIntoFolderTakesTheNextFreeNameWhenOneIsTakenMidway) {
  const std::string bytes = Pattern(kMiB, 'i');
  const fs::path source = File("IMG_0001.JPG", bytes);
  const fs::path folder = Dir("DCIM");
  WriteBytes(folder / "IMG_0001.JPG", kOld);
  XpSharedPtr<XpAbstractFile> file(new XpFile(ToXp(source)));
  ASSERT_EQ(file->Open(kXpOpenRead), kXpOk);
  // IMG_0001 (2).JPG is free when the copy begins and taken before it ends.
  ActAtPercent observer(100.0, [&] { WriteBytes(folder / "IMG_0001 (2).JPG", "theirs"); });
  XpString placed;
  ASSERT_EQ(XpCopyFileIntoFolder(file, ToXp(folder), true, &observer, &placed), kXpOk);
  EXPECT_EQ(file->Close(), kXpOk);
  EXPECT_EQ(placed, ToXp(folder / "IMG_0001 (3).JPG"));
  EXPECT_EQ(ReadBytes(folder / "IMG_0001 (3).JPG"), bytes);
  EXPECT_EQ(ReadBytes(folder / "IMG_0001 (2).JPG"), "theirs");
  EXPECT_EQ(ReadBytes(folder / "IMG_0001.JPG"), kOld);
  EXPECT_TRUE(Temporaries(folder).empty());
}

}  // namespace

// Records the ranges whose writeback was started, per descriptor's path.
class WritebackRecorder : public XpSysCallsWrapper {
 public:
  WritebackRecorder() : XpSysCallsWrapper(XpSysCalls::Current()) { XpSysCalls::Install(this); }
  ~WritebackRecorder() override { XpSysCalls::Install(&Target()); }

  int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) override {
    EXPECT_EQ(flags, static_cast<unsigned int>(SYNC_FILE_RANGE_WRITE));
    ranges.emplace_back(offset, count);
    return Target().SyncFileRange(fd, offset, count, flags);
  }

  std::vector<std::pair<off_t, off_t>> ranges;
};

TEST_F(XpFileTransfer, CopiesStartTheWritebackOfEveryByteAndARefusedHintChangesNothing) {
  const std::string bytes = Pattern(2 * kMiB + kMiB / 2, 'w');
  const fs::path source = File("photo.jpg", bytes);
  for (const Copier& copier : kCopiers) {
    for (int refusal : {0, EINVAL, EIO}) {
      const std::string label = std::string(copier.name) + ", refusal " + std::to_string(refusal);
      faults_.Clear();
      if (refusal != 0) faults_.Add(Fault(SysCall::kSyncFileRange, "").Errno(refusal));
      const fs::path destination = Work() / "copy.jpg";
      std::error_code ignored;
      fs::remove(destination, ignored);
      WritebackRecorder recorder;
      ASSERT_EQ(copier.copy(source, destination, nullptr), kXpOk) << label;
      EXPECT_EQ(ReadBytes(destination), bytes) << label;
      // The hinted ranges follow each other from 0 to the end of the copy.
      off_t covered = 0;
      for (const auto& [offset, count] : recorder.ranges) {
        EXPECT_EQ(offset, covered) << label;
        covered = offset + count;
      }
      EXPECT_EQ(covered, static_cast<off_t>(bytes.size())) << label;
    }
  }
}
