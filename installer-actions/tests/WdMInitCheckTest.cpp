#include "installer-actions/qmvproc/WdMInitCheck.h"

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FakeDiscRecordingProvider.h"
#include "InstallerTestSupport.h"
#include "installer-actions/qmvproc/QmvCheckActions.h"
#include "msi/MsiInstallation.h"

namespace installertest {
namespace {

using discrec::FakeDiscRecordingProvider;
using discrec::FakeRecorder;
using discrec::HResult;
using discrec::ScopedDiscRecordingProvider;

constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154);
constexpr HResult kFail = static_cast<HResult>(0x80004005);
constexpr HResult kChangedMode = static_cast<HResult>(0x80010106);

XpThread* NoThread(XpThreadFunction, void*) { return nullptr; }

class WdMInitCheck : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    Install({{u"QMVLOGGING", u"True"}, {u"QMV_INSTALLER_LOGFILENAME", u"test.log"}});
  }
  void TearDown() override {
    ::WdMInitCheck::WorkerThread::SetThreadStarterForTest(nullptr);
    InstallerTest::TearDown();
  }

  // The stage the worker's thread ends with.
  static uint32_t StageOnWorker(XpSharedPtr<::WdMInitCheck::TestInitializeIMAPIv2>* task) {
    *task = XpSharedPtr<::WdMInitCheck::TestInitializeIMAPIv2>(new ::WdMInitCheck::TestInitializeIMAPIv2());
    ::WdMInitCheck::WorkerThread worker;
    worker.SetTask(*task);
    return worker.Run();
  }

  std::u16string RunAction() {
    EXPECT_EQ(QmvCheckSupportIMAPIv2Action(install_), 0u);
    return msi::PropertyOf(install_, u"INSTALLED_IMAPI_FLAG").value_or(u"(unset)");
  }
  std::string Log() const { return ReadFile(LogPath()); }
};

