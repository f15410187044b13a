#include "platform/process/XpToolArguments.h"

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Outcome = XpToolArguments::Outcome;

constexpr const char* kSynopsis = "usage: tool [options] FILE...\n";

XpToolArguments MakeArguments() {
  return XpToolArguments("tool", kSynopsis,
                         {{"frame", 'f', true, "the frame's time"},
                          {"oriented", '\0', false, "turns the picture upright"},
                          {"server", 's', true, "the server program"},
                          {"quiet", 'q', false, "says nothing"}});
}

TEST(XpToolArguments, ParsesOptionsAndOperands) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    Outcome outcome;
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> values;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, Outcome::kDone, {}, {}, ""},
      {"operands only", {"a", "b"}, Outcome::kDone, {"a", "b"}, {}, ""},
      {"long with =", {"--frame=20", "a"}, Outcome::kDone, {"a"}, {{"frame", "20"}}, ""},
      {"long with next", {"--frame", "20", "a"}, Outcome::kDone, {"a"}, {{"frame", "20"}}, ""},
      {"short attached", {"-f20", "a"}, Outcome::kDone, {"a"}, {{"frame", "20"}}, ""},
      {"short cluster", {"-qs", "srv", "a"}, Outcome::kDone, {"a"}, {{"quiet", ""}, {"server", "srv"}}, ""},
      {"long only flag", {"--oriented", "a"}, Outcome::kDone, {"a"}, {{"oriented", ""}}, ""},
      {"last value wins", {"-f1", "--frame", "2"}, Outcome::kDone, {}, {{"frame", "2"}}, ""},
      {"-- ends the options", {"--", "-q", "--frame"}, Outcome::kDone, {"-q", "--frame"}, {}, ""},
      {"the first operand ends them", {"a", "-q", "-x"}, Outcome::kDone, {"a", "-q", "-x"}, {}, ""},
      {"a lone dash is an operand", {"-", "a"}, Outcome::kDone, {"-", "a"}, {}, ""},
      {"negative number operand after one", {"a", "-1"}, Outcome::kDone, {"a", "-1"}, {}, ""},
      {"-h", {"-h"}, Outcome::kHelp, {}, {}, ""},
      {"--help after an option", {"-q", "--help", "a"}, Outcome::kHelp, {}, {}, ""},
      {"unknown long", {"--bogus=1", "a"}, Outcome::kBadUsage, {}, {}, "tool: unknown option '--bogus'"},
      {"unknown short", {"-x"}, Outcome::kBadUsage, {}, {}, "tool: unknown option '-x'"},
      {"unknown short in a cluster after a long option", {"--oriented", "-qx"}, Outcome::kBadUsage, {}, {},
       "tool: unknown option '-x'"},
      {"long without its value", {"--frame"}, Outcome::kBadUsage, {}, {}, "tool: option '--frame' needs a value"},
      {"short without its value", {"-q", "-s"}, Outcome::kBadUsage, {}, {}, "tool: option '-s' needs a value"},
      {"unknown before help", {"--bogus", "--help"}, Outcome::kBadUsage, {}, {}, "tool: unknown option '--bogus'"},
  };
  // One parser for all rows: each parse starts afresh.
  XpToolArguments arguments = MakeArguments();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(arguments.Parse(c.arguments), c.outcome);
    EXPECT_EQ(arguments.Result(), c.outcome);
    EXPECT_EQ(arguments.Line(), c.line);
    if (c.outcome != Outcome::kDone) {
      continue;
    }
    EXPECT_EQ(arguments.Operands(), c.operands);
    for (const auto& [name, value] : c.values) {
      EXPECT_TRUE(arguments.Has(name)) << name;
      EXPECT_EQ(arguments.Value(name), value) << name;
    }
    for (const char* name : {"frame", "oriented", "server", "quiet"}) {
      bool listed = false;
      for (const auto& given : c.values) listed = listed || given.first == name;
      EXPECT_EQ(arguments.Has(name), listed) << name;
    }
  }
}

