#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "setup/tests/tools/TestPackage.h"
#include "setup/tests/tools/TestPki.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMakerName = "Kavo Corporation Europe";

struct ToolRun {
  int status = -1;
  std::string output;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs the tool in the working folder with its standard error left out.
ToolRun RunTool(const fs::path& workingFolder, const std::string& arguments) {
  const std::string command = "cd " + Quoted(workingFolder.string()) + " && " +
                              Quoted(KAVO_SETUP_VERIFY_PROGRAM) + " " + arguments + " 2>/dev/null";
  ToolRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[256];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

using SetupVerifyTool = testsupport::HermeticTest;

TEST_F(SetupVerifyTool, RelativePathsCountFromTheWorkingFolder) {
  const setuptest::Credential ca = setuptest::MakeCertificateAuthority("Test Root");
  const std::string caPem = (Root() / "ca.pem").string();
  ASSERT_TRUE(setuptest::WriteCertificatePem(ca, caPem));
  SetEnv("KAVO_CA_BUNDLE", caPem);
  setuptest::CertificateRequest request;
  request.commonName = kMakerName;
  const setuptest::Credential signer = setuptest::MakeLeaf(request, ca);
  const fs::path folder = Dir("files");
  fs::create_directories(folder / "sub");
  const std::string script = (folder / "configure.sh").string();
  ASSERT_TRUE(setuptest::WriteBytes(script, "#!/bin/sh\necho configured\n"));
  ASSERT_TRUE(setuptest::SignDetached(signer, script));

  const std::string accepted = std::string("valid=1 maker=1 signer=\"") + kMakerName + "\"\n";
  for (const char* argument : {"configure.sh", "./sub/../configure.sh"}) {
    SCOPED_TRACE(argument);
    const ToolRun run = RunTool(folder, argument);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, accepted);
  }
  // The verdict is the tool's answer: when it cannot be written, the run
  // failed.
  EXPECT_EQ(RunTool(folder, "configure.sh >/dev/full").status, 1);
}

TEST_F(SetupVerifyTool, AnswersHelpAndRefusesAnythingButOnePath) {
  struct Case {
    const char* arguments;
    int status;
    bool usageOut;
  };
  const Case cases[] = {
      {"--help", 0, true},
      {"-h", 0, true},
      {"", 2, false},
      {"a b", 2, false},
      {"--bogus a", 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = RunTool(Root(), c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.output.rfind("usage: setup-verify PATH\n", 0) == 0, c.usageOut) << run.output;
  }
}

}  // namespace
