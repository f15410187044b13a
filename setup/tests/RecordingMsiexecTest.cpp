#include "setup/tests/tools/RecordingMsiexec.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSyncObject.h"
#include "platform/testsupport/HermeticTest.h"
#include "setup/launch/RunInstaller.h"

namespace {

namespace fs = std::filesystem;

constexpr long long kNsPerMs = 1000 * 1000;
constexpr long long kSleepMs = 300;
constexpr const char* kSleepSeconds = "0.3";
// Each run sees only the steering variables its case gives.
constexpr const char* kUnsetSteering =
    "unset MSIEXEC_RECORD MSIEXEC_EXIT MSIEXEC_PROBE MSIEXEC_RELEASE MSIEXEC_SLEEP MSIEXEC_WATCH; ";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The recording installer written into a folder of its own and run by the
// shell from another folder with the arguments "a b" and "c".
class RecordingMsiexecFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    std::string error;
    ASSERT_TRUE(setuptest::WriteRecordingMsiexec(Program().string(), &error)) << error;
  }

  // The exit status of one run with these variable assignments before it,
  // or -1.
  int Run(const std::string& assignments) const {
    const std::string command = std::string(kUnsetSteering) + "cd '" + WorkDir().string() +
                                "' && " + assignments + " '" + Program().string() + "' 'a b' c >'" +
                                Stdout().string() + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path Program() const { return Dir("bin") / "Msiexec"; }
  fs::path WorkDir() const { return Dir("work"); }
  fs::path Record() const { return Root() / "record"; }
  fs::path Stdout() const { return Root() / "stdout"; }
  std::string RecordTo() const { return "MSIEXEC_RECORD='" + Record().string() + "'"; }
};
using RecordingMsiexec = RecordingMsiexecFixture;

TEST_F(RecordingMsiexec, RecordsEachBehaviourItIsToldToActOut) {
  const fs::path transcript = Root() / "transcript";
  std::ofstream(transcript)
      << "form 1 show \"QMV Installer\"\nform 1 end 1\nbox \"a\" \"b\"\nform 2 end 2\n";
  const std::string watch = " MSIEXEC_WATCH='" + transcript.string() + "'";
  const std::string watchMissing = " MSIEXEC_WATCH='" + (Root() / "none").string() + "'";
  struct Case {
    const char* name;
    std::string assignments;
    // A preparing semaphore with no units exists while it runs.
    bool semaphore;
    int status;
    std::string probe;
    bool released;
    int watchedEnds;
    long long minimumNs;
  };
  const Case cases[] = {
      {"nothing asked", "", false, 0, "", false, -1, 0},
      {"probe, no semaphore", " MSIEXEC_PROBE=1", false, 0, "absent", false, -1, 0},
      {"probe, semaphore", " MSIEXEC_PROBE=1", true, 0, "open", false, -1, 0},
      {"release, no semaphore", " MSIEXEC_RELEASE=1", false, 0, "", false, -1, 0},
      {"release, semaphore", " MSIEXEC_RELEASE=1", true, 0, "", true, -1, 0},
      {"sleep", std::string(" MSIEXEC_SLEEP=") + kSleepSeconds, false, 0, "", false, -1,
       kSleepMs * kNsPerMs},
      {"watch", watch, false, 0, "", false, 2, 0},
      {"watch a missing transcript", watchMissing, false, 0, "", false, 0, 0},
      {"exit 3", " MSIEXEC_EXIT=3", false, 3, "", false, -1, 0},
      {"all at once", " MSIEXEC_PROBE=1 MSIEXEC_RELEASE=1 MSIEXEC_EXIT=5" + watch, true, 5, "open",
       true, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Record());
    XpNamedObject semaphore;
    if (c.semaphore) {
      ASSERT_EQ(semaphore.CreateSemaphore(kSetupPrepareSemaphoreName, 0, 1), kXpOk);
    }

    EXPECT_EQ(Run(RecordTo() + c.assignments), c.status);
    EXPECT_EQ(ReadText(Stdout()), "Msiexec a b c\n");
    const auto runs = setuptest::ReadMsiexecRecord(Record().string());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"a b", "c"}));
    EXPECT_EQ(runs[0].workingFolder, WorkDir().string());
    EXPECT_EQ(runs[0].probe, c.probe);
    EXPECT_EQ(runs[0].released, c.released);
    EXPECT_EQ(runs[0].watchedEnds, c.watchedEnds);
    EXPECT_EQ(runs[0].exitCode, c.status);
    EXPECT_GT(runs[0].startNs, 0);
    EXPECT_GE(runs[0].endNs - runs[0].startNs, c.minimumNs);
    if (c.semaphore) {
      // The unit it released, and no other, can be taken.
      EXPECT_EQ(semaphore.Wait(kXpTryOnce), c.released ? kXpOk : kXpErrTimeout);
    }
  }
}

TEST_F(RecordingMsiexec, WithoutARecordFileItAppendsEachRunBesideItself) {
  EXPECT_EQ(Run("MSIEXEC_EXIT=1"), 1);
  EXPECT_EQ(Run("MSIEXEC_EXIT=2"), 2);
  EXPECT_FALSE(fs::exists(Record()));
  const auto runs =
      setuptest::ReadMsiexecRecord((Program().parent_path() / "Msiexec.record").string());
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].exitCode, 1);
  EXPECT_EQ(runs[1].exitCode, 2);
  EXPECT_LE(runs[0].endNs, runs[1].startNs);
}

}  // namespace
