#include "accessor/app/CK2AccessorWinApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "accessor/app/K2AccessorApplication.h"
#include "accessor/app/K2RequiredFiles.h"
#include "accessor/tests/app/AccessorTestSupport.h"
#include "platform/registry/XpRegistry.h"

namespace {

using accessor_test::AccessorTest;
using accessor_test::HandOverFileText;
using accessor_test::LinesStartingWith;
using accessor_test::ProgramRun;
using accessor_test::SplitLines;
using accessor_test::Narrow;
using accessor_test::RecordingWinApp;
using accessor_test::WidePath;
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
      names.push_back(accessor_test::Wide(name));
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

TEST_F(CK2AccessorWinApp, AllRequiredFilesPresentAndNoArgumentsEndsAtOnce) {
  RecordingWinApp& app = MakeTableApp("");

  EXPECT_EQ(Run({}), 0);
  EXPECT_TRUE(Transcript().empty());
  EXPECT_EQ(app.flowCalls, 0);
  EXPECT_TRUE(app.errorLines.empty());
  EXPECT_EQ(app.GetApplication(), nullptr);
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
  std::unique_ptr<K2AccessorApplication> application = CreateAccessorApplication(WidePath(ProgramFolder()));
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
      {"importscore", {"-importscore"}, K2ExportOutcome::kFailed, "", 0, 0},
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
  EXPECT_EQ(Narrow(app.flowExportFile), handOver);
  EXPECT_TRUE(app.applicationDuringFlow);
  EXPECT_EQ(Narrow(app.titleDuringFlow), "[UI/ExportConfirm/0-0]");
  EXPECT_THAT(Narrow(app.registryRootDuringFlow), HasSubstr("QMV"));
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

TEST_F(CK2AccessorWinApp, ProgramWithoutArgumentsEndsQuietly) {
  const ProgramRun run = RunProgramCopy({}, "");

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.transcript, "");
}

// The program runs from a folder that holds these and nothing else of the
// build: the MP4 parser and the movie plug-in are not needed to start.
TEST_F(CK2AccessorWinApp, ProgramNeedsEachFileOfItsTable) {
  const std::vector<std::string> table = {"TLVK2Accessor", "Strings.xml", "libCatalogGrammar.so",
                                          "libCatalogGrammarExt.so", "TLVMPThumb"};
  std::vector<std::string> names;
  for (const XpString& name : K2DefaultRequiredFiles()) {
    names.push_back(Narrow(name));
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
