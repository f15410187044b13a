#include "accessor/tests/app/AccessorTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <utility>

#include "accessor/app/K2RequiredFiles.h"
#include "framework/strings/XfStringLookup.h"
#include "platform/fs/XpRestarted.h"
#include "platform/text/XpStringA.h"

extern char** environ;

namespace accessor_test {

namespace {

// The strings file of the program folder; the tests bring their own.
constexpr const char* kStringsFileName = "Strings.xml";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  ASSERT_TRUE(file.good()) << path;
}

std::string HandOverFileText() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<plist version=\"1.0\"><dict>"
         "<key>XMLFileType</key><string>ContentInfoXML</string>"
         "<key>SourceApp</key><string>Browser</string>"
         "<key>ContentsGroupList</key><array><dict>"
         "<key>GroupName</key><string>Holiday</string>"
         "<key>ContentsList</key><array><dict>"
         "<key>Files</key><array><string>/pictures/a.jpg</string></array>"
         "</dict></array>"
         "</dict></array>"
         "</dict></plist>\n";
}

ExportResult RecordingWinApp::ExportFlow(const K2AccessorCommandLineInfo& commandLine) {
  ++flowCalls;
  flowExportFile = commandLine.m_strExportFile;
  applicationDuringFlow = GetApplication() != nullptr;
  titleDuringFlow = XfGetString(u"UI/ExportConfirm/0-0");
  registryRootDuringFlow = GetApplication() != nullptr ? GetApplication()->GetRegistryRootPath() : XpString();
  if (useBaseFlow) {
    baseFlowResult = CK2AccessorWinApp::ExportFlow(commandLine);
    return baseFlowResult;
  }
  if (flowOutcome) {
    SetExportOutcome(*flowOutcome);
  }
  return flowResult;
}

void AccessorTest::SetUp() {
  HermeticTest::SetUp();
  programFolder_ = Dir("program");
  std::filesystem::copy_file(KAVO_ACCESSOR_TEST_STRINGS, programFolder_ / kStringsFileName);
}

void AccessorTest::TearDown() {
  app_.reset();
  host_.reset();
  XfSetStringsSource(XpSharedPtr<IXfStringsSource>());
  HermeticTest::TearDown();
}

RecordingWinApp& AccessorTest::MakeApp(std::string_view script) {
  app_.reset();
  host_.reset();
  lines_->clear();
  host_ = MakeScriptedHost(script, lines_);
  app_ =
      std::make_unique<RecordingWinApp>(*host_, XpString::FromUtf8(programFolder_.string()) + u"/");
  return *app_;
}

int AccessorTest::Run(const std::vector<std::string>& args) {
  EXPECT_NE(app_, nullptr) << "MakeApp first";
  if (!app_) {
    return -1;
  }
  std::vector<const char*> argv{"TLVK2Accessor"};
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  return app_->Run(static_cast<int>(argv.size()), argv.data());
}

void AccessorTest::CopyRequiredFilesBesideProgram() {
  // The build put them beside the built program; the test's own strings
  // file stays.
  const std::filesystem::path built = std::filesystem::path(KAVO_TLVK2ACCESSOR_PATH).parent_path();
  for (const XpString& name : K2DefaultRequiredFiles()) {
    const std::string leaf = name.ToMultiByte().CStr();
    const std::filesystem::path target = programFolder_ / leaf;
    if (leaf != kStringsFileName && leaf != leftOut_ && !std::filesystem::exists(target)) {
      std::filesystem::copy_file(built / leaf, target);
    }
  }
}

std::filesystem::path AccessorTest::ProgramCopy() {
  const std::filesystem::path program = programFolder_ / "TLVK2Accessor";
  if (!programCopied_) {
    std::filesystem::copy_file(KAVO_TLVK2ACCESSOR_PATH, program, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    programCopied_ = true;
  }
  CopyRequiredFilesBesideProgram();
  return program;
}

ProgramRun AccessorTest::RunProgramCopy(const std::vector<std::string>& args, const std::string& script) {
  const std::filesystem::path program = ProgramCopy();
  const std::filesystem::path scriptPath = Root() / "ui.script";
  const std::filesystem::path transcriptPath = Root() / "ui.transcript";
  const std::filesystem::path outPath = Root() / "out.txt";
  const std::filesystem::path errPath = Root() / "err.txt";
  WriteFile(scriptPath, script);
  SetEnv("KAVO_UI_SCRIPT", scriptPath.string());
  SetEnv("KAVO_UI_TRANSCRIPT", transcriptPath.string());

  std::vector<std::string> argvText{program.string()};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvText) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProgramRun run;
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program << ": " << spawned;
    return run;
  }
  int status = 0;
  if (XpRestarted([&] { return waitpid(pid, &status, 0); }) < 0) {
    ADD_FAILURE() << "cannot wait for " << program << ": " << errno;
    return run;
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  run.transcript = ReadFile(transcriptPath);
  return run;
}

}  // namespace accessor_test