TEST(XpToolArguments, ValuesKeepsEveryValueInOrder) {
  XpToolArguments arguments = MakeArguments();
  ASSERT_EQ(arguments.Parse({"-f1", "-q", "--frame=2", "--frame", "3"}), Outcome::kDone);
  EXPECT_EQ(arguments.Values("frame"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(arguments.Values("quiet"), (std::vector<std::string>{""}));
  EXPECT_TRUE(arguments.Values("server").empty());
}

TEST(XpToolArguments, SpelledLongTurnsSingleDashNamesIntoLongOptions) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    bool slashToo;
    std::vector<std::string> spelled;
  };
  const std::vector<Case> cases = {
      {"single dash names",
       {"-frame", "2", "-quiet", "a"},
       false,
       {"--frame", "2", "--quiet", "a"}},
      {"with =", {"-frame=2"}, false, {"--frame=2"}},
      {"help", {"-help"}, false, {"--help"}},
      {"a value is taken as it is", {"-server", "-quiet"}, false, {"--server", "-quiet"}},
      {"a long option's value", {"--server", "-quiet"}, false, {"--server", "-quiet"}},
      {"an abbreviated long option's value", {"--serv", "-quiet"}, false, {"--serv", "-quiet"}},
      {"a short option's value", {"-s", "-quiet"}, false, {"-s", "-quiet"}},
      {"a value ending a cluster",
       {"-qs", "-frame", "-quiet"},
       false,
       {"-qs", "-frame", "--quiet"}},
      {"a value attached", {"-f20", "-quiet"}, false, {"-f20", "--quiet"}},
      {"a lone dash ends them", {"-", "-quiet"}, false, {"-", "-quiet"}},
      {"short options stay", {"-q", "-f20", "-qs", "srv"}, false, {"-q", "-f20", "-qs", "srv"}},
      {"unknown names stay", {"-bogus", "--frame", "1"}, false, {"-bogus", "--frame", "1"}},
      {"-- ends them", {"--", "-quiet"}, false, {"--", "-quiet"}},
      {"the first operand ends them", {"a", "-quiet"}, false, {"a", "-quiet"}},
      {"slash kept without slashToo", {"/quiet"}, false, {"/quiet"}},
      {"slash names", {"/quiet", "/frame", "3"}, true, {"--quiet", "--frame", "3"}},
      {"a slash operand ends them", {"/tmp", "-quiet"}, true, {"/tmp", "-quiet"}},
  };
  const XpToolArguments arguments = MakeArguments();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(arguments.SpelledLong(c.arguments, c.slashToo), c.spelled);
  }
}

TEST(XpToolArguments, ParseReadsWhatSpelledLongSpells) {
  XpToolArguments arguments = MakeArguments();
  const std::vector<std::string> given = {"-oriented", "/frame", "2", "-server",
                                          "-quiet",    "/a",     "-q"};
  ASSERT_EQ(arguments.Parse(arguments.SpelledLong(given, true)), Outcome::kDone)
      << arguments.Line();
  EXPECT_TRUE(arguments.Has("oriented"));
  EXPECT_EQ(arguments.Value("frame"), "2");
  EXPECT_EQ(arguments.Value("server"), "-quiet");
  EXPECT_FALSE(arguments.Has("quiet"));
  EXPECT_EQ(arguments.Operands(), (std::vector<std::string>{"/a", "-q"}));
}

TEST(XpToolArguments, UsageListsTheSynopsisAndEveryOption) {
  const std::string usage = MakeArguments().Usage();
  EXPECT_EQ(usage,
            "usage: tool [options] FILE...\n"
            "options:\n"
            "  -h, --help  prints this usage\n"
            "  -f, --frame VALUE  the frame's time\n"
            "  --oriented  turns the picture upright\n"
            "  -s, --server VALUE  the server program\n"
            "  -q, --quiet  says nothing\n");
}

TEST(XpToolArguments, AnswerSendsHelpToOutAndBadUsageToErr) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    bool refuse;
    int status;
    std::string out;
    std::string err;
  };
  const std::string usage = MakeArguments().Usage();
  const std::vector<Case> cases = {
      {"help", {"--help"}, false, XpToolArguments::kExitDone, usage, ""},
      {"unknown", {"--bogus"}, false, XpToolArguments::kExitUsage, "", "tool: unknown option '--bogus'\n" + usage},
      {"refused after parsing", {"a"}, true, XpToolArguments::kExitUsage, "", "tool: missing operand\n" + usage},
      {"done", {"a"}, false, XpToolArguments::kExitDone, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XpToolArguments arguments = MakeArguments();
    Outcome outcome = arguments.Parse(c.arguments);
    if (c.refuse) {
      outcome = arguments.Refuse("missing operand");
      EXPECT_EQ(arguments.Result(), Outcome::kBadUsage);
    }
    static_cast<void>(outcome);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(arguments.Answer(out, err), c.status);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
}

}  // namespace
