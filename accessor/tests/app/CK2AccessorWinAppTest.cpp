#include "accessor/app/CK2AccessorWinApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accessor/app/K2AccessorApplication.h"
#include "accessor/app/K2RequiredFiles.h"
#include "accessor/tests/app/AccessorTestSupport.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/backend/XfUiAutomaticBackend.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "platform/registry/XpRegistry.h"

namespace {

using accessor_test::AccessorTest;
using accessor_test::HandOverFileText;
using accessor_test::LinesStartingWith;
using accessor_test::ProgramRun;
using accessor_test::RecordingWinApp;
using accessor_test::SplitLines;
using accessor_test::WriteFile;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kAnswerOneBox = "box * press ok\n";
// A step that is never met: the scripted run fails at its end.
constexpr const char* kFailingScript = "box \"never shown\" press ok\n";
constexpr const char* kModulesText = "[Messages/Errors/CannotBootBecauseThereAreNoSomeModules] ";

class CK2AccessorWinApp : public AccessorTest {
 protected:
  // The injected table: a name in a sub-folder among them.
  const std::vector<std::string> requiredNames_ = {"TLVK2Accessor", "libFirst.so", "plugins/libSecond.so"};

  void SetUp() override {
    AccessorTest::SetUp();
    for (const std::string& name : requiredNames_) {
      WriteFile(ProgramFolder() / name, "stub");
    }
  }

  RecordingWinApp& MakeTableApp(std::string_view script) {
    RecordingWinApp& app = MakeApp(script);
    XpStringVector names;
    for (const std::string& name : requiredNames_) {
      names.push_back(XpString::FromUtf8(name));
    }
    app.SetRequiredFiles(names);
    return app;
  }