TEST_F(WdMInitCheck, TheStageAndResultDecideTheFlag) {
  struct Case {
    const char* name;
    HResult initialize;
    HResult master;
    bool masterIsNull;
    HResult count;
    size_t recorders;
    uint32_t stage;
    int uninitializeCalls;
    const char16_t* flag;
  } const cases[] = {
      {"no master", 0, kClassNotRegistered, false, 0, 0, 0x80000001, 1, u"False"},
      {"null master", 0, 0, true, 0, 0, 0x80000001, 1, u"False"},
      {"no recorder", 0, 0, false, 0, 0, 0, 1, u"True"},
      {"count fails", 0, 0, false, kFail, 0, 0x80000002, 1, u"False"},
      {"initialise refused", kChangedMode, 0, false, 0, 2, 0, 0, u"True"},
      {"two recorders", 1, 0, false, 0, 2, 0, 1, u"True"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDiscRecordingProvider fake;
    fake.initializeResult = c.initialize;
    fake.masterResult = c.master;
    fake.masterIsNull = c.masterIsNull;
    fake.countResult = c.count;
    fake.recorders.resize(c.recorders);
    ScopedDiscRecordingProvider scoped(fake);

    XpSharedPtr<::WdMInitCheck::TestInitializeIMAPIv2> task;
    EXPECT_EQ(StageOnWorker(&task), c.stage);
    EXPECT_EQ(task->Stage(), c.stage);
    EXPECT_EQ(fake.InitializeCalls(), 1);
    EXPECT_EQ(fake.UninitializeCalls(), c.uninitializeCalls);

    EXPECT_EQ(RunAction(), c.flag);
    const std::string expected = std::string("Support IMAPIv2: ") + (c.flag == std::u16string(u"True") ? "1" : "0");
    EXPECT_NE(Log().find("[WdMInitCheckLib_IsSupportIMAPIv2 Result]\r\n\t" + expected + "\r\n"), std::string::npos)
        << Log();
    std::filesystem::remove(LogPath());
  }
}

TEST_F(WdMInitCheck, TheLinuxProviderHasNoDiscMaster) {
  XpSharedPtr<::WdMInitCheck::TestInitializeIMAPIv2> task;
  EXPECT_EQ(StageOnWorker(&task), ::WdMInitCheck::kStageCreateMaster);
  EXPECT_EQ(task->Result(), kClassNotRegistered);
  EXPECT_FALSE(::WdMInitCheck::WdMInitCheckLib_IsSupportIMAPIv2());
  EXPECT_EQ(RunAction(), u"False");
}

TEST_F(WdMInitCheck, AThreadThatCannotStartGivesFalse) {
  FakeDiscRecordingProvider fake;
  ScopedDiscRecordingProvider scoped(fake);
  ASSERT_TRUE(::WdMInitCheck::WdMInitCheckLib_IsSupportIMAPIv2());

  ::WdMInitCheck::WorkerThread::SetThreadStarterForTest(&NoThread);
  XpSharedPtr<::WdMInitCheck::TestInitializeIMAPIv2> task;
  EXPECT_EQ(StageOnWorker(&task), ::WdMInitCheck::WorkerThread::kNotStarted);
  EXPECT_EQ(fake.InitializeCalls(), 1);
  EXPECT_FALSE(::WdMInitCheck::WdMInitCheckLib_IsSupportIMAPIv2());
  EXPECT_EQ(RunAction(), u"False");
  EXPECT_NE(Log().find("\tSupport IMAPIv2: 0\r\n"), std::string::npos) << Log();
  EXPECT_NE(Log().find("] : []\r\n\tQMV_CheckSupportIMAPIv2h End\r\n"), std::string::npos) << Log();
}

TEST_F(WdMInitCheck, TheTaskRunsOnAThreadOfItsOwn) {
  FakeDiscRecordingProvider fake;
  ScopedDiscRecordingProvider scoped(fake);
  XpSharedPtr<::WdMInitCheck::TestInitializeIMAPIv2> task;
  EXPECT_EQ(StageOnWorker(&task), 0u);
  EXPECT_EQ(fake.InitializeCalls(), 1);
  EXPECT_EQ(fake.UninitializeCalls(), 1);
  EXPECT_NE(fake.InitializeThreadId(), std::this_thread::get_id());
  EXPECT_EQ(fake.InitializeThreadId(), fake.UninitializeThreadId());
}

TEST_F(WdMInitCheck, EnumerationKeepsARecordPerRecorder) {
  FakeDiscRecordingProvider fake;
  fake.recorders = {
      FakeRecorder{u"rec-0", 0, 0, 0, {u"/media/u/DISC/", u"/mnt/disc/"}, 0},
      FakeRecorder{u"rec-1", 0, 0, kFail, {}, 0},
  };
  ScopedDiscRecordingProvider scoped(fake);
  ::WdMInitCheck::TestEnumerateDevicesIMAPIv2 test;
  EXPECT_EQ(test.Run(), 0u);
  ASSERT_EQ(test.Records().size(), 2u);
  EXPECT_EQ(test.Records()[0].rootPath, u"/media/u/DISC/");
  EXPECT_EQ(test.Records()[0].stage, 0u);
  EXPECT_EQ(test.Records()[0].result, 0);
  EXPECT_EQ(test.Records()[1].rootPath, u"");
  EXPECT_EQ(test.Records()[1].stage, ::WdMInitCheck::kStageVolumePathNames);
  EXPECT_EQ(test.Records()[1].result, kFail);
}

TEST_F(WdMInitCheck, EnumerationStopsEachRecorderAtItsFirstFailure) {
  struct Case {
    const char* name;
    HResult item;
    HResult recorder;
    HResult initialize;
    std::vector<std::u16string> paths;
    HResult extended;
    HResult writer;
    uint32_t stage;
    HResult result;
    const char16_t* root;
  } const cases[] = {
      {"item", kFail, 0, 0, {u"/r/"}, 0, 0, ::WdMInitCheck::kStageItem, kFail, u""},
      {"creation", 0, kClassNotRegistered, 0, {u"/r/"}, 0, 0, ::WdMInitCheck::kStageCreateRecorder,
       kClassNotRegistered, u""},
      {"initialise", 0, 0, kFail, {u"/r/"}, 0, 0, ::WdMInitCheck::kStageInitializeRecorder, kFail, u""},
      {"no path", 0, 0, 0, {}, 0, 0, 0, 0, u""},
      {"extended", 0, 0, 0, {u"/r/"}, kFail, 0, ::WdMInitCheck::kStageExtendedInterface, kFail, u"/r/"},
      {"writer", 0, 0, 0, {u"/r/"}, 0, kFail, ::WdMInitCheck::kStageCreateDataWriter, kFail, u"/r/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDiscRecordingProvider fake;
    fake.recorderResult = c.recorder;
    fake.dataWriterResult = c.writer;
    fake.recorders = {FakeRecorder{u"r", c.item, c.initialize, 0, c.paths, c.extended}};
    ScopedDiscRecordingProvider scoped(fake);
    ::WdMInitCheck::TestEnumerateDevicesIMAPIv2 test;
    EXPECT_EQ(test.Run(), 0u);
    ASSERT_EQ(test.Records().size(), 1u);
    EXPECT_EQ(test.Records()[0].stage, c.stage);
    EXPECT_EQ(test.Records()[0].result, c.result);
    EXPECT_EQ(test.Records()[0].rootPath, c.root);
  }
  FakeDiscRecordingProvider failing;
  failing.countResult = kFail;
  ScopedDiscRecordingProvider scoped(failing);
  ::WdMInitCheck::TestEnumerateDevicesIMAPIv2 test;
  EXPECT_EQ(test.Run(), ::WdMInitCheck::kStageCount);
  EXPECT_TRUE(test.Records().empty());
}

}  // namespace
}  // namespace installertest
