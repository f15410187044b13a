#include "moviethumb/MovieServerArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testsupport/HermeticTest.h"

// The suite carries the record's name; inside it the record is ::MovieServerArguments.
namespace moviethumb_test {

using MovieServerArguments = testsupport::HermeticTest;
using Expected = ::MovieServerArguments;

TEST_F(MovieServerArguments, FlagsFolderAndPriorityFollowTheArgumentRules) {
  const std::string dir = Dir("d").string();
  const std::string missing = (Root() / "missing").string();
  struct Row {
    std::vector<std::string> argv;
    Expected expected;
  };
  const Row rows[] = {
      {{}, {false, false, true, XpString()}},
      {{"/EXTRACT"}, {false, false, true, XpString()}},
      {{"extract"}, {false, false, true, XpString()}},
      {{"/Extract", dir}, {false, false, true, XpString()}},
      {{"/extract"}, {true, false, true, XpString()}},
      {{"-extract"}, {true, false, true, XpString()}},
      {{"/extract", "/lowpri"}, {true, true, true, XpString()}},
      {{"/extract", "-lowpri", dir}, {true, true, false, XpString::FromUtf8(dir)}},
      {{"/extract", "-lowpri", missing}, {true, true, false, XpString()}},
      {{"/extract", dir, "x"}, {true, false, true, XpString()}},
      {{"/extract", "/lowpri", dir, "x"}, {true, true, true, XpString()}},
      {{"--extract", dir}, {true, false, false, XpString::FromUtf8(dir)}},
      {{"/extract", missing}, {true, false, false, XpString()}},
      // "/LOWPRI" is no flag: it stands in the folder's place.
      {{"/extract", "/LOWPRI"}, {true, false, false, XpString()}},
  };
  for (const Row& row : rows) {
    XpStringVector argv{u"TLVMPThumb"};
    std::string text;
    for (const std::string& argument : row.argv) {
      argv.push_back(XpString::FromUtf8(argument));
      text += argument + " ";
    }
    const Expected got = ParseMovieServerArguments(argv);
    EXPECT_EQ(got.run, row.expected.run) << text;
    EXPECT_EQ(got.lowPriority, row.expected.lowPriority) << text;
    EXPECT_EQ(got.useDefaultFolder, row.expected.useDefaultFolder) << text;
    EXPECT_EQ(got.folder.ToMultiByte().ToStdString(),
              row.expected.folder.ToMultiByte().ToStdString())
        << text;
  }
}

}  // namespace moviethumb_test
