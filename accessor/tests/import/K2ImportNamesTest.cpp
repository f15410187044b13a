#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "accessor/import/K2ImportNames.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/path/XpPath.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;

std::string Repeat(const std::string& unit, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += unit;
  return text;
}

class K2ImportNames : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("LC_ALL", "C");
    parent_ = Dir("dest").string();
  }

  // A folder whose path is exactly length characters long (ASCII).
  std::string FolderOfLength(size_t length) {
    const std::string base = Dir("deep").string() + "/";
    EXPECT_LT(base.size() + 1, length);
    const std::string path = base + std::string(length - base.size(), 'd');
    fs::create_directories(path);
    EXPECT_EQ(path.size(), length);
    return path;
  }

  std::string parent_;
};

struct FolderCase {
  const char* title;
  std::vector<std::string> existing;  // folders already in the parent
  std::vector<std::string> reserved;  // names chosen earlier in the run
  const char* expectedName;
};

TEST_F(K2ImportNames, DestinationFolderNamesAreSafeAndUnique) {
  const FolderCase cases[] = {
      {"2023/03", {}, {}, "2023-03"},
      {"2023/03", {"2023-03"}, {}, "2023-03(1)"},
      {"2023/03", {"2023-03", "2023-03(1)"}, {}, "2023-03(2)"},
      {"Trip", {}, {"TRIP"}, "Trip(1)"},
      {"Trip", {}, {"Trip(1)", "TRIP"}, "Trip(2)"},
      {"..", {}, {}, "-"},
      {".", {}, {}, "-"},
      {"...", {}, {}, "..."},
      {"a\\b:c", {}, {}, "a-b-c"},
      {"x*y?z\"<>|,;", {}, {}, "x-y-z------"},
      {"tab\there\nnl", {}, {}, "tab-here-nl"},
      {"", {}, {}, "(1)"},
      {"", {"(1)"}, {}, "(2)"},
  };
  for (const FolderCase& c : cases) {
    const std::string parent = Dir(std::string("case") + std::to_string(&c - cases)).string();
    for (const std::string& name : c.existing) fs::create_directories(parent + "/" + name);
    XpStringVector reserved;
    for (const std::string& name : c.reserved)
      reserved.push_back(XpString::FromUtf8(parent + "/" + name + "/"));
    const XpString folder = K2MakeDestinationFolderPath(XpString::FromUtf8(c.title),
                                                        XpString::FromUtf8(parent), &reserved);
    EXPECT_EQ(folder.ToMultiByte().ToStdString(), parent + "/" + c.expectedName + "/")
        << "title " << c.title;
  }
}

TEST_F(K2ImportNames, ReservedFoldersCountOnlyWithTheListAndTheTrailingSeparator) {
  const XpString path = XpString::FromUtf8(parent_ + "/Trip");
  const XpStringVector reserved = {XpString::FromUtf8(parent_ + "/TRIP/")};
  const XpStringVector withoutSeparator = {XpString::FromUtf8(parent_ + "/Trip")};
  EXPECT_TRUE(K2IsPathTaken(path, &reserved));
  EXPECT_FALSE(K2IsPathTaken(path, &withoutSeparator));
  EXPECT_FALSE(K2IsPathTaken(path, nullptr));
  fs::create_directories(parent_ + "/Trip");
  EXPECT_TRUE(K2IsPathTaken(path, nullptr));
  std::ofstream(parent_ + "/file");
  EXPECT_TRUE(K2IsPathTaken(XpString::FromUtf8(parent_ + "/file"), nullptr));
}

TEST_F(K2ImportNames, UniqueNameOfAnEmptyNameIsNumberedEvenUnderAMissingParent) {
  EXPECT_EQ(K2MakeUniqueName(XpString::FromUtf8(parent_ + "/missing"), XpString(), nullptr)
                .ToMultiByte()
                .ToStdString(),
            "(1)");
  EXPECT_EQ(
      K2MakeUniqueName(XpString::FromUtf8(parent_), u"free", nullptr).ToMultiByte().ToStdString(),
      "free");
}

TEST_F(K2ImportNames, ParentWithoutRoomGivesANumberedName) {
  const std::string parent = FolderOfLength(250);
  const XpString folder =
      K2MakeDestinationFolderPath(u"Any title", XpString::FromUtf8(parent), nullptr);
  EXPECT_EQ(folder.ToMultiByte().ToStdString(), parent + "/(1)/");
}

TEST_F(K2ImportNames, NameIsCutToTheUnitsLeftByTheParent) {
  const std::string parent = FolderOfLength(230);
  const XpString folder = K2MakeDestinationFolderPath(XpString::FromUtf8(std::string(40, 'n')),
                                                      XpString::FromUtf8(parent), nullptr);
  EXPECT_EQ(folder.ToMultiByte().ToStdString(), parent + "/" + std::string(10, 'n') + "/");
}

TEST_F(K2ImportNames, CutNeverSplitsASurrogatePair) {
  const std::string smiley = "\xF0\x9F\x98\x80";   // two UTF-16 units
  const std::string parent = FolderOfLength(235);  // leaves 5 units
  const XpString folder = K2MakeDestinationFolderPath(XpString::FromUtf8(Repeat(smiley, 10)),
                                                      XpString::FromUtf8(parent), nullptr);
  EXPECT_EQ(folder.ToMultiByte().ToStdString(), parent + "/" + Repeat(smiley, 2) + "/");
}

TEST_F(K2ImportNames, LongTitleInThreeByteCharactersFitsAFileName) {
  const std::string hiragana = "\xE3\x81\x82";
  const std::string title = Repeat(hiragana, 200);
  const std::string expectedName = Repeat(hiragana, 85);  // 255 bytes
  XpStringVector reserved;
  for (const std::string& expected : {expectedName, Repeat(hiragana, 84) + "(1)"}) {
    const XpString folder = K2MakeDestinationFolderPath(XpString::FromUtf8(title),
                                                        XpString::FromUtf8(parent_), &reserved);
    EXPECT_EQ(folder.ToMultiByte().ToStdString(), parent_ + "/" + expected + "/");
    // The tree call counts a trailing '/' as one more level to make.
    XpString withoutSeparator = folder;
    XpPathRemoveTrailingBackslash(withoutSeparator);
    ASSERT_EQ(XpCreateDirectoryTree(withoutSeparator), kXpOk) << folder.ToMultiByte().ToStdString();
    EXPECT_TRUE(fs::is_directory(parent_ + "/" + expected));
  }
}

TEST_F(K2ImportNames, DateFolderNameHasNoSeparators) {
  EXPECT_EQ(K2MakeDateFolderName(XpDateTime(2023, 3, 15, 10, 20, 30)).ToMultiByte().ToStdString(),
            "03-15-23");
  EXPECT_EQ(K2MakeDateFolderName(XpDateTime()).ToMultiByte().ToStdString(), "");
}

TEST_F(K2ImportNames, MovieWithThumbnailNeedsTheThumbnailBesideIt) {
  std::ofstream(parent_ + "/a.mpg");
  std::ofstream(parent_ + "/a.THM");
  std::ofstream(parent_ + "/b.MPG");
  std::ofstream(parent_ + "/c.jpg");
  std::ofstream(parent_ + "/c.THM");
  const struct {
    const char* name;
    bool expected;
  } cases[] = {{"a.mpg", true}, {"b.MPG", false}, {"c.jpg", false}, {"a", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(K2IsMovieWithThumbnail(XpString::FromUtf8(parent_ + "/" + c.name)), c.expected)
        << c.name;
  }
}

}  // namespace
