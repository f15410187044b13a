#include "platform/process/XpStandardOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class XpStandardOutput : public testsupport::HermeticTest {
 protected:
  struct Outcome {
    int exitCode;
    std::string errorText;
  };

  // Runs a tool's end in a child whose standard output is outputPath and
  // whose standard error is a file; the child writes a line first.
  Outcome FinishInChild(const char* outputPath, int status) {
    const std::string errorPath = (Root() / "stderr").string();
    testsupport::ForkedChild child;
    EXPECT_TRUE(child.Start([&](testsupport::ChildChannel&) {
      int out = ::open(outputPath, O_WRONLY);
      int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0) {
        return 99;
      }
      std::cout << "1234\n";
      std::printf("more\n");
      return XpFinishStandardOutput("tool", status);
    }));
    Outcome outcome{child.Wait(), {}};
    std::ifstream file(errorPath);
    std::stringstream text;
    text << file.rdbuf();
    outcome.errorText = text.str();
    return outcome;
  }
};

TEST_F(XpStandardOutput, AnAnswerThatCannotBeWrittenTurnsSuccessIntoFailure) {
  struct Row {
    const char* output;
    int status;
    int exitCode;
    std::string errorText;
  };
  const Row rows[] = {
      {"/dev/full", 0, 1, "tool: cannot write the standard output: No space left on device\n"},
      {"/dev/full", 2, 2, "tool: cannot write the standard output: No space left on device\n"},
      {"/dev/null", 0, 0, ""},
      {"/dev/null", 1, 1, ""},
  };
  for (const Row& row : rows) {
    Outcome outcome = FinishInChild(row.output, row.status);
    EXPECT_EQ(outcome.exitCode, row.exitCode) << row.output << " " << row.status;
    EXPECT_EQ(outcome.errorText, row.errorText) << row.output << " " << row.status;
  }
}

}  // namespace
