#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskFile.h"
#include "outside/fsk/dbmanager/XdbJournal.h"
#include "outside/fsk/dbmanager/XdbJournaledFolder.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/testsupport/MediumWaits.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Snapshot = std::map<std::string, Bytes>;
using testsupport::Fault;
using testsupport::SysCall;
using Journal = ::XdbJournal;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes ReadDisk(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteDisk(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Snapshot SnapshotOf(const fs::path& folder) {
  Snapshot snapshot;
  for (const auto& entry : fs::directory_iterator(folder)) {
    snapshot[entry.path().filename().string()] = ReadDisk(entry.path());
  }
  return snapshot;
}

// Writes bytes at offset of path through the runtime's file calls.
int32_t Put(const std::string& path, int64_t offset, const Bytes& bytes) {
  FskFile file = nullptr;
  int32_t result = FskFileOpen(path.c_str(), kFskFilePermissionReadWrite, &file);
  if (result != 0) {
    return result;
  }
  result = FskFileSetPosition(file, offset);
  if (result == 0) {
    result = FskFileWrite(file, bytes.size(), bytes.data(), nullptr);
  }
  int32_t closed = FskFileClose(file);
  return result != 0 ? result : closed;
}

// The whole file at path through the runtime's file calls; empty with
// *error set when it cannot be read.
Bytes Get(const std::string& path, int32_t* error = nullptr) {
  FskFile file = nullptr;
  int32_t result = FskFileOpen(path.c_str(), kFskFilePermissionReadOnly, &file);
  Bytes bytes;
  int64_t size = 0;
  if (result == 0) {
    result = FskFileGetSize(file, &size);
  }
  if (result == 0) {
    bytes.resize(static_cast<size_t>(size));
    result = size == 0 ? 0 : FskFileRead(file, bytes.size(), bytes.data(), nullptr);
  }
  (void)FskFileClose(file);
  if (error != nullptr) {
    *error = result;
  }
  return result == 0 ? bytes : Bytes();
}

int32_t Cut(const std::string& path, int64_t size) {
  FskFile file = nullptr;
  int32_t result = FskFileOpen(path.c_str(), kFskFilePermissionReadWrite, &file);
  if (result == 0) {
    result = FskFileSetSize(file, size);
  }
  (void)FskFileClose(file);
  return result;
}

class XdbJournal : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    folder_ = Dir("DBFILES");
    WriteDisk(folder_ / "A.DAT", BytesOf("alpha"));
    WriteDisk(folder_ / "C.DAT", BytesOf("gamma"));
    WriteDisk(folder_ / "X.DAT", BytesOf("not ours"));
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // Changes A (in place and grown), makes B, removes C.
  void MakeChanges() {
    ASSERT_EQ(Put(Path("A.DAT"), 1, BytesOf("LPHA and more")), 0);
    ASSERT_EQ(FskFileCreate(Path("B.DAT").c_str()), 0);
    ASSERT_EQ(Put(Path("B.DAT"), 0, BytesOf("beta")), 0);
    ASSERT_EQ(FskFileDelete(Path("C.DAT").c_str()), 0);
  }

  Snapshot Changed() const {
    Snapshot expected = initial_;
    expected["A.DAT"] = BytesOf("aLPHA and more");
    expected["B.DAT"] = BytesOf("beta");
    expected.erase("C.DAT");
    return expected;
  }

  void Remember() { initial_ = SnapshotOf(folder_); }

  fs::path folder_;
  Snapshot initial_;
};

TEST_F(XdbJournal, EncodeDecodeRoundTrip) {
  std::vector<Journal::Change> changes = {
      {"A.DAT", false, 10, {{0, BytesOf("abc")}, {7, BytesOf("xyz")}}},
      {"GONE.IND", true, 0, {}},
      {"EMPTY.BLK", false, 0, {}},
  };
  std::vector<Journal::Change> decoded;
  ASSERT_TRUE(Journal::Decode(Journal::Encode(changes), &decoded));
  EXPECT_EQ(decoded, changes);
}

// Every journal short of complete, or damaged, is refused whole.
TEST_F(XdbJournal, DecodeRefusesIncompleteAndDamagedJournals) {
  std::vector<Journal::Change> changes = {{"A.DAT", false, 6, {{2, BytesOf("wxyz")}}}};
  Bytes good = Journal::Encode(changes);
  std::vector<Journal::Change> decoded;
  for (size_t length = 0; length < good.size(); ++length) {
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(Journal::Decode(cut, &decoded)) << "cut at " << length;
  }
  for (size_t at = 0; at < good.size(); ++at) {
    Bytes flipped = good;
    flipped[at] ^= 0x40;
    EXPECT_FALSE(Journal::Decode(flipped, &decoded)) << "byte " << at;
    EXPECT_TRUE(decoded.empty());
  }
  struct Case {
    const char* label;
    Journal::Change change;
  };
  const Case unsafe[] = {
      {"parent", {"..", false, 0, {}}},
      {"below", {"SUB/A.DAT", false, 0, {}}},
      {"absolute", {"/etc/passwd", true, 0, {}}},
      {"empty", {"", true, 0, {}}},
      {"range past size", {"A.DAT", false, 2, {{1, BytesOf("abc")}}}},
  };
  for (const Case& c : unsafe) {
    EXPECT_FALSE(Journal::Decode(Journal::Encode({c.change}), &decoded)) << c.label;
  }
}

TEST_F(XdbJournal, ChangesStayInMemoryUntilFlush) {
  Remember();
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  MakeChanges();
  EXPECT_EQ(Get(Path("A.DAT")), BytesOf("aLPHA and more"));
  EXPECT_EQ(Get(Path("B.DAT")), BytesOf("beta"));
  int32_t error = 0;
  Get(Path("C.DAT"), &error);
  EXPECT_NE(error, 0);
  EXPECT_TRUE(folder.HasChanges());
  EXPECT_EQ(SnapshotOf(folder_), initial_);

  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), Changed());
  EXPECT_FALSE(folder.HasChanges());
}

