#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/RecordingPauses.h"
#include "camerastore/tests/xdb/XdbObjectsFixture.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbCommitHooks.h"
#include "camerastore/xdb/XdbException.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/tests/fs/FsTestFiles.h"

namespace xdbtest {

inline constexpr char kDatabase[] = "DBFILES";
inline constexpr char kWorkCopy[] = "DBFILES.tmp";
inline constexpr char kBackup[] = "DBFILES.bak";

template <typename Object>
struct Releaser {
  void operator()(Object* object) const { object->Release(); }
};
template <typename Object>
using Owned = std::unique_ptr<Object, Releaser<Object>>;

// The album database of a card in a folder of the test, the scripted
// machine behind it, recorded pauses and log files in the test's own
// temporary folder.
class AccessorTest : public ObjectsTest {
 protected:
  void SetUp() override {
    ObjectsTest::SetUp();
    SetEnv("TMPDIR", Dir("tmp").string());
    previousClock_ = XdbAccessor::XdbSetWaitClock(&pauses_);
  }

  void TearDown() override {
    XdbAccessor::XdbSetWaitClock(previousClock_);
    XdbAccessor::XdbSetStepObserver({});
    ObjectsTest::TearDown();
  }

  void AnswerOpens(int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      scripted_->Answer("Master.open", ScriptedAnswer::Return(ScriptedValue::Integer(kXdbOpened)));
    }
  }

  // A database folder of three files, the first naming which copy it is.
  void MakeDatabase(const std::string& folder, const std::string& marker) const {
    fstest::WriteBytes(Card() / folder / "marker", marker);
    fstest::WriteBytes(Card() / folder / "data.bin", "0123456789");
    fstest::WriteBytes(Card() / folder / "more.bin", "abcdefghij");
  }

  std::string Marker(const std::string& folder) const { return fstest::ReadBytes(Card() / folder / "marker"); }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(Card() / relative); }

  // The database folders on the card, sorted.
  std::vector<std::string> Folders() const {
    std::vector<std::string> names;
    for (const char* name : {kDatabase, kBackup, kWorkCopy}) {
      if (std::filesystem::is_directory(Card() / name)) {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  XpString FolderPath(const std::string& folder) const { return CardRoot() + fstest::ToXp(folder) + u"/"; }

  // The factory on the card, the open answered.
  Owned<XdbAccessor::IXdbAccessor> OpenAccessor() {
    AnswerOpens(1);
    XdbAccessor::IXdbAccessor* accessor = nullptr;
    EXPECT_EQ(XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()), kXpOk);
    Mark();
    return Owned<XdbAccessor::IXdbAccessor>(accessor);
  }

  // The log files of the temporary folder by name, with their text.
  std::map<std::string, std::string> LogFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(Dir("tmp"))) {
      files[entry.path().filename().string()] = fstest::ReadBytes(entry.path());
    }
    return files;
  }

  // The code an operation raised; 0 when it raised nothing.
  template <typename Operation>
  [[nodiscard]] static XpResult Raised(Operation&& operation) {
    try {
      operation();
    } catch (const XdbAccessor::XdbException& error) {
      return error.GetCode();
    }
    return kXpOk;
  }

  RecordingPauses pauses_;
  std::vector<uint32_t>& sleeps_ = pauses_.milliseconds;

 private:
  XpWaitClock* previousClock_ = nullptr;
};

// Logs the renames ("exchange" for one of two names at once) and fsyncs of
// the seam, the fsyncs by the path their descriptor was opened with.
class SeamLog : public XpSysCallsWrapper {
 public:
  SeamLog() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  ~SeamLog() override { XpSysCalls::Install(previous_); }
  SeamLog(const SeamLog&) = delete;
  SeamLog& operator=(const SeamLog&) = delete;

  int Open(const char* path, int flags, mode_t mode) override {
    const int fd = XpSysCallsWrapper::Open(path, flags, mode);
    if (fd >= 0) {
      paths_[fd] = path;
    }
    return fd;
  }
  int Rename(const char* from, const char* to, unsigned int flags) override {
    const int result = XpSysCallsWrapper::Rename(from, to, flags);
    const char* kind = (flags & RENAME_EXCHANGE) != 0 ? "exchange " : "rename ";
    entries_.push_back(kind + std::string(from) + " " + std::string(to) + (result == 0 ? "" : " failed"));
    return result;
  }
  int Fsync(int fd) override {
    entries_.push_back("fsync " + paths_[fd]);
    return XpSysCallsWrapper::Fsync(fd);
  }
  int Syncfs(int fd) override {
    entries_.push_back("syncfs " + paths_[fd]);
    return XpSysCallsWrapper::Syncfs(fd);
  }
  const std::vector<std::string>& Entries() const { return entries_; }
  // The calls that wait for the medium.
  size_t Waits() const {
    return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(), [](const std::string& entry) {
      return entry.rfind("fsync ", 0) == 0 || entry.rfind("syncfs ", 0) == 0;
    }));
  }

 private:
  XpSysCalls* previous_ = nullptr;
  std::map<int, std::string> paths_;
  std::vector<std::string> entries_;
};

}  // namespace xdbtest
