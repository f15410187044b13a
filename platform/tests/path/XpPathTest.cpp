#include "platform/path/XpPath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

// Paths over a staged mount table below the system root.
class XpPathRootFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    const std::filesystem::path proc = std::filesystem::path(std::getenv("KAVO_SYSROOT")) / "proc/self";
    std::filesystem::create_directories(proc);
    std::ofstream(proc / "mountinfo")
        << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
           "40 22 8:17 / /media/u/CAM rw,nosuid shared:300 - vfat /dev/sdb1 rw,uid=1000\n"
           "41 22 8:33 / /media/u/CAM\\0402 rw,nosuid - vfat /dev/sdc1 rw\n";
  }
};
using XpPath = XpPathRootFixture;

struct TextCase {
  const char16_t* input;
  const char16_t* expected;
};

TEST_F(XpPath, TakesPathsApart) {
  const struct {
    XpString (*function)(const XpString&);
    const char* name;
    TextCase row;
  } cases[] = {
      {XpPathGetExtension, "GetExtension", {u"/a.b/c", u""}},
      {XpPathGetExtension, "GetExtension", {u"c.tar.gz", u".gz"}},
      {XpPathGetExtension, "GetExtension", {u"/d/.profile", u".profile"}},
      {XpPathGetExtension, "GetExtension", {u"a\\b.c", u".c"}},
      {XpPathGetLeafName, "GetLeafName", {u"/a/b//", u"b"}},
      {XpPathGetLeafName, "GetLeafName", {u"name", u"name"}},
      {XpPathGetLeafName, "GetLeafName", {u"/", u""}},
      {XpPathGetFileName, "GetFileName", {u"/a/b/", u""}},
      {XpPathGetFileName, "GetFileName", {u"/a/b", u"b"}},
      {XpPathGetFileName, "GetFileName", {u"a\\b", u"a\\b"}},
      {XpPathGetFileName, "GetFileName", {u"", u""}},
      {XpPathGetDirectory, "GetDirectory", {u"/a/b/", u"/a/"}},
      {XpPathGetDirectory, "GetDirectory", {u"/a/b.c", u"/a/"}},
      {XpPathGetDirectory, "GetDirectory", {u"b.c", u""}},
      {XpPathGetDirectory, "GetDirectory", {u"/", u"/"}},
      {XpPathGetBaseName, "GetBaseName", {u"/a/b.c", u"b"}},
      {XpPathGetBaseName, "GetBaseName", {u"/d/.profile", u""}},
      {XpPathGetBaseName, "GetBaseName", {u"/a.x/file", u"file"}},
      {XpTrimSpacesAndDots, "TrimSpacesAndDots", {u" .name. ", u"name"}},
      {XpTrimSpacesAndDots, "TrimSpacesAndDots", {u"\t a.b \n", u"a.b"}},
      {XpTrimSpacesAndDots, "TrimSpacesAndDots", {u" . ", u""}},
      {XpTrimLeadingSpaces, "TrimLeadingSpaces", {u" \t\u3000x y ", u"x y "}},
  };
  for (const auto& item : cases) {
    EXPECT_EQ(item.function(XpString(item.row.input)), XpString(item.row.expected))
        << item.name << "(" << testing::PrintToString(XpString(item.row.input)) << ")";
  }
}

TEST_F(XpPath, SplitGivesEachPartAndAcceptsMissingOutputs) {
  XpString dir, name, ext;
  XpPathSplit(u"/dir.x/file", &dir, &name, &ext);
  EXPECT_EQ(dir, u"/dir.x/");
  EXPECT_EQ(name, u"file");
  EXPECT_EQ(ext, u"");
  XpPathSplit(u".profile", &dir, &name, &ext);
  EXPECT_EQ(dir, u"");
  EXPECT_EQ(name, u"");
  EXPECT_EQ(ext, u".profile");
  XpPathSplit(u"/a/b.jpg/", nullptr, &name, nullptr);
  EXPECT_EQ(name, u"b");
}