// A folder that is not journaled is written in place by the flush, with no
// journal ever made and no wait for the medium; a flush with nothing new
// writes nothing.
TEST_F(XdbJournal, WithoutAJournalAFlushWritesInPlaceAndWaitsForNothing) {
  Remember();
  XdbJournaledFolder folder;
  folder.SetJournaled(false);
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  MakeChanges();
  EXPECT_EQ(SnapshotOf(folder_), initial_);
  testsupport::MediumWaits waits;
  std::vector<std::string> stages;
  folder.SetStageHook([&stages](const char* stage) { stages.emplace_back(stage); });

  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), Changed());
  EXPECT_FALSE(folder.HasChanges());
  EXPECT_FALSE(folder.LastCompletion().pending);
  EXPECT_EQ(std::count(stages.begin(), stages.end(), "journal-written"), 0);
  EXPECT_EQ(stages.back(), "applied-all");
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), Changed());
  EXPECT_EQ(waits.Count(), 0u) << ::testing::PrintToString(waits.Entries());
}

TEST_F(XdbJournal, ShrinkingAndGrowingAcrossPagesIsWrittenExactly) {
  Bytes big(3 * XdbJournaledFolder::kPageSize + 100);
  for (size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<uint8_t>(i * 7);
  }
  WriteDisk(folder_ / "BIG.DAT", big);
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string() + "/"), kXpOk);
  ASSERT_EQ(Put(Path("BIG.DAT"), XdbJournaledFolder::kPageSize - 2, BytesOf("abcd")), 0);
  ASSERT_EQ(Cut(Path("BIG.DAT"), 2 * XdbJournaledFolder::kPageSize + 5), 0);
  ASSERT_EQ(Cut(Path("BIG.DAT"), 2 * XdbJournaledFolder::kPageSize + 50), 0);
  Bytes expected = Get(Path("BIG.DAT"));
  ASSERT_EQ(expected.size(), 2 * XdbJournaledFolder::kPageSize + 50);
  EXPECT_EQ(expected[2 * XdbJournaledFolder::kPageSize + 10], 0);
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(ReadDisk(folder_ / "BIG.DAT"), expected);
}

TEST_F(XdbJournal, UnmountWithoutFlushDropsChanges) {
  Remember();
  {
    XdbJournaledFolder folder;
    ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
    MakeChanges();
  }
  EXPECT_EQ(SnapshotOf(folder_), initial_);
  EXPECT_EQ(Get(Path("A.DAT")), BytesOf("alpha"));
}