  std::string HandOverPath(const std::string& name = "h.xml") {
    const std::filesystem::path path = Root() / name;
    WriteFile(path, HandOverFileText());
    return path.string();
  }
};

// A run that asks for none of the export, the import and the salvage does
// nothing but say how the program is used, and ends as bad usage.
TEST_F(CK2AccessorWinApp, RunWithoutARequestPrintsTheUsageAndExitsTwo) {
  const std::vector<std::vector<std::string>> lines = {
      {}, {"-importscore"}, {"-parentwindow", "1A2B"}, {"--yes"}, {"-unknown", "/tmp/x"}};
  for (const std::vector<std::string>& args : lines) {
    SCOPED_TRACE(args.size());
    RecordingWinApp& app = MakeTableApp("");

    EXPECT_EQ(Run(args), 2);
    EXPECT_TRUE(Transcript().empty());
    EXPECT_EQ(app.flowCalls, 0);
    ASSERT_EQ(app.errorLines.size(), 1u);
    for (const char* part : {"usage: TLVK2Accessor", "-export HANDOVER.xml", "-import CAMERA_FOLDER",
                             "-salvage CAMERA_ROOT", "--yes"}) {
      EXPECT_THAT(app.errorLines[0], HasSubstr(part));
    }
    EXPECT_EQ(app.GetApplication(), nullptr);
  }
}

TEST_F(CK2AccessorWinApp, EachMissingRequiredFileFailsWithOneBox) {
  for (const std::string& name : requiredNames_) {
    SCOPED_TRACE(name);
    const std::filesystem::path missing = ProgramFolder() / name;
    std::filesystem::rename(missing, Root() / "aside");
    RecordingWinApp& app = MakeTableApp(kAnswerOneBox);

    EXPECT_EQ(Run({}), 1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_THAT(Boxes()[0], StartsWith(std::string("box \"Orvane\" \"") + kModulesText + "\" style 0x30 "));
    ASSERT_EQ(app.errorLines.size(), 1u);
    EXPECT_THAT(app.errorLines[0], HasSubstr(missing.string()));
    EXPECT_EQ(app.flowCalls, 0);

    std::filesystem::rename(Root() / "aside", missing);
  }
}

TEST_F(CK2AccessorWinApp, MissingFileWithExportTakesTheExportTitleAndKeepsTheHandOverFile) {
  std::filesystem::remove(ProgramFolder() / "plugins/libSecond.so");
  const std::string handOver = HandOverPath();
  RecordingWinApp& app = MakeTableApp(kAnswerOneBox);

  EXPECT_EQ(Run({"-export", handOver}), 1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_THAT(Boxes()[0], StartsWith(std::string("box \"[UI/ExportConfirm/0-0]\" \"") + kModulesText +
                                     "[UI/ExportConfirm/0-0]\" style 0x30 "));
  EXPECT_EQ(app.flowCalls, 0);
  EXPECT_TRUE(std::filesystem::exists(handOver));
  EXPECT_EQ(app.GetMode(), kAccessorModeExportConfirm);
}

TEST_F(CK2AccessorWinApp, CaptionFollowsTheMode) {
  struct Case {
    int32_t mode;
    const char* caption;
  };
  const Case cases[] = {
      {0, "Orvane"},
      {1, "Orvane"},
      {256, "[UI/ImportConfirm/0-0]"},
      {257, "[UI/ImportProgress/0-0]"},
      {512, "[UI/ExportConfirm/0-0]"},
      {513, "[UI/ExportProgress/0-0]"},
      {768, "[UI/SalvageReport/0-0]"},
      {769, "[UI/SalvageProgress/0-0]"},
  };
  std::string script;
  for (size_t i = 0; i < std::size(cases); ++i) {
    script += kAnswerOneBox;
  }
  RecordingWinApp& app = MakeApp(script);
  std::unique_ptr<K2AccessorApplication> application =
      CreateAccessorApplication(XpString::FromUtf8(ProgramFolder().string()));
  ASSERT_NE(application, nullptr);

  for (const Case& c : cases) {
    app.SetMode(c.mode);
    EXPECT_EQ(app.DoMessageBox(nullptr, u"text", 0), kXfIdOk);
  }

  DestroyAccessorApplication(std::move(application));
  ASSERT_EQ(Boxes().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].mode);
    EXPECT_THAT(Boxes()[i], StartsWith(std::string("box \"") + cases[i].caption + "\" \"text\" style 0x0 "));
  }
}

TEST_F(CK2AccessorWinApp, ExitStatusFollowsTheExportOutcome) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::optional<K2ExportOutcome> outcome;
    const char* script;
    int status;
    int flowCalls;
  };
  const std::string handOver = (Root() / "h.xml").string();
  const Case cases[] = {
      {"completed", {"-export", handOver}, K2ExportOutcome::kCompleted, "", 0, 1},
      {"failed", {"-export", handOver}, K2ExportOutcome::kFailed, "", 1, 1},
      {"cancelled", {"-export", handOver}, K2ExportOutcome::kCancelled, "", 2, 1},
      {"nothing reported", {"-export", handOver}, std::nullopt, "", 1, 1},
      // "/c" is no folder: the import fails before it shows anything.
      {"import", {"-import", "/c"}, K2ExportOutcome::kCompleted, "", 1, 0},
      // Asks for no work: bad usage.
      {"importscore", {"-importscore"}, K2ExportOutcome::kFailed, "", 2, 0},
      // Without the camera root as the last argument.
      {"salvage", {"-salvage"}, K2ExportOutcome::kCompleted, "", 1, 0},
      {"importscore returns the member", {"-export", handOver, "-importscore"}, K2ExportOutcome::kFailed, "", 0, 1},
      {"host failed, completed", {"-export", handOver}, K2ExportOutcome::kCompleted, kFailingScript, 1, 1},
      {"host failed, cancelled", {"-export", handOver}, K2ExportOutcome::kCancelled, kFailingScript, 1, 1},
      {"host failed, no arguments", {}, std::nullopt, kFailingScript, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(handOver, HandOverFileText());
    RecordingWinApp& app = MakeTableApp(c.script);
    app.flowOutcome = c.outcome;

    EXPECT_EQ(Run(c.args), c.status);
    EXPECT_EQ(app.flowCalls, c.flowCalls);
  }
}

TEST_F(CK2AccessorWinApp, ExportFlowRunsInsideTheApplication) {
  const std::string handOver = HandOverPath();
  RecordingWinApp& app = MakeTableApp("");

  EXPECT_EQ(Run({"-export", handOver, "-parentwindow", "1A2B"}), 0);
  EXPECT_EQ(app.flowExportFile.ToMultiByte().ToStdString(), handOver);
  EXPECT_TRUE(app.applicationDuringFlow);
  EXPECT_EQ(app.titleDuringFlow.ToMultiByte().ToStdString(), "[UI/ExportConfirm/0-0]");
  EXPECT_THAT(app.registryRootDuringFlow.ToMultiByte().ToStdString(), HasSubstr("QMV"));
  XpRegistry key;
  EXPECT_EQ(key.Open(u"Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0", XpRegistry::kRootCurrentUser,
                     XpRegistry::kAccessRead),
            kXpOk);
  EXPECT_EQ(app.GetApplication(), nullptr);
}

