#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/testsupport/HermeticTest.h"

namespace {

class K2Bench : public testsupport::HermeticTest {
 protected:
  // Runs k2bench with arguments; its exit code, its output in output.
  int RunBench(const std::string& arguments, std::string& output) {
    const std::string log = (Root() / "k2bench.log").string();
    const int status =
        std::system((std::string(K2BENCH_PROGRAM) + " " + arguments + " >" + log + " 2>&1").c_str());
    std::ifstream in(log);
    output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(K2Bench, QuickRunProducesVerifiedOutput) {
  std::string output;
  const std::string work = Dir("work").string();
  ASSERT_EQ(RunBench("--quick --verify-only --work " + work, output), 0) << output;
  for (const char* verified : {"1 export of 3 pictures (1280x960), no conversion: output verified",
                               "2 one 1280x960 picture converted to fit 640x480: output verified",
                               "3 export of 3 pictures converted to 640x480: output verified",
                               "4 album database: 2000 contents + commit, open included: output "
                               "verified",
                               "5 10 contents + commit on 100 / 300 held: output verified",
                               "6 peak memory, export of one 1600x1600 picture: output verified",
                               "7 one 1280x960 picture converted to 1920x1080, cut: output "
                               "verified"}) {
    EXPECT_NE(output.find(verified), std::string::npos) << verified << "\n" << output;
  }
  EXPECT_EQ(output.find("FAILED"), std::string::npos) << output;
}

}  // namespace
