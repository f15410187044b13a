#include "outside/fsk/k2xdb/K2xdbTool.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMain.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

class K2xdbTool : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    FskMainReset();
    folder_ = (Dir("card") / "DBFILES").string();
  }
  void TearDown() override {
    FskMainReset();
    HermeticTest::TearDown();
  }

  struct Outcome {
    int code = 0;
    std::string out;
    std::string err;
  };
  Outcome Run(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    ::K2xdbTool tool(out, err);
    Outcome outcome;
    outcome.code = tool.Run(arguments);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
  }
  // "$ command arguments" then the output and the exit code, for a
  // transcript.
  std::string Step(const std::vector<std::string>& arguments) {
    Outcome outcome = Run(arguments);
    std::string text = "$";
    for (const std::string& argument : arguments) {
      text += " " + (argument == folder_ ? std::string("F") : argument);
    }
    return text + "\n" + outcome.out + "-> " + std::to_string(outcome.code) + "\n";
  }

  std::string folder_;
};

TEST_F(K2xdbTool, GoldenTranscript) {
  std::string transcript;
  transcript += Step({"init", folder_});
  transcript += Step({"add-album", folder_, "Trip"});
  transcript += Step({"add-album", folder_, "\xC3\x89t\xC3\xA9 \"quoted\" \\ here", "2009-03-15 00:00:00"});
  transcript += Step({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"});
  transcript += Step({"add-content", folder_, "2", "101", "23", "2010-12-31 23:59:59", "2"});
  transcript += Step({"set-group", folder_, "3", "sf", "2"});
  transcript += Step({"set-group", folder_, "4", "ff", "6"});
  transcript += Step({"list", folder_});
  transcript += Step({"delete", folder_, "3"});
  transcript += Step({"delete", folder_, "2"});
  transcript += Step({"list", folder_});
  transcript += Step({"check", folder_});
  EXPECT_EQ(transcript,
            "$ init F\n-> 0\n"
            "$ add-album F Trip\n1\n-> 0\n"
            "$ add-album F \xC3\x89t\xC3\xA9 \"quoted\" \\ here 2009-03-15 00:00:00\n2\n-> 0\n"
            "$ add-content F 1 100 1 2009-03-15 00:00:00\n3 1\n-> 0\n"
            "$ add-content F 2 101 23 2010-12-31 23:59:59 2\n4 2\n-> 0\n"
            "$ set-group F 3 sf 2\n-> 0\n"
            "$ set-group F 4 ff 6\n-> 0\n"
            "$ list F\n"
            "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n"
            "album 2 date=2009-03-15 00:00:00 preference=3 title=\"\xC3\x89t\xC3\xA9 \\\"quoted\\\" \\\\ here\"\n"
            "content 3 album=1 guid=1 dcf=100-0001 date=2009-03-15 00:00:00 misc=1 share=2 favorite=0\n"
            "content 4 album=2 guid=2 dcf=101-0023 date=2010-12-31 23:59:59 misc=2 share=0 favorite=6\n"
            "-> 0\n"
            "$ delete F 3\n-> 0\n"
            "$ delete F 2\n-> 0\n"
            "$ list F\n"
            "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n"
            "content 4 album=2 guid=2 dcf=101-0023 date=2010-12-31 23:59:59 misc=2 share=0 favorite=6\n"
            "-> 0\n"
            "$ check F\nok\n-> 0\n");
}

TEST_F(K2xdbTool, CheckFindsACutIndex) {
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  ASSERT_EQ(Run({"add-album", folder_, "Trip"}).code, 0);
  ASSERT_EQ(Run({"add-content", folder_, "1", "100", "1", "2009-03-15 00:00:00"}).code, 0);
  fs::path copy = Dir("copy") / "DBFILES";
  fs::copy(folder_, copy, fs::copy_options::recursive);
  fs::path index = copy / "XDB.IND";
  ASSERT_TRUE(fs::exists(index));
  fs::resize_file(index, fs::file_size(index) / 2);
  Outcome checked = Run({"check", copy.string()});
  EXPECT_EQ(checked.code, 1) << checked.out << checked.err;
  EXPECT_FALSE(checked.out.empty());
  EXPECT_EQ(checked.out.find("ok\n"), std::string::npos) << checked.out;
  EXPECT_EQ(Run({"check", folder_}).out, "ok\n");
}

TEST_F(K2xdbTool, RefusalsFailuresAndUsage) {
  ASSERT_EQ(Run({"init", folder_}).code, 0);
  struct Case {
    std::vector<std::string> arguments;
    int code;
  };
  const std::string missing = (Dir("nowhere") / "a" / "DBFILES").string();
  const Case cases[] = {
      {{"init", folder_}, 1},
      {{"init", missing}, 1},
      {{"list", missing}, 1},
      {{}, 2},
      {{"list"}, 2},
      {{"frobnicate", folder_}, 2},
      {{"add-album", folder_}, 2},
      {{"add-album", folder_, "T", "2009-02-30 00:00:00"}, 2},
      {{"add-album", folder_, "T", "2009-03-15"}, 2},
      {{"add-content", folder_, "1", "100", "x", "2009-03-15 00:00:00"}, 2},
      {{"set-group", folder_, "1", "zz", "1"}, 2},
      {{"delete", folder_, "-"}, 2},
      {{"add-content", folder_, "7", "100", "1", "2009-03-15 00:00:00"}, 1},
      {{"set-group", folder_, "9", "sf", "1"}, 1},
      {{"delete", folder_, "9"}, 1},
  };
  for (const Case& entry : cases) {
    Outcome outcome = Run(entry.arguments);
    std::string name = entry.arguments.empty() ? "(none)" : entry.arguments[0];
    EXPECT_EQ(outcome.code, entry.code) << name << ": " << outcome.err;
    EXPECT_FALSE(outcome.err.empty()) << name;
  }
  EXPECT_EQ(Run({"list", folder_}).out, "") << "nothing was added";
}

TEST_F(K2xdbTool, TheProgramExitsWithTheCode) {
  int status = std::system((std::string(K2XDB_PROGRAM) + " >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  const std::string d = Dir("by-hand").string() + "/DBFILES";
  const std::string k = K2XDB_PROGRAM;
  std::string out = (Dir("by-hand") / "out.txt").string();
  status = std::system(("(" + k + " init " + d + " && " + k + " add-album " + d + " Trip && " + k + " add-content " +
                        d + " 1 100 1 '2009-03-15 00:00:00' && " + k + " list " + d + " && " + k + " check " + d +
                        ") > " + out + " 2>&1")
                           .c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(out);
  std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(printed,
            "1\n2 1\n"
            "album 1 date=1970-01-01 00:00:00 preference=3 title=\"Trip\"\n"
            "content 2 album=1 guid=1 dcf=100-0001 date=2009-03-15 00:00:00 misc=1 share=0 favorite=0\n"
            "ok\n");
}

TEST_F(K2xdbTool, DatesRoundTrip) {
  const char* const dates[] = {"1970-01-01 00:00:00", "2009-03-15 00:00:00", "2000-02-29 12:34:56",
                               "1969-12-31 23:59:59", "2038-01-19 03:14:08"};
  for (const char* text : dates) {
    double time = 0;
    ASSERT_TRUE(::K2xdbTool::ParseDate(text, &time)) << text;
    EXPECT_EQ(::K2xdbTool::FormatDate(time), text);
  }
  double time = 0;
  ASSERT_TRUE(::K2xdbTool::ParseDate("2009-03-15 00:00:00", &time));
  EXPECT_EQ(time, 1237075200000.0);
  for (const char* bad : {"2009-13-01 00:00:00", "2001-02-29 00:00:00", "2009-03-15 24:00:00", "2009-03-15T00:00:00",
                          "+009-03-15 00:00:00", ""}) {
    EXPECT_FALSE(::K2xdbTool::ParseDate(bad, &time)) << bad;
  }
}

}  // namespace