TEST_F(CK2AccessorWinApp, UnreadableHandOverFailsWithOneLineAndNoBox) {
  const std::string missing = (Root() / "missing.xml").string();
  RecordingWinApp& app = MakeTableApp("");
  app.useBaseFlow = true;

  EXPECT_EQ(Run({"-export", missing}), 1);
  EXPECT_NE(app.baseFlowResult, kXpOk);
  EXPECT_TRUE(Transcript().empty());
  ASSERT_EQ(app.errorLines.size(), 1u);
  EXPECT_THAT(app.errorLines[0], HasSubstr(missing));
  EXPECT_THAT(app.errorLines[0], HasSubstr("cannot be read"));
}

TEST_F(CK2AccessorWinApp, RemovesOnlyARealHandOverFile) {
  const std::string plistWithoutGroups =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SourceApp</key><string>x</string></dict></plist>";
  const std::string jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xD9", 22);
  struct Case {
    const char* name;
    const char* file;  // written under the test's root; null writes nothing
    std::string bytes;
    ExportResult flowResult;
    K2ExportOutcome outcome;
    bool kept;
    size_t errorLines;
  };
  const Case cases[] = {
      {"hand-over file", "h.xml", HandOverFileText(), kXpOk, K2ExportOutcome::kCompleted, false, 0},
      {"hand-over file, flow refused", "h.xml", HandOverFileText(), kXpErrGeneric, K2ExportOutcome::kFailed, false, 1},
      {"picture", "a.jpg", jpeg, kXpOk, K2ExportOutcome::kCompleted, true, 1},
      {"property list without groups", "p.xml", plistWithoutGroups, kXpOk, K2ExportOutcome::kCompleted, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path path = Root() / c.file;
    WriteFile(path, c.bytes);
    RecordingWinApp& app = MakeTableApp("");
    app.flowResult = c.flowResult;
    app.flowOutcome = c.outcome;

    Run({"-export", path.string()});

    EXPECT_EQ(std::filesystem::exists(path), c.kept);
    EXPECT_EQ(app.errorLines.size(), c.errorLines);
    if (c.kept && !app.errorLines.empty()) {
      EXPECT_THAT(app.errorLines.back(), HasSubstr(path.string()));
      EXPECT_THAT(app.errorLines.back(), HasSubstr("not deleted"));
    }
    std::filesystem::remove(path);
  }
}

TEST_F(CK2AccessorWinApp, MissingOrAbsentHandOverPathDeletesNothing) {
  const std::filesystem::path bystander = Root() / "bystander.xml";
  WriteFile(bystander, HandOverFileText());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-export", (Root() / "missing.xml").string()}, std::vector<std::string>{"-export"}}) {
    SCOPED_TRACE(args.size());
    RecordingWinApp& app = MakeTableApp("");

    EXPECT_EQ(Run(args), 0);
    EXPECT_EQ(app.flowCalls, 1);
    EXPECT_TRUE(app.errorLines.empty());
    EXPECT_TRUE(std::filesystem::exists(bystander));
  }
}

TEST_F(CK2AccessorWinApp, InstanceIsTheLivingProcessObject) {
  EXPECT_EQ(::CK2AccessorWinApp::Instance(), nullptr);
  RecordingWinApp& app = MakeApp("");
  EXPECT_EQ(::CK2AccessorWinApp::Instance(), &app);
}

TEST_F(CK2AccessorWinApp, ProgramWithoutArgumentsPrintsTheUsageOnStandardError) {
  const ProgramRun run = RunProgramCopy({}, "");

  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_THAT(run.err, StartsWith("usage: TLVK2Accessor [--yes] -export HANDOVER.xml"));
  EXPECT_THAT(run.err, HasSubstr("-salvage CAMERA_ROOT"));
  EXPECT_EQ(run.transcript, "");
}

