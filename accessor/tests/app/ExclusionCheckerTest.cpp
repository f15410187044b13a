#include "accessor/app/ExclusionChecker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/app/K2AccessorApplication.h"
#include "accessor/tests/app/AccessorTestSupport.h"
#include "framework/suite/ISfWindowList.h"
#include "framework/suite/SfAppMutexChecker.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"

namespace {

using accessor_test::AccessorTest;
using accessor_test::RecordingWinApp;
using accessor_test::SplitLines;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testsupport::ChildChannel;
using testsupport::ForkedChild;

using Checker = ::ExclusionChecker;

constexpr const char16_t* kInstaller = Checker::kInstallerMutexName;
constexpr const char16_t* kViewer = SfAppMutexChecker::kApplicationMutexName;
constexpr const char16_t* kMaintenanceLocal = Checker::kMaintenanceLocalMutexName;
constexpr const char16_t* kMaintenanceGlobal = Checker::kMaintenanceGlobalMutexName;
constexpr const char16_t* kPortableLocal = Checker::kPortableLocalMutexName;
constexpr const char16_t* kPortableGlobal = Checker::kPortableGlobalMutexName;
constexpr const char16_t* kLocalImport = Checker::kLocalImportMutexName;
constexpr const char16_t* kLocalExport = Checker::kLocalExportMutexName;
constexpr const char16_t* kGlobalImport = Checker::kGlobalImportMutexName;
constexpr const char16_t* kGlobalExport = Checker::kGlobalExportMutexName;

constexpr const char16_t* kAllNames[] = {kInstaller,     kViewer,         kMaintenanceLocal, kMaintenanceGlobal,
                                         kPortableLocal, kPortableGlobal, kLocalImport,      kLocalExport,
                                         kGlobalImport,  kGlobalExport};

constexpr const char* kAnswerOneBox = "box * press ok\n";

// Whether somebody has the mutex open: opening it does not make it.
bool Exists(const char16_t* name) {
  XpNamedObject probe;
  return probe.Open(name, XpNamedObjectKind::kMutex) == kXpOk;
}

// The names of kAllNames that exist now.
std::vector<std::string> ExistingNames() {
  std::vector<std::string> names;
  for (const char16_t* name : kAllNames) {
    if (Exists(name)) names.push_back(XpString(name).ToMultiByte().ToStdString());
  }
  return names;
}

std::vector<std::string> NarrowNames(const std::vector<const char16_t*>& names) {
  std::vector<std::string> narrow;
  for (const char16_t* name : names) narrow.push_back(XpString(name).ToMultiByte().ToStdString());
  return narrow;
}

struct Hold {
  const char16_t* name;
  bool owned;
};

// A child that makes or opens each mutex and takes those marked owned,
// says ready and keeps them until let go.
ForkedChild::Body HoldMutexes(std::vector<Hold> holds) {
  return [holds](ChildChannel& channel) {
    std::vector<std::unique_ptr<XpNamedObject>> handles;
    for (const Hold& hold : holds) {
      handles.push_back(std::make_unique<XpNamedObject>());
      if (handles.back()->CreateMutex(hold.name, false) != kXpOk) return 1;
      if (hold.owned && handles.back()->Wait(kXpTryOnce) != kXpOk) return 2;
    }
    channel.SignalReady();
    channel.WaitForGo();
    return 0;
  };
}

// A child whose checker runs Check(direction), says ready and lives on
// until let go; it exits with the result.
ForkedChild::Body CheckAndStay(int32_t direction) {
  return [direction](ChildChannel& channel) {
    Checker checker;
    const ExclusionResult result = checker.Check(direction);
    channel.SignalReady();
    channel.WaitForGo();
    return static_cast<int>(result);
  };
}

class ExclusionChecker : public AccessorTest {
 protected:
  void TearDown() override {
    DestroyAccessorApplication(std::move(application_));
    AccessorTest::TearDown();
  }

  // A child holding the mutexes, ready.
  void StartHolder(ForkedChild& child, const std::vector<Hold>& holds) {
    ASSERT_TRUE(child.Start(HoldMutexes(holds)));
    ASSERT_TRUE(child.WaitReady());
  }