TEST_F(XdbJournal, FlushWithoutChangesWritesNothing) {
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  EXPECT_EQ(Get(Path("A.DAT")), BytesOf("alpha"));
  testsupport::FaultInjection faults;
  int writes = faults.Add(Fault(SysCall::kWrite, folder_.string()).Errno(EIO));
  int opens = faults.Add(Fault(SysCall::kOpen, folder_.string()).Errno(EIO).ForWriting());
  int unlinks = faults.Add(Fault(SysCall::kUnlink, folder_.string()).Errno(EIO));
  EXPECT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(faults.Hits(writes) + faults.Hits(opens) + faults.Hits(unlinks), 0);
}

TEST_F(XdbJournal, FlushRefusedWhenNothingIsMounted) {
  XdbJournaledFolder folder;
  EXPECT_EQ(folder.Flush(), kXpErrNotOpen);
  EXPECT_NE(folder.Mount((folder_ / "A.DAT").string()), kXpOk);
  EXPECT_NE(folder.Mount((folder_ / "MISSING").string()), kXpOk);
  EXPECT_FALSE(folder.IsMounted());
}

TEST_F(XdbJournal, ReadOnlyHandlesAndPathsOutsideThePlainFilesAreRefused) {
  fs::create_directory(folder_ / "SUB");
  WriteDisk(folder_ / "SUB" / "IN.DAT", BytesOf("inner"));
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  FskFile file = nullptr;
  ASSERT_EQ(FskFileOpen(Path("A.DAT").c_str(), kFskFilePermissionReadOnly, &file), 0);
  EXPECT_NE(FskFileWrite(file, 1, "z", nullptr), 0);
  EXPECT_NE(FskFileSetSize(file, 0), 0);
  EXPECT_EQ(FskFileClose(file), 0);
  int32_t error = 0;
  for (const char* name : {"SUB/IN.DAT", "SUB", "XDB.JNL"}) {
    Get(Path(name), &error);
    EXPECT_NE(error, 0) << name;
  }
  EXPECT_NE(FskFileCreate(Path("XDB.JNL").c_str()), 0);
  EXPECT_NE(FskFileCreate(Path("A.DAT").c_str()), 0);
  EXPECT_FALSE(folder.HasChanges());
}

TEST_F(XdbJournal, RemovedThenCreatedFileIsNewAndOldHandlesDoNotReachIt) {
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  FskFile old = nullptr;
  ASSERT_EQ(FskFileOpen(Path("A.DAT").c_str(), kFskFilePermissionReadWrite, &old), 0);
  ASSERT_EQ(FskFileDelete(Path("A.DAT").c_str()), 0);
  EXPECT_NE(FskFileDelete(Path("A.DAT").c_str()), 0);
  ASSERT_EQ(FskFileCreate(Path("A.DAT").c_str()), 0);
  ASSERT_EQ(FskFileWrite(old, 3, "old", nullptr), 0);
  EXPECT_EQ(FskFileClose(old), 0);
  EXPECT_EQ(Get(Path("A.DAT")), Bytes());
  ASSERT_EQ(Put(Path("A.DAT"), 0, BytesOf("new")), 0);
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(ReadDisk(folder_ / "A.DAT"), BytesOf("new"));
}

// Records, for each path, whether its last write came before its last sync.
class SyncRecorder : public XpSysCallsWrapper {
 public:
  SyncRecorder() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  ~SyncRecorder() override { XpSysCalls::Install(previous_); }
  SyncRecorder(const SyncRecorder&) = delete;
  SyncRecorder& operator=(const SyncRecorder&) = delete;

