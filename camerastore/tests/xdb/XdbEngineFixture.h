#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/RecordingPauses.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbCommitHooks.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbHost.h"
#include "fsk/FskMain.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/text/XpString.h"

namespace xdbtest {

inline constexpr char kEngineDatabase[] = "DBFILES";
inline constexpr char kEngineWorkCopy[] = "DBFILES.tmp";
inline constexpr char kEngineBackup[] = "DBFILES.bak";

// What k2xdb printed and its exit code.
struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

template <typename Object>
struct EngineReleaser {
  void operator()(Object* object) const { object->Release(); }
};
using AccessorPtr = std::unique_ptr<XdbAccessor::IXdbAccessor, EngineReleaser<XdbAccessor::IXdbAccessor>>;
using AlbumPtr = std::unique_ptr<XdbAccessor::IAlbumInfo, EngineReleaser<XdbAccessor::IAlbumInfo>>;
using ContentPtr = std::unique_ptr<XdbAccessor::IContentInfo, EngineReleaser<XdbAccessor::IContentInfo>>;

// The glue, its objects and the accessor against the runtime's own
// "dbManager" machine (grammars beside the test program), with a camera
// card in a folder of the test. Pauses of the commit are recorded, never
// slept.
class EngineTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("KAVO_GRAMMAR_DIR", "");
    SetEnv(XdbStore::kLimitVariable, "");
    SetEnv(XdbStore::kStopAtVariable, "");
    FskMainReset();
    XdbConnectionMachine() = nullptr;
    Dir("card");
    previousClock_ = XdbAccessor::XdbSetWaitClock(&pauses_);
  }

  void TearDown() override {
    XdbAccessor::XdbSetWaitClock(previousClock_);
    XdbAccessor::XdbSetStepObserver({});
    if (FskMainStartCount() > 0) {
      XdbRuntimeStop();
    }
    *XdbMasterSlot() = FskSlot();
    FskMainReset();
    XdbConnectionMachine() = nullptr;
    HermeticTest::TearDown();
  }

  std::filesystem::path Card() const { return Dir("card"); }
  // The card's folder with its trailing '/'.
  XpString CardRoot() const { return fstest::ToXp(Card()) + u"/"; }
  XpString CardPath(const std::string& relative) const { return fstest::ToXp(Card() / relative); }
  std::string DatabaseFolder() const { return (Card() / kEngineDatabase).string(); }
  void MakeFile(const std::string& relative) const { fstest::WriteBytes(Card() / relative, "x"); }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(Card() / relative); }

  // Puts the card's folder in the fake mount table as a FAT volume.
  void MountCard() const {
    testsupport::FakeSysfs fake(Root() / "sysroot");
    fake.AddMount({Card().string(), "vfat", "/dev/sdb1", 8, 17});
  }

  // The database folders on the card, sorted.
  std::vector<std::string> Folders() const {
    std::vector<std::string> names;
    for (const char* name : {kEngineDatabase, kEngineBackup, kEngineWorkCopy}) {
      if (std::filesystem::is_directory(Card() / name)) {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // k2xdb in this process; the runtime must be stopped.
  static ToolRun Tool(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    K2xdbTool tool(out, err);
    ToolRun run;
    run.code = tool.Run(arguments);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  // An empty database in "DBFILES", made by k2xdb.
  void InitDatabase() const {
    const ToolRun run = Tool({"init", DatabaseFolder()});
    ASSERT_EQ(run.code, K2xdbTool::kDone) << run.err;
  }

  // The store's check of "DBFILES", as k2xdb runs it: "ok" or the faults.
  std::string CheckDatabase() const {
    const ToolRun run = Tool({"check", DatabaseFolder()});
    return run.code == K2xdbTool::kDone ? run.out : run.out + run.err + " (exit " + std::to_string(run.code) + ")";
  }

  // The factory on the card.
  AccessorPtr OpenAccessor() const {
    XdbAccessor::IXdbAccessor* accessor = nullptr;
    const XpResult result = XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot());
    EXPECT_EQ(result, kXpOk);
    return AccessorPtr(result == kXpOk ? accessor : nullptr);
  }

  RecordingPauses pauses_;
  std::vector<uint32_t>& sleeps_ = pauses_.milliseconds;

 private:
  XpWaitClock* previousClock_ = nullptr;
};

}  // namespace xdbtest