TEST_F(XpPath, JoinsAndAdjustsTrailingSeparators) {
  EXPECT_EQ(XpPathJoin(u"/a", u"/b"), u"/a/b");
  EXPECT_EQ(XpPathJoin(u"", u"b"), u"b");
  EXPECT_EQ(XpPathJoin(u"/a/", u"b"), u"/a/b");
  EXPECT_EQ(XpPathJoin(u"/a/", u"//b"), u"/a//b");

  const TextCase added[] = {{u"", u"/"}, {u"/a", u"/a/"}, {u"/a/", u"/a/"}, {u"a\\", u"a\\/"}};
  for (const TextCase& row : added) {
    XpString path(row.input);
    XpPathAddTrailingBackslash(path);
    EXPECT_EQ(path, XpString(row.expected));
  }
  const TextCase removed[] = {{u"/a//", u"/a/"}, {u"/a", u"/a"}, {u"/", u""}, {u"", u""}};
  for (const TextCase& row : removed) {
    XpString path(row.input);
    XpPathRemoveTrailingBackslash(path);
    EXPECT_EQ(path, XpString(row.expected));
  }
}

TEST_F(XpPath, RelationComparesWholeComponentsWithCase) {
  const struct {
    const char16_t* a;
    const char16_t* b;
    int relation;
  } cases[] = {
      {u"/a/b", u"/a", kXpPathInside},     {u"/a", u"/a/", kXpPathSame},
      {u"/ab", u"/a", kXpPathUnrelated},   {u"/A/B", u"/a", kXpPathUnrelated},
      {u"/a", u"/a/b/c", kXpPathContains}, {u"/a", u"/ab", kXpPathUnrelated},
      {u"/a", u"/b", kXpPathUnrelated},    {u"/A", u"/a", kXpPathUnrelated},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(XpPathGetRelation(row.a, row.b), row.relation)
        << testing::PrintToString(XpString(row.a)) << " vs " << testing::PrintToString(XpString(row.b));
  }
}

TEST_F(XpPath, MakeAbsoluteCountsFromTheWorkingFolder) {
  const std::filesystem::path before = std::filesystem::current_path();
  const std::filesystem::path here = Dir("here");
  std::filesystem::current_path(here);
  const std::string cwd = here.string();
  struct Case {
    std::u16string input;
    std::string expected;
  };
  const Case cases[] = {
      {u"", ""},
      {u"/media/u/CAM/a.JPG", "/media/u/CAM/a.JPG"},
      {u"pc/a.JPG", cwd + "/pc/a.JPG"},
      {u"./pc/../b.JPG", cwd + "/b.JPG"},
      {u"db/", cwd + "/db/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XpPathMakeAbsolute(XpString(c.input.c_str())), XpStringA(c.expected.c_str()).ToWide())
        << std::string(c.input.begin(), c.input.end());
  }
  std::filesystem::current_path(before);
}

TEST_F(XpPath, InvalidFileNameCharactersKeepTheFatSet) {
  EXPECT_EQ(XpString(XpGetInvalidFileNameChars()), u"\\/:,;*?\"<>|");
}


TEST_F(XpPath, RootIsTheLongestMountPointOnAComponentBoundary) {
  const TextCase cases[] = {
      {u"/media/u/CAM/DCIM/x", u"/media/u/CAM/"},
      {u"/media/u/CAM2/x", u"/"},
      {u"/media/u/CAM 2/DCIM", u"/media/u/CAM 2/"},
      {u"/media/u/CAM", u"/media/u/CAM/"},
      {u"/home/u", u"/"},
      {u"relative/x", u""},
      {u"", u""},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(XpPathGetRoot(row.input), XpString(row.expected)) << testing::PrintToString(XpString(row.input));
  }
}

TEST_F(XpPath, RelativeToRootDropsTheRoot) {
  const TextCase cases[] = {
      {u"/media/u/CAM/DCIM/x", u"DCIM/x"},
      {u"/media/u/CAM//DCIM", u"DCIM"},
      {u"/media/u/CAM", u""},
      {u"/media/u/CAM/", u""},
      {u"/home/u", u"home/u"},
      {u"relative/x", u"relative/x"},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(XpPathRelativeToRoot(row.input), XpString(row.expected)) << testing::PrintToString(XpString(row.input));
  }
}

}  // namespace