  int Open(const char* path, int flags, mode_t mode) override {
    int fd = XpSysCallsWrapper::Open(path, flags, mode);
    if (fd >= 0) {
      paths_[fd] = path;
      if ((flags & O_CREAT) != 0) {
        Dirty(Parent(path));
      }
    }
    return fd;
  }
  int Openat(int dirFd, const char* name, int flags, mode_t mode) override {
    int fd = XpSysCallsWrapper::Openat(dirFd, name, flags, mode);
    if (fd >= 0) {
      std::string path = Key(paths_[dirFd]) + "/" + name;
      paths_[fd] = path;
      if ((flags & O_CREAT) != 0) {
        Dirty(Parent(path));
      }
    }
    return fd;
  }
  int Close(int fd) override {
    paths_.erase(fd);
    return XpSysCallsWrapper::Close(fd);
  }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    Dirty(paths_[fd]);
    return XpSysCallsWrapper::Write(fd, buffer, count);
  }
  ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override {
    Dirty(paths_[fd]);
    return XpSysCallsWrapper::Pwrite(fd, buffer, count, offset);
  }
  int Ftruncate(int fd, off_t length) override {
    Dirty(paths_[fd]);
    return XpSysCallsWrapper::Ftruncate(fd, length);
  }
  int Unlink(const char* path) override {
    Dirty(Parent(path));
    return XpSysCallsWrapper::Unlink(path);
  }
  int Rename(const char* from, const char* to, unsigned int flags) override {
    Dirty(Parent(from));
    Dirty(Parent(to));
    return XpSysCallsWrapper::Rename(from, to, flags);
  }
  int Fsync(int fd) override {
    int result = XpSysCallsWrapper::Fsync(fd);
    if (result == 0) {
      synced_[Key(paths_[fd])] = ++clock_;
    }
    return result;
  }

  // Whether path had a sync after its last write (or any sync when it was
  // never written).
  bool SyncedAfterLastWrite(const std::string& path) const {
    auto written = written_.find(Key(path));
    auto synced = synced_.find(Key(path));
    return synced != synced_.end() && (written == written_.end() || synced->second > written->second);
  }
  bool Written(const std::string& path) const { return written_.count(Key(path)) != 0; }

 private:
  static std::string Key(const std::string& path) {
    std::string key = path;
    while (key.size() > 1 && key.back() == '/') {
      key.pop_back();
    }
    return key;
  }
  static std::string Parent(const std::string& path) { return fs::path(path).parent_path().string(); }
  void Dirty(const std::string& path) { written_[Key(path)] = ++clock_; }

  XpSysCalls* previous_ = nullptr;
  std::map<int, std::string> paths_;
  std::map<std::string, uint64_t> written_;
  std::map<std::string, uint64_t> synced_;
  uint64_t clock_ = 0;
};

TEST_F(XdbJournal, FlushSyncsEveryFileAndTheFolderAfterTheirLastWrite) {
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  SyncRecorder recorder;
  MakeChanges();
  ASSERT_EQ(folder.Flush(), kXpOk);
  for (const char* name : {"A.DAT", "B.DAT"}) {
    EXPECT_TRUE(recorder.Written(Path(name))) << name;
    EXPECT_TRUE(recorder.SyncedAfterLastWrite(Path(name))) << name;
  }
  EXPECT_TRUE(recorder.SyncedAfterLastWrite(folder_.string()));
  EXPECT_FALSE(recorder.Written(Path("X.DAT")));
  EXPECT_FALSE(fs::exists(folder_ / "XDB.JNL"));
}

TEST_F(XdbJournal, UnchangedFilesAreSyncedToo) {
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  EXPECT_EQ(Get(Path("C.DAT")), BytesOf("gamma"));
  SyncRecorder recorder;
  ASSERT_EQ(Put(Path("A.DAT"), 0, BytesOf("A")), 0);
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_TRUE(recorder.SyncedAfterLastWrite(Path("C.DAT")));
  EXPECT_FALSE(recorder.Written(Path("C.DAT")));
}

TEST_F(XdbJournal, FlushAfterAFlushSyncsOnlyWhatWasNotSyncedSince) {
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  ASSERT_EQ(Put(Path("A.DAT"), 0, BytesOf("A")), 0);
  ASSERT_EQ(folder.Flush(), kXpOk);
  {
    SyncRecorder recorder;
    ASSERT_EQ(folder.Flush(), kXpOk);
    EXPECT_FALSE(recorder.SyncedAfterLastWrite(Path("A.DAT")));
    EXPECT_FALSE(recorder.SyncedAfterLastWrite(folder_.string()));
  }
  // A file first read after the last flush is synced by the next one.
  EXPECT_EQ(Get(Path("C.DAT")), BytesOf("gamma"));
  {
    SyncRecorder recorder;
    ASSERT_EQ(folder.Flush(), kXpOk);
    EXPECT_TRUE(recorder.SyncedAfterLastWrite(Path("C.DAT")));
    EXPECT_TRUE(recorder.SyncedAfterLastWrite(folder_.string()));
  }
  // A new mount knows nothing of earlier syncs.
  folder.Unmount();
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  EXPECT_EQ(Get(Path("A.DAT")), BytesOf("Alpha"));
  SyncRecorder recorder;
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_TRUE(recorder.SyncedAfterLastWrite(Path("A.DAT")));
}