// --help asks for the usage: it goes to standard output, and the run is done,
// whatever else the line asks for.
TEST_F(CK2AccessorWinApp, ProgramWithHelpPrintsTheUsageOnStandardOutput) {
  const std::string handOver = HandOverPath();
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, std::vector<std::string>{"/HELP"},
                                               std::vector<std::string>{"-export", handOver, "-help"}}) {
    SCOPED_TRACE(args.back());
    const ProgramRun run = RunProgramCopy(args, "");

    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, StartsWith("usage: TLVK2Accessor [--yes] -export HANDOVER.xml"));
    EXPECT_THAT(run.out, HasSubstr("-import CAMERA_FOLDER"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.transcript, "");
    EXPECT_TRUE(std::filesystem::exists(handOver));
  }
}

// The paths of the command line are taken from the working folder.
TEST_F(CK2AccessorWinApp, RelativePathsAreTakenFromTheWorkingFolder) {
  struct Case {
    std::vector<std::string> args;
    std::string exportFile;
    std::string importPath;
    std::string lastParam;
  };
  const std::string root = Root().string();
  const Case cases[] = {
      {{"-export", "h.xml", "-parentwindow", "1A2B"}, root + "/h.xml", "", "1A2B"},
      // The last argument is a path only for the salvage.
      {{"-export", "./sub/../h.xml"}, root + "/h.xml", "", "./sub/../h.xml"},
      {{"-export", "/elsewhere/h.xml"}, "/elsewhere/h.xml", "", "/elsewhere/h.xml"},
      {{"-import", "cam"}, "", root + "/cam", ""},
      {{"-salvage", "cam/"}, "", "", root + "/cam/"},
  };
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(Root());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    RecordingWinApp& app = MakeTableApp("");
    Run(c.args);
    EXPECT_EQ(app.GetCommandLine().m_strExportFile.ToMultiByte().ToStdString(), c.exportFile);
    EXPECT_EQ(app.GetCommandLine().m_strImportPath.ToMultiByte().ToStdString(), c.importPath);
    EXPECT_EQ(app.GetCommandLine().m_strLastParam.ToMultiByte().ToStdString(), c.lastParam);
    if (!c.exportFile.empty()) {
      EXPECT_EQ(app.flowExportFile.ToMultiByte().ToStdString(), c.exportFile);
    }
  }
  std::filesystem::current_path(before);
}

// Flows that only ask for their confirmation, as the program's own ask it:
// a confirmation dialog for the export, a question box for the import and
// the salvage. Without asking they end as cancelled by the user.
class ConfirmingWinApp final : public ::CK2AccessorWinApp {
 public:
  using ::CK2AccessorWinApp::CK2AccessorWinApp;

  bool ask = true;
  std::vector<std::string> errorLines;

 protected:
  ExportResult ExportFlow(const K2AccessorCommandLineInfo& /*commandLine*/) override {
    ui_test::TestPresenter confirm(157);
    confirm.confirmation = true;
    confirm.onInit = [](ui_test::TestPresenter&, XfDialogModel& model, XfUiHost&) {
      ui_test::AddOkCancel(model, u"Export to Camera");
    };
    const bool confirmed = ask && GetHost().RunModal(confirm) == kXfIdOk;
    SetExportOutcome(confirmed ? K2ExportOutcome::kCompleted : K2ExportOutcome::kCancelled);
    return kXpOk;
  }
  K2ExportOutcome ImportFlow(const XpString& /*importPath*/) override { return AskBox(); }
  K2ExportOutcome SalvageFlow(const XpString& /*cameraRoot*/) override { return AskBox(); }
  void WriteErrorLine(const std::string& line) override { errorLines.push_back(line); }

 private:
  K2ExportOutcome AskBox() {
    const bool confirmed = ask && DoMessageBox(nullptr, u"Go on?", kXfMbOkCancel | kXfMbIconQuestion) == kXfIdOk;
    return confirmed ? K2ExportOutcome::kCompleted : K2ExportOutcome::kCancelled;
  }
};

