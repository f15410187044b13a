#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MsiPropertiesFile.h"
#include "MsiRunDriver.h"
#include "MsiRunProcess.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

class MsiRun : public testsupport::HermeticTest {
 protected:
  msitest::ProgramRun Run(const std::vector<std::string>& arguments) {
    return msitest::RunProgram(KAVO_MSIRUN_PROGRAM, arguments, Dir("run"));
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const fs::path path = Dir("input") / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  const std::string actions_ = KAVO_MSI_TEST_ACTIONS;
};

TEST_F(MsiRun, LoadsThePropertiesFileAndPrintsTheOutcome) {
  const std::string file = WriteFile(
      "props", "# comment\r\nEMPTY=\r\nA=b=c\r\n\r\n RAW = kept \r\n[Feature]\r\nRU_Feature\r\nEN_Feature\r\n");
  const msitest::ProgramRun run =
      Run({"--properties", file, "--feature", "DE_Feature", actions_, "MsiTest_SetFeature", "Z=1"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "call MsiTest_SetFeature 0\n"
            "property  RAW = kept \n"
            "property A=b=c\n"
            "property EMPTY=\n"
            "property Z=1\n"
            "feature RU_Feature 3\n"
            "feature EN_Feature -1\n"
            "feature DE_Feature -1\n");
}

TEST_F(MsiRun, ExportsRunInOrderOnOneInstallation) {
  // Arguments override the file's properties.
  const std::string file = WriteFile("props", "A=from file\nRETURN_CODE=0\n");
  const msitest::ProgramRun run =
      Run({"--properties", file, actions_, "MsiTest_CopyAToB", "A=argument", "MsiTest_CopyBToC"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "call MsiTest_CopyAToB 0\n"
            "call MsiTest_CopyBToC 0\n"
            "property A=argument\n"
            "property B=argument\n"
            "property C=argument\n"
            "property RETURN_CODE=0\n");
}

TEST_F(MsiRun, ExitStatusFollowsTheExportsAndTheLoading) {
  const msitest::ProgramRun failed = Run({actions_, "MsiTest_Return", "MsiTest_CopyAToB", "RETURN_CODE=5"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.out, "call MsiTest_Return 5\ncall MsiTest_CopyAToB 1\nproperty RETURN_CODE=5\n");

  const std::string missing = (Root() / "nowhere" / "libNone.so").string();
  const msitest::ProgramRun noLibrary = Run({missing, "MsiTest_Return"});
  EXPECT_EQ(noLibrary.exitCode, 3);
  EXPECT_NE(noLibrary.err.find(missing), std::string::npos) << noLibrary.err;
  EXPECT_EQ(noLibrary.out, "");

  const msitest::ProgramRun noExport = Run({actions_, "MsiTest_Return", "MsiTest_Missing"});
  EXPECT_EQ(noExport.exitCode, 3);
  EXPECT_NE(noExport.err.find("MsiTest_Missing"), std::string::npos) << noExport.err;
  // Nothing is called when any export is missing.
  EXPECT_EQ(noExport.out, "");
}

TEST_F(MsiRun, QuestionsAreAnsweredByTheOptionOrDeclined) {
  struct Case {
    std::vector<std::string> options;
    std::string answer;
  } cases[] = {{{"--answer", "yes"}, "6"}, {{"--answer", "no"}, "7"}, {{}, "7"}};
  for (const Case& c : cases) {
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {actions_, "MsiTest_Ask"});
    const msitest::ProgramRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "question Licence " + c.answer + "\ncall MsiTest_Ask 0\nproperty ANSWER=" +
                           c.answer + "\n");
  }
}

TEST_F(MsiRun, HoldReturnsWhenInputEnds) {
  // Standard input is /dev/null: it ends at once, after the whole report.
  const msitest::ProgramRun run = Run({"--hold", actions_, "MsiTest_CopyAToB", "A=1"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "call MsiTest_CopyAToB 0\nproperty A=1\nproperty B=1\n");
}

TEST_F(MsiRun, UsageAndPropertiesFileErrorsExitWithTwo) {
  const std::string bad = WriteFile("bad", "A=1\nnot a property\n");
  const msitest::ProgramRun badFile = Run({"--properties", bad, actions_, "MsiTest_Return"});
  EXPECT_EQ(badFile.exitCode, 2);
  EXPECT_NE(badFile.err.find(bad + ": line 2"), std::string::npos) << badFile.err;
  EXPECT_EQ(badFile.out, "");

  const std::vector<std::vector<std::string>> usages = {
      {},
      {actions_},
      {"--answer", "maybe", actions_, "MsiTest_Return"},
      {"--properties"},
      {"--unknown", actions_, "MsiTest_Return"},
      {"--properties", (Root() / "missing").string(), actions_, "MsiTest_Return"},
      {actions_, "MsiTest_Return", "=value"},
  };
  for (const auto& arguments : usages) {
    EXPECT_EQ(Run(arguments).exitCode, 2) << arguments.size();
  }
}

TEST(MsiRunOptions, ReadsOptionsThenTheLibraryAndItsExports) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string properties;
    std::vector<std::u16string> features;
    std::optional<int32_t> answer;
    bool hold;
    std::string library;
    std::vector<std::string> exports;
    std::vector<std::string> assignments;
  };
  const Case cases[] = {
      {"library and export", {"lib.so", "E"}, "", {}, std::nullopt, false, "lib.so", {"E"}, {}},
      {"every option",
       {"--properties", "p", "--feature", "F1", "--answer", "yes", "--hold", "--feature=F2",
        "lib.so", "E"},
       "p",
       {u"F1", u"F2"},
       kMsiAnswerYes,
       true,
       "lib.so",
       {"E"},
       {}},
      {"the last properties and answer win",
       {"--properties=p", "--properties", "q", "--answer", "yes", "--answer", "no", "lib.so", "E"},
       "q",
       {},
       kMsiAnswerNo,
       false,
       "lib.so",
       {"E"},
       {}},
      {"exports and assignments mixed",
       {"lib.so", "E1", "A=1", "E2", "B=", "--hold"},
       "",
       {},
       std::nullopt,
       false,
       "lib.so",
       {"E1", "E2", "--hold"},
       {"A=1", "B="}},
      {"-- before a library named like an option",
       {"--", "-lib.so", "E"},
       "",
       {},
       std::nullopt,
       false,
       "-lib.so",
       {"E"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    msirun::RunOptions options;
    XpToolArguments parsed = msirun::RunArguments();
    ASSERT_EQ(msirun::ReadRunOptions(c.arguments, &options, &parsed),
              XpToolArguments::Outcome::kDone)
        << parsed.Line();
    EXPECT_EQ(options.propertiesFile, c.properties);
    EXPECT_EQ(options.features, c.features);
    EXPECT_EQ(options.answer, c.answer);
    EXPECT_EQ(options.hold, c.hold);
    EXPECT_EQ(options.library, c.library);
    EXPECT_EQ(options.exports, c.exports);
    EXPECT_EQ(options.assignments, c.assignments);
  }
}

TEST(MsiRunOptions, TellsHelpFromACommandLineThatDoesNotFit) {
  struct Case {
    std::vector<std::string> arguments;
    XpToolArguments::Outcome outcome;
    std::string line;
  };
  const Case cases[] = {
      {{"--help", "lib.so", "E"}, XpToolArguments::Outcome::kHelp, ""},
      {{}, XpToolArguments::Outcome::kBadUsage, "msirun: no library"},
      {{"lib.so", "A=1"}, XpToolArguments::Outcome::kBadUsage, "msirun: no export"},
      {{"--answer", "maybe", "lib.so", "E"},
       XpToolArguments::Outcome::kBadUsage,
       "msirun: --answer takes yes or no"},
      {{"--answer", "maybe", "--answer", "yes", "lib.so", "E"},
       XpToolArguments::Outcome::kBadUsage,
       "msirun: --answer takes yes or no"},
      {{"--properties"},
       XpToolArguments::Outcome::kBadUsage,
       "msirun: option '--properties' needs a value"},
      {{"--unknown", "lib.so", "E"},
       XpToolArguments::Outcome::kBadUsage,
       "msirun: unknown option '--unknown'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    msirun::RunOptions options;
    XpToolArguments parsed = msirun::RunArguments();
    EXPECT_EQ(msirun::ReadRunOptions(c.arguments, &options, &parsed), c.outcome);
    EXPECT_EQ(parsed.Line(), c.line);
  }
}

TEST_F(MsiRun, PropertiesTextLines) {
  msirun::PropertiesFile file;
  std::string error;
  ASSERT_TRUE(msirun::ParsePropertiesText("A=1\n#x=2\n\nB=\xC3\xA9\n[Feature]\nF=1\n", &file, &error));
  EXPECT_EQ(file.properties, (msi::PropertyMap{{u"A", u"1"}, {u"B", u"\u00E9"}}));
  EXPECT_EQ(file.features, (std::vector<std::u16string>{u"F=1"}));
  EXPECT_FALSE(msirun::ParsePropertiesText("A=1\r\n=2\r\n", &file, &error));
  EXPECT_EQ(error, "line 2: not NAME=VALUE");
}

}  // namespace