TEST_F(XdbJournal, FullMediumOnTheJournalFailsFlushAndKeepsChanges) {
  Remember();
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  MakeChanges();
  {
    testsupport::FaultInjection faults;
    int full = faults.Add(Fault(SysCall::kWrite, Path("XDB.JN")).Errno(ENOSPC).AfterBytes(20));
    EXPECT_NE(folder.Flush(), kXpOk);
    EXPECT_GT(faults.Hits(full), 0);
  }
  EXPECT_EQ(SnapshotOf(folder_), initial_);
  EXPECT_TRUE(folder.HasChanges());
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), Changed());
}

TEST_F(XdbJournal, FailedSyncOfTheJournalFailsFlushAndKeepsChanges) {
  Remember();
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  MakeChanges();
  {
    testsupport::FaultInjection faults;
    faults.Add(Fault(SysCall::kFsync, Path("XDB.JN")).Errno(EIO));
    EXPECT_NE(folder.Flush(), kXpOk);
  }
  EXPECT_EQ(SnapshotOf(folder_), initial_);
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), Changed());
}

TEST_F(XdbJournal, FailureWhileApplyingIsReplayedAtTheNextMount) {
  Remember();
  {
    XdbJournaledFolder folder;
    ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
    MakeChanges();
    testsupport::FaultInjection faults;
    int failed = faults.Add(Fault(SysCall::kWrite, Path("B.DAT")).Errno(EIO));
    EXPECT_EQ(folder.Flush(), kXpOk) << "committed";
    EXPECT_TRUE(folder.LastCompletion().pending);
    EXPECT_GT(faults.Hits(failed), 0);
  }
  ASSERT_TRUE(fs::exists(folder_ / "XDB.JNL"));
  Snapshot expected = Changed();
  XdbJournaledFolder again;
  ASSERT_EQ(again.Mount(folder_.string()), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), expected);
}

TEST_F(XdbJournal, FailureWhileApplyingLeavesALaterFlushToFinish) {
  Remember();
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  MakeChanges();
  {
    testsupport::FaultInjection faults;
    faults.Add(Fault(SysCall::kFtruncate, Path("A.DAT")).Errno(EIO));
    EXPECT_EQ(folder.Flush(), kXpOk) << "committed";
    EXPECT_TRUE(folder.LastCompletion().pending);
  }
  ASSERT_EQ(Put(Path("B.DAT"), 4, BytesOf("!")), 0);
  ASSERT_EQ(folder.Flush(), kXpOk);
  Snapshot expected = Changed();
  expected["B.DAT"] = BytesOf("beta!");
  EXPECT_EQ(SnapshotOf(folder_), expected);
}

