#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/BenchOptions.h"

namespace {

struct ParseCase {
  const char* name;
  std::vector<std::string> arguments;
  bool accepted;
  bool quick;
  bool verifyOnly;
  int32_t runs;
  std::vector<int32_t> cases;
};

TEST(BenchOptions, ParsesTheCommandLine) {
  const ParseCase cases[] = {
      {"work only", {"--work", "w"}, true, false, false, BenchOptions::kDefaultRuns, {}},
      {"quick takes fewer runs", {"--quick", "-work", "w"}, true, true, false,
       BenchOptions::kQuickRuns, {}},
      {"runs given wins over quick", {"--quick", "--runs", "7", "--work", "w"}, true, true, false,
       7, {}},
      {"verify only and cases", {"--work", "w", "--verify-only", "--case", "2", "--case", "5"},
       true, false, true, BenchOptions::kDefaultRuns, {2, 5}},
      {"no work folder", {"--quick"}, false, false, false, 0, {}},
      {"zero runs", {"--work", "w", "--runs", "0"}, false, false, false, 0, {}},
      {"runs not a number", {"--work", "w", "--runs", "5x"}, false, false, false, 0, {}},
      {"work without value", {"--work"}, false, false, false, 0, {}},
      {"unknown flag", {"--work", "w", "--bogus"}, false, false, false, 0, {}},
      {"bare word", {"--work", "w", "extra"}, false, false, false, 0, {}},
      {"single dash throughout", {"-verify-only", "-case", "3", "-runs=2", "-work", "w"}, true,
       false, true, 2, {3}},
      {"work with =", {"--work=w", "--case=1"}, true, false, false, BenchOptions::kDefaultRuns,
       {1}},
      {"case not a number", {"--work", "w", "--case", "x"}, false, false, false, 0, {}},
      {"word after --", {"--work", "w", "--", "--quick"}, false, false, false, 0, {}},
      {"help", {"--work", "w", "-h"}, false, false, false, 0, {}},
  };
  for (const ParseCase& c : cases) {
    BenchOptions options;
    std::string error;
    const bool accepted = BenchOptions::Parse(c.arguments, options, error);
    ASSERT_EQ(accepted, c.accepted) << c.name << ": " << error;
    if (!accepted) {
      EXPECT_FALSE(error.empty()) << c.name;
      continue;
    }
    EXPECT_EQ(options.workFolder, "w") << c.name;
    EXPECT_EQ(options.quick, c.quick) << c.name;
    EXPECT_EQ(options.verifyOnly, c.verifyOnly) << c.name;
    EXPECT_EQ(options.runs, c.runs) << c.name;
    EXPECT_EQ(options.cases, c.cases) << c.name;
  }
}

TEST(BenchOptions, ReadTellsHelpFromABadCommandLine) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    XpToolArguments::Outcome outcome;
    std::string line;
  };
  const Case cases[] = {
      {"--help", {"--help"}, XpToolArguments::Outcome::kHelp, ""},
      {"-help", {"-help"}, XpToolArguments::Outcome::kHelp, ""},
      {"unknown", {"--bogus"}, XpToolArguments::Outcome::kBadUsage,
       "k2bench: unknown option '--bogus'"},
      {"no work", {"-quick"}, XpToolArguments::Outcome::kBadUsage,
       "k2bench: --work FOLDER is required"},
      {"work without value", {"-work"}, XpToolArguments::Outcome::kBadUsage,
       "k2bench: option '--work' needs a value"},
      {"operand", {"--work", "w", "extra"}, XpToolArguments::Outcome::kBadUsage,
       "k2bench: unexpected argument: extra"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BenchOptions options;
    XpToolArguments parsed = BenchOptions::Arguments();
    EXPECT_EQ(BenchOptions::Read(c.arguments, options, parsed), c.outcome);
    EXPECT_EQ(parsed.Line(), c.line);
  }
}

TEST(BenchOptions, WantsEveryCaseUnlessNamed) {
  BenchOptions options;
  EXPECT_TRUE(options.Wants(1));
  EXPECT_TRUE(options.Wants(5));
  options.cases = {2};
  EXPECT_TRUE(options.Wants(2));
  EXPECT_FALSE(options.Wants(1));
}

}  // namespace
