#include <gtest/gtest.h>

#include <fcntl.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/time/XpDateTime.h"

namespace {

using xdbtest::AccessorPtr;
using xdbtest::AlbumPtr;
using xdbtest::ContentPtr;

const std::set<std::string>& StoreFiles() {
  static const std::set<std::string> names{"XDB.DAT", "XDB.FRE", "IDS.BLK", "XDB.IND",
                                           "OAI.IND", "GUID.IND", "DATA.BLK"};
  return names;
}

// Counts, by file name, the opens of the store's files that were read from
// (an open for a sync only is not a read).
class StoreReads : public XpSysCallsWrapper {
 public:
  StoreReads() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  ~StoreReads() override { XpSysCalls::Install(previous_); }
  StoreReads(const StoreReads&) = delete;
  StoreReads& operator=(const StoreReads&) = delete;

  int Openat(int dirFd, const char* name, int flags, mode_t mode) override {
    const int fd = XpSysCallsWrapper::Openat(dirFd, name, flags, mode);
    if (fd >= 0 && StoreFiles().count(name) != 0) {
      names_[fd] = name;
    }
    return fd;
  }
  ssize_t Read(int fd, void* buffer, size_t count) override {
    auto opened = names_.find(fd);
    if (opened != names_.end()) {
      ++reads_[opened->second];
      names_.erase(opened);
    }
    return XpSysCallsWrapper::Read(fd, buffer, count);
  }
  int Close(int fd) override {
    names_.erase(fd);
    return XpSysCallsWrapper::Close(fd);
  }

  // The reads since the last call, by file.
  std::map<std::string, int> Take() { return std::exchange(reads_, {}); }

 private:
  XpSysCalls* previous_ = nullptr;
  std::map<int, std::string> names_;
  std::map<std::string, int> reads_;
};

class XdbCycleReads : public xdbtest::EngineTest {
 protected:
  static std::string FileOf(int32_t file) { return "DCIM/100ZXDCF/DSC0000" + std::to_string(file) + ".JPG"; }

  // Adds contents first to last to album, then commits.
  void AddAndCommit(XdbAccessor::IXdbAccessor& accessor, XdbAccessor::IAlbumInfo* album, int32_t first,
                    int32_t last) const {
    for (int32_t file = first; file <= last; ++file) {
      MakeFile(FileOf(file));
      ContentPtr content(accessor.CreateContent(album, CardPath(FileOf(file)), XpDateTime(2009, 3, 15, 9, file, 0), 0));
      ASSERT_NE(content, nullptr);
    }
    EXPECT_EQ(accessor.Commit(), 0);
  }
};

// The factory's open reads the database; the work copy's reopen and the
// commit's reopen find the same files and read nothing again, nor does a
// later cycle on the same accessor.
TEST_F(XdbCycleReads, TheStoreReadsEachFileOncePerAddAndCommitCycle) {
  // Made as new files, which no store of this process has seen.
  InitDatabase();
  std::filesystem::rename(DatabaseFolder(), Dir("made"));
  std::filesystem::copy(Dir("made"), DatabaseFolder());
  std::map<std::string, int> once;
  for (const std::string& name : StoreFiles()) {
    once[name] = 1;
  }
  StoreReads reads;
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AlbumPtr album(accessor->CreateAlbum(u"Trip"));
    ASSERT_NE(album, nullptr);
    AddAndCommit(*accessor, album.get(), 1, 3);
    EXPECT_EQ(reads.Take(), once);

    AddAndCommit(*accessor, album.get(), 4, 5);
    EXPECT_EQ(reads.Take(), (std::map<std::string, int>{}));
  }
  EXPECT_EQ(CheckDatabase(), "ok\n");
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(contents->GetCount(), 5);
}

}  // namespace