// Each injected failure of one flush, before and after the commit (the
// journal renamed and its folder synced): the flush's answer, and what a
// later mount finds, the old state or the new one.
TEST_F(XdbJournal, FailuresBeforeTheCommitLeaveNothingAndAfterItCommit) {
  const std::string dir = folder_.string();
  struct Row {
    const char* name;
    std::vector<Fault> faults;
    bool committed;
    bool pending;
    // The failing call that a pending completion names.
    const char* call;
  };
  const Row rows[] = {
      {"journal write, disk full", {Fault(SysCall::kWrite, Path("XDB.JN")).Errno(ENOSPC).AfterBytes(20)}, false,
       false, ""},
      {"journal sync", {Fault(SysCall::kFsync, Path("XDB.JN")).Errno(EIO)}, false, false, ""},
      {"journal rename", {Fault(SysCall::kRename, Path("XDB.JN")).Errno(EIO)}, false, false, ""},
      {"folder sync after the rename", {Fault(SysCall::kFsync, dir).Errno(EIO).FromCall(2).Times(1)}, false, false,
       ""},
      {"folder sync after the rename, journal kept",
       {Fault(SysCall::kFsync, dir).Errno(EIO).FromCall(2).Times(1),
        Fault(SysCall::kUnlink, Path("XDB.JNL")).Errno(EIO).Times(1)},
       true, false, ""},
      {"apply write", {Fault(SysCall::kWrite, Path("B.DAT")).Errno(EIO)}, true, true, "write"},
      {"apply size", {Fault(SysCall::kFtruncate, Path("A.DAT")).Errno(EIO)}, true, true, "ftruncate"},
      {"file sync", {Fault(SysCall::kFsync, Path("A.DAT")).Errno(EIO)}, true, true, "fsync"},
      {"folder sync after applying", {Fault(SysCall::kFsync, dir).Errno(EIO).FromCall(5)}, true, true, "fsync"},
      {"journal removal", {Fault(SysCall::kUnlink, Path("XDB.JNL")).Errno(EIO)}, true, true, "unlink"},
  };
  for (const Row& row : rows) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    WriteDisk(folder_ / "A.DAT", BytesOf("alpha"));
    WriteDisk(folder_ / "C.DAT", BytesOf("gamma"));
    Remember();
    {
      XdbJournaledFolder folder;
      ASSERT_EQ(folder.Mount(dir), kXpOk);
      MakeChanges();
      testsupport::FaultInjection faults;
      int hits = 0;
      std::vector<int> ids;
      for (const Fault& fault : row.faults) {
        ids.push_back(faults.Add(fault));
      }
      XpResult flushed = folder.Flush();
      for (int id : ids) {
        hits += faults.Hits(id) > 0 ? 1 : 0;
      }
      EXPECT_EQ(hits, static_cast<int>(ids.size())) << row.name;
      EXPECT_EQ(XpSucceeded(flushed), row.committed) << row.name;
      const XdbJournaledFolder::Completion& completion = folder.LastCompletion();
      EXPECT_EQ(completion.pending, row.pending) << row.name;
      if (row.pending) {
        EXPECT_NE(completion.result, kXpOk) << row.name;
        EXPECT_EQ(completion.failure.call, row.call) << row.name;
        EXPECT_EQ(completion.failure.error, EIO) << row.name;
      }
    }
    XdbJournaledFolder again;
    ASSERT_EQ(again.Mount(dir), kXpOk) << row.name;
    EXPECT_EQ(SnapshotOf(folder_), row.committed ? Changed() : initial_) << row.name;
  }
}

// While a committed flush waits for its completion, a flush that cannot
// complete it commits nothing new.
TEST_F(XdbJournal, PendingCompletionThatFailsAgainCommitsNoNewChange) {
  Remember();
  {
    XdbJournaledFolder folder;
    ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
    MakeChanges();
    testsupport::FaultInjection faults;
    faults.Add(Fault(SysCall::kWrite, Path("B.DAT")).Errno(EIO));
    ASSERT_EQ(folder.Flush(), kXpOk);
    ASSERT_TRUE(folder.LastCompletion().pending);
    ASSERT_TRUE(fs::exists(folder_ / "C.DAT")) << "not yet removed on the disk";
    int32_t error = 0;
    Get(Path("C.DAT"), &error);
    EXPECT_NE(error, 0) << "removed all the same";
    EXPECT_EQ(folder.Flush(), kXpOk) << "nothing new: still committed";
    EXPECT_TRUE(folder.LastCompletion().pending);
    ASSERT_EQ(Put(Path("A.DAT"), 0, BytesOf("A")), 0);
    EXPECT_NE(folder.Flush(), kXpOk) << "the new change is not committed";
    EXPECT_TRUE(folder.HasChanges());
  }
  XdbJournaledFolder again;
  ASSERT_EQ(again.Mount(folder_.string()), kXpOk);
  EXPECT_EQ(SnapshotOf(folder_), Changed());
}

