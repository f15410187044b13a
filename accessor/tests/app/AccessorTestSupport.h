#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accessor/app/CK2AccessorWinApp.h"
#include "framework/tests/ui/UiTestSupport.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace accessor_test {

using ui_test::Lines;
using ui_test::LinesStartingWith;
using ui_test::MakeScriptedHost;

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// A property list whose root holds "ContentsGroupList" with one group.
std::string HandOverFileText();

// The process object with a recording export flow and standard error kept
// in errorLines.
class RecordingWinApp : public CK2AccessorWinApp {
 public:
  using CK2AccessorWinApp::CK2AccessorWinApp;

  // What the flow answers; with useBaseFlow the program's own flow runs.
  ExportResult flowResult = kXpOk;
  std::optional<K2ExportOutcome> flowOutcome = K2ExportOutcome::kCompleted;
  bool useBaseFlow = false;

  // What the flow saw.
  int flowCalls = 0;
  XpString flowExportFile;
  ExportResult baseFlowResult = kXpOk;
  bool applicationDuringFlow = false;
  XpString titleDuringFlow;
  XpString registryRootDuringFlow;

  std::vector<std::string> errorLines;

 protected:
  [[nodiscard]] ExportResult ExportFlow(const K2AccessorCommandLineInfo& commandLine) override;
  void WriteErrorLine(const std::string& line) override { errorLines.push_back(line); }
};

std::vector<std::string> SplitLines(const std::string& text);

// What a run of the program left.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
  std::string transcript;
};

// A program folder holding the test strings file as "Strings.xml".
class AccessorTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& ProgramFolder() const { return programFolder_; }

  // A new host and process object over the program folder; the previous
  // ones go first.
  RecordingWinApp& MakeApp(std::string_view script);
  // Runs the process object of MakeApp with the program's name and args.
  int Run(const std::vector<std::string>& args);

  // Copies the program into the program folder and runs the copy with args
  // on the scripted back end (script as its text), standard input from
  // /dev/null.
  ProgramRun RunProgramCopy(const std::vector<std::string>& args, const std::string& script);
  // Copies the required files that the program folder lacks from beside the
  // built program, but not those left out.
  void CopyRequiredFilesBesideProgram();
  // The built program copied into ProgramFolder() with its required files.
  // The program is copied once per test: overwriting an executable can fail
  // with ETXTBSY for a moment after its last run has been waited for.
  std::filesystem::path ProgramCopy();
  // Program copies run without the required file name from now on (only
  // that one; "" for none).
  void LeaveOutRequiredFile(const std::string& name) { leftOut_ = name; }

  RecordingWinApp& App() { return *app_; }
  const std::vector<std::string>& Transcript() const { return *lines_; }
  std::vector<std::string> Boxes() const { return LinesStartingWith(*lines_, "box \""); }

 private:
  std::filesystem::path programFolder_;
  // ProgramCopy has put the built program into programFolder_.
  bool programCopied_ = false;
  std::string leftOut_;
  Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<XfUiHost> host_;
  std::unique_ptr<RecordingWinApp> app_;
};

}  // namespace accessor_test