// Without a terminal a confirmation is declined unless --yes: the run says
// so in one line and ends as cancelled.
TEST_F(CK2AccessorWinApp, ConfirmationDeclinedWithoutATerminalSaysWhyInOneLine) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool yes;
    bool ask;
    int status;
    const char* line;  // null: no line
  };
  const std::string handOver = (Root() / "h.xml").string();
  const Case cases[] = {
      {"export", {"-export", handOver}, false, true, 2,
       "TLVK2Accessor: the export was not confirmed: no terminal is attached to ask; --yes confirms it"},
      {"import", {"-import", "/cam"}, false, true, 2,
       "TLVK2Accessor: the import was not confirmed: no terminal is attached to ask; --yes confirms it"},
      {"salvage", {"-salvage", "/cam"}, false, true, 2,
       "TLVK2Accessor: the salvage was not confirmed: no terminal is attached to ask; --yes confirms it"},
      {"export with --yes", {"-export", handOver}, true, true, 0, nullptr},
      {"import with --yes", {"-import", "/cam"}, true, true, 0, nullptr},
      {"cancelled without a confirmation", {"-export", handOver}, false, false, 2, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(handOver, HandOverFileText());
    const int echo = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(echo, 0);
    XfUiHostOptions options;
    options.yes = c.yes;
    options.catchSignals = false;
    XfUiHost host(std::make_unique<XfUiAutomaticBackend>(echo, true), options);
    ConfirmingWinApp app(host, XpString::FromUtf8(ProgramFolder().string()) + u"/");
    XpStringVector names;
    for (const std::string& name : requiredNames_) {
      names.push_back(XpString::FromUtf8(name));
    }
    app.SetRequiredFiles(names);
    app.ask = c.ask;
    std::vector<const char*> argv{"TLVK2Accessor"};
    for (const std::string& arg : c.args) {
      argv.push_back(arg.c_str());
    }

    EXPECT_EQ(app.Run(static_cast<int>(argv.size()), argv.data()), c.status);
    if (c.line != nullptr) {
      EXPECT_EQ(app.errorLines, std::vector<std::string>({c.line}));
    } else {
      EXPECT_TRUE(app.errorLines.empty()) << app.errorLines.front();
    }
    close(echo);
  }
}

// The program runs from a folder that holds these and nothing else of the
// build: the MP4 parser and the movie plug-in are not needed to start.
TEST_F(CK2AccessorWinApp, ProgramNeedsEachFileOfItsTable) {
  const std::vector<std::string> table = {"TLVK2Accessor", "Strings.xml", "libCatalogGrammar.so",
                                          "libCatalogGrammarExt.so", "TLVMPThumb"};
  std::vector<std::string> names;
  for (const XpString& name : K2DefaultRequiredFiles()) {
    names.push_back(name.ToMultiByte().ToStdString());
  }
  EXPECT_EQ(names, table);

  for (const std::string& name : table) {
    if (name == "TLVK2Accessor" || name == "Strings.xml") {
      continue;  // the running copy; the strings file has a test of its own
    }
    SCOPED_TRACE(name);
    LeaveOutRequiredFile(name);
    const std::filesystem::path missing = ProgramFolder() / name;
    std::filesystem::remove(missing);

    const ProgramRun run = RunProgramCopy({}, kAnswerOneBox);

    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> boxes = LinesStartingWith(SplitLines(run.transcript), "box \"");
    ASSERT_EQ(boxes.size(), 1u) << run.transcript;
    EXPECT_THAT(boxes[0], HasSubstr(kModulesText));
    const std::vector<std::string> errors = SplitLines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_THAT(errors[0], HasSubstr(missing.string()));
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
}

TEST_F(CK2AccessorWinApp, ProgramWhoseBackEndCannotBeMadeFails) {
  const ProgramRun run = RunProgramCopy({}, "this is no script\n");

  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> errors = SplitLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_THAT(errors[0], StartsWith("TLVK2Accessor: "));
}

TEST_F(CK2AccessorWinApp, ProgramWithoutStringsFileFailsAndKeepsTheHandOverFile) {
  std::filesystem::remove(ProgramFolder() / "Strings.xml");
  const std::string handOver = HandOverPath();

  const ProgramRun run = RunProgramCopy({"-export", handOver}, kAnswerOneBox);

  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> boxes = LinesStartingWith(SplitLines(run.transcript), "box \"");
  ASSERT_EQ(boxes.size(), 1u) << run.transcript;
  EXPECT_THAT(boxes[0], StartsWith("box \"\" \"\" style 0x30 "));
  const std::vector<std::string> errors = SplitLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_THAT(errors[0], HasSubstr("/program/Strings.xml"));
  EXPECT_TRUE(std::filesystem::exists(handOver));
}

}  // namespace
