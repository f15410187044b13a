#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchTool.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr size_t kBallastBytes = size_t{256} << 20;
// Far below the ballast, far above what true or false need.
constexpr int64_t kSmallProgramKb = 64 * 1024;

class BenchToolRuns : public testsupport::HermeticTest {
 protected:
  // Made once the test's own folder exists: each test logs into its own.
  void SetUp() override {
    HermeticTest::SetUp();
    tool_.emplace((Root() / "tools.log").string());
  }

  std::optional<BenchTool> tool_;
};

// A program started from a process holding much memory reports its own
// peak, not the starter's.
TEST_F(BenchToolRuns, PeakMemoryIsTheProgramsOwn) {
  if (access("/usr/bin/time", X_OK) != 0) {
    GTEST_SKIP() << "/usr/bin/time is not installed";
  }
  const std::vector<uint8_t> ballast(kBallastBytes, 1);
  const BenchToolRun run = tool_->Run({"true"});
  ASSERT_TRUE(run.Succeeded());
  EXPECT_GT(run.peakRssKb, 0);
  EXPECT_LT(run.peakRssKb, kSmallProgramKb);
  EXPECT_EQ(ballast.back(), 1);
}

TEST_F(BenchToolRuns, ExitCodesAndEnvironmentReachTheCaller) {
  struct Case {
    const char* name;
    std::vector<std::string> environment;
    std::vector<std::string> arguments;
    int exitCode;
  };
  const Case cases[] = {
      {"success", {}, {"true"}, 0},
      {"failure", {}, {"false"}, 1},
      {"environment inherited", {}, {"sh", "-c", "test \"$BENCH_PROBE\" = inherited"}, 0},
      {"variable given", {"BENCH_PROBE=7"}, {"sh", "-c", "test \"$BENCH_PROBE\" = 7"}, 0},
      {"variable not given", {"OTHER=1"}, {"sh", "-c", "test -z \"$BENCH_PROBE\""}, 0},
  };
  SetEnv("BENCH_PROBE", "inherited");
  for (const Case& c : cases) {
    const BenchToolRun run =
        c.environment.empty() ? tool_->Run(c.arguments) : tool_->RunIn(c.environment, c.arguments);
    EXPECT_TRUE(run.started) << c.name;
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(run.Succeeded(), c.exitCode == 0) << c.name;
  }
}

// A pipe runs both programs at once, the second's output in the file; a
// failure of either side fails the run.
TEST_F(BenchToolRuns, PipeFeedsTheSecondProgram) {
  const std::string output = (Root() / "piped.txt").string();
  const BenchToolRun run = tool_->RunPipe({"printf", "abc"}, {"tr", "a-c", "x-z"}, output);
  ASSERT_TRUE(run.Succeeded());
  std::ifstream in(output);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "xyz");
  EXPECT_FALSE(tool_->RunPipe({"false"}, {"cat"}, output).Succeeded());
  EXPECT_FALSE(tool_->RunPipe({"printf", "abc"}, {"false"}, output).Succeeded());
}

// The processor time of the reaped program is counted, its children's too.
TEST_F(BenchToolRuns, ProcessorTimeIncludesTheProgramsChildren) {
  const BenchToolRun run =
      tool_->Run({"sh", "-c", "i=0; while [ $i -lt 200000 ]; do i=$((i+1)); done"});
  ASSERT_TRUE(run.Succeeded());
  EXPECT_GT(run.cpuSeconds, 0.01);
}

}  // namespace
