// setup run as a program, from a folder of its own.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "setup/tests/SetupTestSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kMissingForInstaller =
    "Cannot start Installer because the necessary files do not exist or the files are "
    "corrupted.";

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class SetupProcess : public setuptest::SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    std::filesystem::copy_file(KAVO_SETUP_PROGRAM, ProgramDir() / "setup");
  }

  // Runs the copied program without input; environment holds "NAME=value"
  // settings, and KAVO_UI_SCRIPT is dropped unless given there. The exit
  // status, or -1 when it did not exit.
  int RunProgram(const std::string& environment = std::string()) {
    const std::string command = "env -u KAVO_UI_SCRIPT -u KAVO_UI_TRANSCRIPT " + environment +
                                " " + (ProgramDir() / "setup").string() + " </dev/null >" +
                                (Root() / "stdout").string() + " 2>" +
                                (Root() / "stderr").string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Stderr() const { return ReadText(Root() / "stderr"); }
};

TEST_F(SetupProcess, WithoutSettingsFileShowsOneBoxAndExitsOne) {
  EXPECT_EQ(RunProgram(), 1);
  const std::string errors = Stderr();
  EXPECT_THAT(errors, HasSubstr(std::string("[] ") + kMissingForInstaller));
  EXPECT_THAT(errors, HasSubstr("setup.ini"));
}

TEST_F(SetupProcess, ScriptedBoxHasTheErrorStyle) {
  std::ofstream(Root() / "script") << "box * press ok\n";
  const std::filesystem::path transcript = Root() / "transcript";
  EXPECT_EQ(RunProgram("KAVO_UI_SCRIPT=" + (Root() / "script").string() +
                       " KAVO_UI_TRANSCRIPT=" + transcript.string()),
            1);
  EXPECT_THAT(setuptest::BoxLines(SplitLines(ReadText(transcript))),
              ElementsAre(setuptest::ErrorBoxLine(u"", XpString::FromUtf8(kMissingForInstaller))));
}

TEST_F(SetupProcess, UnbuiltChecksNeverReportSuccess) {
  WriteInstallSet(setuptest::CompleteSettings());
  EXPECT_EQ(RunProgram(), 1);
  EXPECT_THAT(Stderr(),
              HasSubstr("[QMV Setup] Cannot start QMV because the necessary files do not exist"));
}

}  // namespace