  // A process object in the export's mode over an application whose texts
  // are their keys in brackets.
  RecordingWinApp& MakeReportingApp(std::string_view script) {
    DestroyAccessorApplication(std::move(application_));
    RecordingWinApp& app = MakeApp(script);
    application_ = CreateAccessorApplication(XpString::FromUtf8(ProgramFolder().string()));
    EXPECT_NE(application_, nullptr);
    app.SetMode(kAccessorModeExportConfirm);
    return app;
  }

 private:
  std::unique_ptr<K2AccessorApplication> application_;
};

TEST_F(ExclusionChecker, CheckFindsWhatAChildHoldsAcrossProcesses) {
  struct Case {
    const char* name;
    std::vector<Hold> holds;
    ExclusionResult expected;
    // What still exists once the child is gone, while the checker lives.
    std::vector<const char16_t*> kept;
  };
  const Case cases[] = {
      {"installer and viewer owned", {{kInstaller, true}, {kViewer, true}}, kExclusionInstallerRunning, {}},
      {"installer open, not owned",
       {{kInstaller, false}},
       kExclusionNone,
       {kInstaller, kViewer, kLocalExport, kGlobalExport}},
      {"viewer owned", {{kViewer, true}}, kExclusionViewerRunning, {kInstaller}},
      {"viewer open, not owned",
       {{kViewer, false}},
       kExclusionNone,
       {kInstaller, kViewer, kLocalExport, kGlobalExport}},
      {"maintenance local open", {{kMaintenanceLocal, false}}, kExclusionMaintenanceLocal, {kInstaller, kViewer}},
      {"maintenance global open", {{kMaintenanceGlobal, false}}, kExclusionMaintenanceGlobal, {kInstaller, kViewer}},
      {"portable local open", {{kPortableLocal, false}}, kExclusionPortableLocal, {kInstaller, kViewer}},
      {"portable global owned", {{kPortableGlobal, true}}, kExclusionPortableGlobal, {kInstaller, kViewer}},
      {"another user's export",
       {{kGlobalExport, false}},
       kExclusionOwnGlobalExport,
       {kInstaller, kViewer, kLocalExport, kGlobalExport}},
      {"another user's import",
       {{kGlobalImport, false}},
       kExclusionOwnGlobalImport,
       {kInstaller, kViewer, kLocalExport, kGlobalImport}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForkedChild child;
    StartHolder(child, c.holds);
    {
      Checker checker;

      EXPECT_EQ(checker.Check(kExclusionDirectionExport), c.expected);

      child.LetGo();
      EXPECT_EQ(child.Wait(), 0);
      EXPECT_EQ(ExistingNames(), NarrowNames(c.kept));
    }
    EXPECT_EQ(ExistingNames(), std::vector<std::string>());
  }
}

TEST_F(ExclusionChecker, ClaimsKeepOnlyTheRunningDirectionsMutexes) {
  struct Case {
    int32_t direction;
    std::vector<const char16_t*> kept;
  };
  const Case cases[] = {
      {kExclusionDirectionImport, {kInstaller, kViewer, kLocalImport, kGlobalImport}},
      {kExclusionDirectionExport, {kInstaller, kViewer, kLocalExport, kGlobalExport}},
      {2, {kInstaller, kViewer}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.direction);
    {
      Checker checker;
      EXPECT_EQ(checker.Check(c.direction), kExclusionNone);
      EXPECT_EQ(ExistingNames(), NarrowNames(c.kept));
    }
    EXPECT_EQ(ExistingNames(), std::vector<std::string>());
  }
}

TEST_F(ExclusionChecker, SecondExportWaitsForTheFirstAcrossProcesses) {
  enum class End { kExits, kKilled };
  for (const End end : {End::kExits, End::kKilled}) {
    SCOPED_TRACE(end == End::kExits ? "child exits" : "child killed");
    ForkedChild child;
    ASSERT_TRUE(child.Start(CheckAndStay(kExclusionDirectionExport)));
    ASSERT_TRUE(child.WaitReady());
    // The child's claims closed the import side's mutexes.
    XpNamedObject probe;
    EXPECT_EQ(probe.Open(kLocalImport, XpNamedObjectKind::kMutex), kXpErrFileNotFound);
    EXPECT_EQ(probe.Open(kGlobalImport, XpNamedObjectKind::kMutex), kXpErrFileNotFound);

    auto first = std::make_unique<Checker>();
    EXPECT_EQ(first->Check(kExclusionDirectionExport), kExclusionOwnLocalExport);

    if (end == End::kExits) {
      child.LetGo();
      EXPECT_EQ(child.Wait(), kExclusionNone);
    } else {
      child.Kill();
      EXPECT_EQ(child.Wait(), -1);
    }
    // The failed claim's handle keeps the mutex in existence.
    EXPECT_TRUE(Exists(kLocalExport));
    first.reset();
    EXPECT_FALSE(Exists(kLocalExport));

    Checker fresh;
    EXPECT_EQ(fresh.Check(kExclusionDirectionExport), kExclusionNone);
  }
}

TEST_F(ExclusionChecker, RunningImportBlocksAnExportAcrossProcesses) {
  ForkedChild child;
  ASSERT_TRUE(child.Start(CheckAndStay(kExclusionDirectionImport)));
  ASSERT_TRUE(child.WaitReady());
  EXPECT_FALSE(Exists(kLocalExport));
  EXPECT_FALSE(Exists(kGlobalExport));

  Checker checker;
  EXPECT_EQ(checker.Check(kExclusionDirectionExport), kExclusionOwnLocalImport);

  child.LetGo();
  EXPECT_EQ(child.Wait(), kExclusionNone);
}

TEST_F(ExclusionChecker, UnusableLockFolderRefusesWithOneLineOfItsOwn) {
  const std::filesystem::path file = Root() / "not-a-folder";
  accessor_test::WriteFile(file, "x");
  SetEnv("KAVO_IPC_DIR", file.string());

  Checker checker;
  ::testing::internal::CaptureStderr();
  const ExclusionResult result = checker.Check(kExclusionDirectionExport);
  const std::vector<std::string> lines = SplitLines(::testing::internal::GetCapturedStderr());

  EXPECT_EQ(result, kExclusionMaintenanceLocal);
  std::vector<std::string> own;
  for (const std::string& line : lines) {
    if (line.starts_with("ExclusionChecker:")) own.push_back(line);
  }
  ASSERT_EQ(own.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_THAT(own[0], HasSubstr("\"KavoKorvexViewerBuiltInAccessorMaintenanceMutexLocal\""));
  EXPECT_THAT(own[0], HasSubstr("(error 0x8"));
}

TEST_F(ExclusionChecker, AMutexThatCannotBeMadeIsReportedForWhatFailed) {
  using testsupport::Fault;
  using testsupport::SysCall;
  const std::string session = (Root() / "ipc" / "session").string();
  const std::string maintenanceFile =
      session + "/" + XpString(kMaintenanceLocal).ToMultiByte().ToStdString() + ".mutex";
  const std::string exportFile =
      session + "/" + XpString(kLocalExport).ToMultiByte().ToStdString() + ".mutex";
  const std::string importFile =
      session + "/" + XpString(kLocalImport).ToMultiByte().ToStdString() + ".mutex";
  struct Case {
    const char* name;
    Fault fault;
    int32_t direction;
    ExclusionResult result;
    const char16_t* mutex;
    std::string failure;
    const char* box;
  };
  const Case cases[] = {
      {"no space for the lock folder", Fault(SysCall::kMkdir, session).Errno(ENOSPC), 1,
       kExclusionMaintenanceLocal, kMaintenanceLocal, "mkdir " + session + ": No space left on device",
       "[Messages/Errors/DiskFull]"},
      {"read-only lock folder", Fault(SysCall::kMkdir, session).Errno(EROFS), 1, kExclusionMaintenanceLocal,
       kMaintenanceLocal, "mkdir " + session + ": Read-only file system",
       "[Messages/Errors/CannotCreateFolderBecauseReadOnly]"},
      {"lock file unreadable", Fault(SysCall::kOpen, maintenanceFile).Errno(EIO), 1, kExclusionMaintenanceLocal,
       kMaintenanceLocal, "open " + maintenanceFile + ": Input/output error", "[Messages/Errors/UnkownError]"},
      {"no space for the own export's lock file", Fault(SysCall::kOpen, exportFile).Errno(ENOSPC), 1,
       kExclusionOwnLocalExport, kLocalExport, "open " + exportFile + ": No space left on device",
       "[Messages/Errors/DiskFull]"},
      {"no space for the own import's lock file, import side", Fault(SysCall::kOpen, importFile).Errno(ENOSPC), 0,
       kExclusionOwnLocalImport, kLocalImport, "open " + importFile + ": No space left on device",
       "[Messages/Errors/DiskFull]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Root() / "ipc");
    RecordingWinApp& app = MakeReportingApp(kAnswerOneBox);
    testsupport::FaultInjection faults;
    faults.Add(c.fault);
    {
      Checker checker;
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(checker.Check(c.direction), c.result);
      const std::string errors = ::testing::internal::GetCapturedStderr();
      const Checker::CreateFailure& failure = checker.GetCreateFailure();
      ASSERT_NE(failure.name, nullptr);
      EXPECT_EQ(XpString(failure.name).ToMultiByte().ToStdString(),
                XpString(c.mutex).ToMultiByte().ToStdString());
      EXPECT_EQ(XpDescribeSysFailure(failure.cause), c.failure);
      EXPECT_THAT(errors, HasSubstr("\"" + XpString(c.mutex).ToMultiByte().ToStdString() +
                                    "\" (error 0x8"));
      EXPECT_THAT(errors, HasSubstr(c.failure));
    }

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(app.ReportExclusion(c.direction));
    ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_THAT(Boxes()[0], StartsWith(std::string("box \"[UI/ExportConfirm/0-0]\" \"") + c.box + "\" style 0x30 "));
  }
}

TEST_F(ExclusionChecker, ARunningToolIsNoCreateFailure) {
  ForkedChild child;
  StartHolder(child, {{kMaintenanceLocal, false}});
  Checker checker;
  EXPECT_EQ(checker.Check(kExclusionDirectionExport), kExclusionMaintenanceLocal);
  EXPECT_TRUE(checker.GetCreateFailure().Empty());
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);
}

// A window list of fixed windows 1..n, each with an optional property and
// a title; it records what it brought forward.
class FakeWindowList : public ISfWindowList {
 public:
  struct Window {
    std::u16string property;
    std::u16string title;
  };
  explicit FakeWindowList(std::vector<Window> windows) : windows_(std::move(windows)) {}

  SfWindowHandle GetFirstWindow() override { return windows_.empty() ? 0 : 1; }
  SfWindowHandle GetNextWindow(SfWindowHandle window) override {
    return window < windows_.size() ? window + 1 : 0;
  }
  bool HasProperty(SfWindowHandle window, const XpString& name) override {
    return !At(window).property.empty() && name.View() == At(window).property;
  }
  XpString GetTitle(SfWindowHandle window) override { return XpString(At(window).title); }
  bool SetProperty(SfWindowHandle, const XpString&) override { return false; }
  void RemoveProperty(SfWindowHandle, const XpString&) override {}
  bool IsMinimized(SfWindowHandle) override { return false; }
  void Restore(SfWindowHandle) override {}
  uint32_t GetThreadId(SfWindowHandle window) override { return static_cast<uint32_t>(window * 100); }
  void BringForward(SfWindowHandle window, uint32_t threadId) override {
    forward.push_back({window, threadId});
  }
  void SendCopyData(SfWindowHandle, SfWindowHandle, const SfCopyDataRecord&) override {}

  std::vector<std::pair<SfWindowHandle, uint32_t>> forward;

 private:
  const Window& At(SfWindowHandle window) const { return windows_.at(window - 1); }

  std::vector<Window> windows_;
};

TEST_F(ExclusionChecker, ReportExclusionShowsWhyAcrossProcesses) {
  struct Case {
    const char* name;
    std::vector<Hold> holds;
    int32_t direction;
    const char* box;  // the text; null when no box is shown
    bool answer;
  };
  const Case cases[] = {
      {"own local export", {{kLocalExport, false}}, 1,
       "[Messages/Errors/MutexError] [UI/ExportConfirm/0-0] [UI/ExportConfirm/0-0]", false},
      {"own local import, export side", {{kLocalImport, false}}, 1,
       "[Messages/Errors/MutexError] [UI/SalvageReport/0-0] [UI/ExportConfirm/0-0]", false},
      {"own global import", {{kGlobalImport, false}}, 1,
       "[Messages/Errors/MutexErrorDuplicateAppsOtherUser] [UI/SalvageReport/0-0] [UI/ExportConfirm/0-0]", false},
      {"own global export", {{kGlobalExport, false}}, 1,
       "[Messages/Errors/MutexErrorDuplicateAppsOtherUser] [UI/ExportConfirm/0-0] [UI/ExportConfirm/0-0]", false},
      {"own local export, import side", {{kLocalExport, false}}, 0,
       "[Messages/Errors/MutexError] [UI/ExportConfirm/0-0] [UI/SalvageReport/0-0]", false},
      {"maintenance local", {{kMaintenanceLocal, false}}, 1,
       "[Messages/Errors/MutexError] [Application/MaintenanceToolName] [UI/ExportConfirm/0-0]", false},
      {"maintenance global", {{kMaintenanceGlobal, false}}, 1,
       "[Messages/Errors/MutexErrorDuplicateAppsOtherUser] [Application/MaintenanceToolName] "
       "[UI/ExportConfirm/0-0]",
       false},
      {"portable local", {{kPortableLocal, false}}, 1,
       "[Messages/Errors/MutexError] [Application/QMV Portable] [UI/ExportConfirm/0-0]", false},
      {"portable global, unknown direction", {{kPortableGlobal, false}}, 7,
       "[Messages/Errors/MutexErrorDuplicateAppsOtherUser] [Application/QMV Portable] ", false},
      {"viewer", {{kViewer, true}}, 1, "[Messages/Errors/CannotBootYouNeedToEndInitializeTool]", false},
      {"installer", {{kInstaller, true}}, 1, "[Messages/Errors/CannotBootBecauseSetupQMV]", false},
      {"own local import, import side", {{kLocalImport, false}}, 0, nullptr, false},
      {"nothing in the way", {}, 1, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The process object of the case before goes first, with its handles.
    RecordingWinApp& app = MakeReportingApp(c.box != nullptr ? kAnswerOneBox : "");
    ForkedChild child;
    StartHolder(child, c.holds);

    EXPECT_EQ(app.ReportExclusion(c.direction), c.answer);

    if (c.box == nullptr) {
      EXPECT_EQ(Boxes(), std::vector<std::string>());
    } else {
      ASSERT_EQ(Boxes().size(), 1u);
      EXPECT_THAT(Boxes()[0],
                  StartsWith(std::string("box \"[UI/ExportConfirm/0-0]\" \"") + c.box + "\" style 0x30 "));
    }
    child.LetGo();
    EXPECT_EQ(child.Wait(), 0);
  }
}

TEST_F(ExclusionChecker, ReportOfAnotherImportRaisesItsWindowAcrossProcesses) {
  using Window = FakeWindowList::Window;
  const Window salvageTitle{u"", u"[UI/SalvageReport/0-0]"};
  const Window importTitle{u"", u"[UI/ImportConfirm/0-0]"};
  const Window confirmMark{u"KavoKorvexViewerK2AccessorImportConfirmDlg", u"x"};
  const Window progressMark{u"KavoKorvexViewerK2AccessorImportProgressDlg", u"y"};
  const Window untitled{u"", u""};
  const Window longerTitle{u"", u"[UI/ImportConfirm/0-0] (2)"};
  struct Case {
    const char* name;
    std::vector<Window> windows;
    SfWindowHandle raised;  // 0: none
  };
  const Case cases[] = {
      {"progress mark first", {salvageTitle, importTitle, confirmMark, progressMark}, 4},
      {"then confirmation mark", {salvageTitle, importTitle, confirmMark}, 3},
      {"then the import title", {salvageTitle, importTitle}, 2},
      {"then the salvage title", {untitled, salvageTitle}, 2},
      {"titles compared exactly", {untitled, longerTitle}, 0},
      {"no windows", {}, 0},
  };
  ForkedChild child;
  StartHolder(child, {{kLocalImport, false}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWindowList windows(c.windows);
    RecordingWinApp& app = MakeReportingApp("");
    app.SetWindowList(windows);

    EXPECT_FALSE(app.ReportExclusion(kExclusionDirectionImport));

    EXPECT_EQ(Boxes(), std::vector<std::string>());
    if (c.raised == 0) {
      EXPECT_TRUE(windows.forward.empty());
    } else {
      ASSERT_EQ(windows.forward.size(), 1u);
      EXPECT_EQ(windows.forward[0].first, c.raised);
      EXPECT_EQ(windows.forward[0].second, c.raised * 100);
    }
  }
  child.LetGo();
  EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