// A journal left by a crash is applied only when complete.
TEST_F(XdbJournal, MountReplaysACompleteJournalAndDropsAnyOther) {
  std::vector<Journal::Change> changes = {
      {"A.DAT", false, 3, {{0, BytesOf("AL")}}},
      {"C.DAT", true, 0, {}},
      {"N.DAT", false, 2, {{0, BytesOf("nn")}}},
  };
  Bytes good = Journal::Encode(changes);
  Bytes flipped = good;
  flipped[Journal::kHeaderSize + 3] ^= 1;
  struct Case {
    const char* label;
    const char* name;
    Bytes journal;
    bool applied;
  };
  const Case cases[] = {
      {"complete", "XDB.JNL", good, true},
      {"cut short", "XDB.JNL", Bytes(good.begin(), good.end() - 1), false},
      {"header only", "XDB.JNL", Bytes(good.begin(), good.begin() + Journal::kHeaderSize), false},
      {"bad crc", "XDB.JNL", flipped, false},
      {"not renamed", "XDB.JNT", good, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    WriteDisk(folder_ / "A.DAT", BytesOf("alpha"));
    WriteDisk(folder_ / "C.DAT", BytesOf("gamma"));
    Snapshot before = SnapshotOf(folder_);
    WriteDisk(folder_ / c.name, c.journal);
    XdbJournaledFolder folder;
    ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
    Snapshot expected = before;
    if (c.applied) {
      expected = {{"A.DAT", BytesOf("ALp")}, {"N.DAT", BytesOf("nn")}};
    }
    EXPECT_EQ(SnapshotOf(folder_), expected);
  }
}

TEST_F(XdbJournal, FileRemovedBehindOurBackIsWrittenWholeAgain) {
  Bytes big(2 * XdbJournaledFolder::kPageSize + 9, 0x5A);
  WriteDisk(folder_ / "OAI.IND", big);
  XdbJournaledFolder folder;
  ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
  ASSERT_EQ(Get(Path("OAI.IND")), big);
  fs::remove(folder_ / "OAI.IND");
  EXPECT_EQ(Get(Path("OAI.IND")), big);
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(ReadDisk(folder_ / "OAI.IND"), big);

  ASSERT_EQ(Put(Path("OAI.IND"), XdbJournaledFolder::kPageSize, BytesOf("Q")), 0);
  fs::remove(folder_ / "OAI.IND");
  big[XdbJournaledFolder::kPageSize] = 'Q';
  ASSERT_EQ(folder.Flush(), kXpOk);
  EXPECT_EQ(ReadDisk(folder_ / "OAI.IND"), big);
}

TEST_F(XdbJournal, SecondMountOfAFolderUnmountsTheFirstAndDropsItsChanges) {
  XdbJournaledFolder first;
  ASSERT_EQ(first.Mount(folder_.string()), kXpOk);
  ASSERT_EQ(Put(Path("A.DAT"), 0, BytesOf("A")), 0);
  ASSERT_EQ(first.Flush(), kXpOk);
  ASSERT_EQ(Put(Path("A.DAT"), 1, BytesOf("L")), 0);
  XdbJournaledFolder second;
  ASSERT_EQ(second.Mount(folder_.string() + "/"), kXpOk);
  EXPECT_FALSE(first.IsMounted());
  EXPECT_EQ(first.Flush(), kXpErrNotOpen);
  EXPECT_EQ(Get(Path("A.DAT")), BytesOf("Alpha"));
  first.Unmount();
  EXPECT_EQ(Get(Path("A.DAT")), BytesOf("Alpha"));
  EXPECT_TRUE(second.IsMounted());
}

// A child process flushes once, makes more changes and stops at a stage of
// its second flush, where the parent kills it. Once the journal is
// complete, the next mount finds the second flush; never a mix.
TEST_F(XdbJournal, LookingForAJournalThatIsNotThereKeepsTheFailureRecord) {
  // The cause of an earlier failure must survive the recovery that follows.
  XpRecordSysFailure("write", Path("A.DAT"), ENOSPC);
  bool replayed = true;
  EXPECT_EQ(Journal::Recover(folder_.string() + "/", &replayed), kXpOk);
  EXPECT_FALSE(replayed);
  EXPECT_EQ(XpDescribeSysFailure(XpLastSysFailure()), "write " + Path("A.DAT") + ": No space left on device");
  XpClearSysFailure();
}

TEST_F(XdbJournal, KillAtEachStageOfFlushRecoversTheFlushThatWasRunning) {
  for (const char* stage : {"journal-written", "applied-one", "applied-all"}) {
    SCOPED_TRACE(stage);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    WriteDisk(folder_ / "A.DAT", BytesOf("alpha"));
    WriteDisk(folder_ / "C.DAT", BytesOf("gamma"));
    WriteDisk(folder_ / "X.DAT", BytesOf("not ours"));
    Remember();
    std::string target = stage;
    testsupport::ForkedChild child;
    ASSERT_TRUE(child.Start([&](testsupport::ChildChannel& channel) {
      XdbJournaledFolder folder;
      if (folder.Mount(folder_.string()) != kXpOk) {
        return 1;
      }
      MakeChanges();
      folder.SetStageHook([&](const char* at) {
        if (target == at) {
          channel.SignalReady();
          channel.WaitForGo();
        }
      });
      (void)folder.Flush();
      return 2;
    }));
    ASSERT_TRUE(child.WaitReady());
    child.Kill();
    EXPECT_EQ(child.Wait(), -1);
    ASSERT_TRUE(fs::exists(folder_ / "XDB.JNL"));
    XdbJournaledFolder folder;
    ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
    EXPECT_EQ(SnapshotOf(folder_), Changed());
  }
}

constexpr int kSeeds = 50;
constexpr int kRandomFiles = 4;
constexpr int kLargestOffset = 3 * 4096;
constexpr int kLongestWrite = 5000;

// One flush's worth of random changes to files F0 to F3: writes (making
// the file when missing), cuts and removals. The model follows them; with
// write, the runtime's file calls make them too.
void RandomChanges(std::mt19937& random, Snapshot* model, bool write, const fs::path& folder) {
  int count = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < count; ++i) {
    std::string name = "F" + std::to_string(random() % kRandomFiles) + ".DAT";
    std::string path = (folder / name).string();
    auto kind = random() % 4;
    bool exists = model->count(name) != 0;
    if (kind == 0 && exists) {
      model->erase(name);
      if (write) {
        (void)FskFileDelete(path.c_str());
      }
      continue;
    }
    if (kind == 1 && exists) {
      size_t size = random() % (model->at(name).size() + 1);
      model->at(name).resize(size);
      if (write) {
        (void)Cut(path, static_cast<int64_t>(size));
      }
      continue;
    }
    size_t offset = random() % kLargestOffset;
    Bytes bytes(1 + random() % kLongestWrite);
    for (uint8_t& byte : bytes) {
      byte = static_cast<uint8_t>(random());
    }
    Bytes& file = (*model)[name];
    file.resize(std::max(file.size(), offset + bytes.size()), 0);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    if (write) {
      if (!exists) {
        (void)FskFileCreate(path.c_str());
      }
      (void)Put(path, static_cast<int64_t>(offset), bytes);
    }
  }
}

// A child makes random changes and flushes them over and over, reporting
// each completed flush through a pipe; the parent kills it at a random
// moment. The folder then holds the last reported flush or the one that
// was running, whole, next to the foreign file.
TEST_F(XdbJournal, KillAtRandomMomentsRecoversAFlushedState) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    WriteDisk(folder_ / "X.DAT", BytesOf("not ours"));
    int reports[2];
    ASSERT_EQ(pipe2(reports, O_CLOEXEC), 0);
    testsupport::ForkedChild child;
    ASSERT_TRUE(child.Start([&](testsupport::ChildChannel&) {
      close(reports[0]);
      XdbJournaledFolder folder;
      if (folder.Mount(folder_.string()) != kXpOk) {
        return 1;
      }
      std::mt19937 random(static_cast<uint32_t>(seed));
      Snapshot model;
      for (int32_t flush = 1;; ++flush) {
        RandomChanges(random, &model, true, folder_);
        if (folder.Flush() != kXpOk || write(reports[1], &flush, sizeof flush) != sizeof flush) {
          return 2;
        }
      }
    }));
    close(reports[1]);
    std::mt19937 moments(static_cast<uint32_t>(seed) * 7919U);
    int32_t wanted = 1 + static_cast<int32_t>(moments() % 5);
    int32_t reported = 0;
    while (reported < wanted && read(reports[0], &reported, sizeof reported) == sizeof reported) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(moments() % 3000));
    child.Kill();
    EXPECT_EQ(child.Wait(), -1);
    int32_t last = 0;
    while (read(reports[0], &last, sizeof last) == sizeof last) {
      reported = last;
    }
    close(reports[0]);

    std::mt19937 random(static_cast<uint32_t>(seed));
    Snapshot model;
    std::vector<Snapshot> flushed;
    for (int32_t flush = 1; flush <= reported + 1; ++flush) {
      RandomChanges(random, &model, false, folder_);
      Snapshot withForeign = model;
      withForeign["X.DAT"] = BytesOf("not ours");
      flushed.push_back(withForeign);
    }
    XdbJournaledFolder folder;
    ASSERT_EQ(folder.Mount(folder_.string()), kXpOk);
    Snapshot found = SnapshotOf(folder_);
    bool lastReported = found == flushed[static_cast<size_t>(reported) - 1];
    bool running = found == flushed[static_cast<size_t>(reported)];
    EXPECT_TRUE(lastReported || running) << "after flush " << reported;
  }
}

}  // namespace
