#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/suite/SfContentInfoXML.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using testsupport::SysCall;

constexpr const char* kPlistHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\">\n<dict>\n";
constexpr const char* kPlistTail = "</dict>\n</plist>\n";

// A root with one group "G" whose one contents entry holds contentsBody.
std::string OneContents(const std::string& contentsBody) {
  return "<key>ContentsGroupList</key><array><dict>"
         "<key>GroupName</key><string>G</string>"
         "<key>ContentsList</key><array><dict>" +
         contentsBody + "</dict></array></dict></array>";
}

class ContentInfoFixture : public testsupport::HermeticTest {
 protected:
  // Writes a property list whose root dictionary holds body and loads it.
  void Load(const std::string& body) {
    const fs::path path = Root() / "handover.xml";
    std::ofstream(path) << kPlistHead << body << kPlistTail;
    ASSERT_EQ(document_.LoadFromFile(XpString::FromUtf8(path.string())), kXpOk) << body;
  }

  // Every file path, walking groups, contents and files as the export does.
  static std::vector<std::string> Walk(const ::SfContentInfoXML& document) {
    std::vector<std::string> paths;
    for (int32_t g = 0; g < document.GetContentsGroupCount(); ++g) {
      const XpIniElement* group = document.GetContentsGroup(static_cast<uint32_t>(g));
      EXPECT_NE(group, nullptr);
      for (int32_t c = 0; c < ::SfContentInfoXML::GetContentsCount(group); ++c) {
        const XpIniElement* contents =
            ::SfContentInfoXML::GetContents(group, static_cast<uint32_t>(c));
        EXPECT_NE(contents, nullptr);
        for (int32_t f = 0; f < ::SfContentInfoXML::GetFileCount(contents); ++f) {
          XpString path;
          EXPECT_EQ(::SfContentInfoXML::GetFile(contents, static_cast<uint32_t>(f), &path), kXpOk);
          paths.push_back(path.ToMultiByte().ToStdString());
        }
      }
    }
    return paths;
  }

  XpString Folder() const { return XpString::FromUtf8(Dir("ImportData").string()); }
  std::string Expected(const std::string& name) const {
    return (Dir("ImportData") / name).string();
  }

  XpIniElement* FirstContents() const {
    return ::SfContentInfoXML::GetContents(document_.GetContentsGroup(0), 0);
  }

  ::SfContentInfoXML document_;
};

using SfContentInfoXML = ContentInfoFixture;

TEST_F(SfContentInfoXML, RoundTripKeepsSourceGroupsContentsAndFilesInOrder) {
  ::SfContentInfoXML written;
  ASSERT_EQ(written.InitHeader(u"Accessor/K2", nullptr), kXpOk);
  XpIniElement* group = written.AddContentsGroup(u"ImportedDCFObjects");
  ASSERT_NE(group, nullptr);
  XpIniElement* contents = ::SfContentInfoXML::AddContents(group);
  ASSERT_NE(contents, nullptr);
  ASSERT_EQ(::SfContentInfoXML::AddFile(contents, u"/media/cam/DCIM/100KAVO/PICT0001.JPG"), kXpOk);
  ASSERT_EQ(::SfContentInfoXML::AddFile(contents, u"/media/cam/DCIM/100KAVO/PICT0001.THM"), kXpOk);
  const XpString path = XpString::FromUtf8((Root() / "out.xml").string());
  ASSERT_EQ(written.SaveToFile(path), kXpOk);

  ::SfContentInfoXML read;
  ASSERT_EQ(read.LoadFromFile(path), kXpOk);
  EXPECT_EQ(Walk(read), (std::vector<std::string>{"/media/cam/DCIM/100KAVO/PICT0001.JPG",
                                                  "/media/cam/DCIM/100KAVO/PICT0001.THM"}));
  EXPECT_EQ(read.GetSourceApp().ToMultiByte().ToStdString(), "Accessor/K2");
  XpString fileType;
  ASSERT_NE(read.Find(u"XMLFileType"), nullptr);
  EXPECT_EQ(read.Find(u"XMLFileType")->GetString(&fileType), kXpOk);
  EXPECT_EQ(fileType.ToMultiByte().ToStdString(), "ContentInfoXML");
  EXPECT_EQ(read.Find(u"ImportDirPath"), nullptr);
  EXPECT_NE(read.FindContentsGroup(u"ImportedDCFObjects"), nullptr);
  EXPECT_EQ(read.FindContentsGroup(u"importeddcfobjects"), nullptr);
}

TEST_F(SfContentInfoXML, HeaderGoesOnlyOnAnEmptyDocument) {
  ASSERT_EQ(document_.InitHeader(u"Accessor/K2", u"/home/u/Pictures"), kXpOk);
  EXPECT_EQ(document_.GetCount(), 4);
  XpString importDir;
  ASSERT_NE(document_.Find(u"ImportDirPath"), nullptr);
  EXPECT_EQ(document_.Find(u"ImportDirPath")->GetString(&importDir), kXpOk);
  EXPECT_EQ(importDir.ToMultiByte().ToStdString(), "/home/u/Pictures");
  EXPECT_EQ(document_.GetContentsGroupCount(), 0);

  EXPECT_EQ(document_.InitHeader(u"Other", nullptr), kXpErrValueKeyExists);
  EXPECT_EQ(document_.GetCount(), 4);
  EXPECT_EQ(document_.GetSourceApp().ToMultiByte().ToStdString(), "Accessor/K2");
}

TEST_F(SfContentInfoXML, MissingGroupListGivesMinusOneAndNothingToFind) {
  Load("<key>SourceApp</key><string>Browser</string>");
  EXPECT_EQ(document_.GetContentsGroupCount(), -1);
  EXPECT_EQ(document_.GetContentsGroup(0), nullptr);
  EXPECT_EQ(document_.FindContentsGroup(u"G"), nullptr);
  EXPECT_EQ(document_.FindFirstSelectedContents(), nullptr);
  EXPECT_TRUE(Walk(document_).empty());

  EXPECT_EQ(document_.AddContentsGroup(u"ImportedDCFObjects"), nullptr);
  EXPECT_EQ(document_.GetCount(), 1);
  EXPECT_EQ(document_.GetContentsGroupCount(), -1);
}

TEST_F(SfContentInfoXML, EmptyGroupListCountsZero) {
  Load("<key>ContentsGroupList</key><array/>");
  EXPECT_EQ(document_.GetContentsGroupCount(), 0);
  EXPECT_EQ(document_.GetContentsGroup(0), nullptr);
  EXPECT_EQ(document_.FindFirstSelectedContents(), nullptr);
}

TEST_F(SfContentInfoXML, AddContentsGroupWithoutHeaderAddsNothing) {
  EXPECT_EQ(document_.AddContentsGroup(u"ImportedDCFObjects"), nullptr);
  EXPECT_EQ(document_.GetCount(), 0);
  EXPECT_EQ(::SfContentInfoXML::AddContents(nullptr), nullptr);
  EXPECT_EQ(::SfContentInfoXML::AddFile(nullptr, u"/a.jpg"), kXpErrValueNotFound);
}

TEST_F(SfContentInfoXML, FindContentsGroupTakesTheFirstExactName) {
  Load(
      "<key>ContentsGroupList</key><array>"
      "<dict><key>ContentsList</key><array/></dict>"
      "<dict><key>GroupName</key><integer>5</integer></dict>"
      "<dict><key>GroupName</key><string>Trip</string><key>Tag</key><integer>1</integer></dict>"
      "<dict><key>GroupName</key><string>Trip</string><key>Tag</key><integer>2</integer></dict>"
      "</array>");
  const XpIniElement* group = document_.FindContentsGroup(u"Trip");
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group, document_.GetContentsGroup(2));
  EXPECT_EQ(document_.FindContentsGroup(u"trip"), nullptr);
  EXPECT_EQ(document_.FindContentsGroup(u"5"), nullptr);
}

TEST_F(SfContentInfoXML, GetFileReportsAnEntryThatIsNoString) {
  Load(
      OneContents("<key>Files</key><array><string>/a/1.jpg</string><integer>7</integer>"
                  "<string>/a/2.jpg</string></array>"));
  const XpIniElement* contents = FirstContents();
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(::SfContentInfoXML::GetFileCount(contents), 3);
  XpString path;
  EXPECT_EQ(::SfContentInfoXML::GetFile(contents, 0, &path), kXpOk);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), "/a/1.jpg");
  EXPECT_EQ(::SfContentInfoXML::GetFile(contents, 1, &path), kXpErrValueNotSupported);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), "/a/1.jpg");
  EXPECT_EQ(::SfContentInfoXML::GetFile(contents, 2, &path), kXpOk);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), "/a/2.jpg");
  EXPECT_EQ(::SfContentInfoXML::GetFile(contents, 3, &path), kXpErrValueNotFound);
  EXPECT_EQ(::SfContentInfoXML::GetFile(contents, 0xFFFFFFFFu, &path), kXpErrValueNotFound);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), "/a/2.jpg");
}

struct DateCase {
  const char* name;
  std::string contents;
  XpResult expected;
};

TEST_F(SfContentInfoXML, DateTimeOriginalAcceptsOnlyARealDateOfAContentsWithFiles) {
  const std::string files = "<key>Files</key><array><string>/a/1.jpg</string></array>";
  const DateCase cases[] = {
      {"real", files + "<key>DateTimeOriginal</key><real>40000.5</real>", kXpOk},
      {"date element", files + "<key>DateTimeOriginal</key><date>2009-07-06T12:00:00Z</date>",
       kXpErrValueNotSupported},
      {"string", files + "<key>DateTimeOriginal</key><string>40000.5</string>",
       kXpErrValueNotSupported},
      {"no Files", "<key>DateTimeOriginal</key><real>40000.5</real>", kXpErrValueNotFound},
      {"Files not an array",
       "<key>Files</key><string>/a/1.jpg</string><key>DateTimeOriginal</key><real>1</real>",
       kXpErrValueNotFound},
      {"no date", files, kXpErrValueNotFound},
      {"not a number", files + "<key>DateTimeOriginal</key><real>nan</real>", kXpErrValueParse},
      {"past the calendar", files + "<key>DateTimeOriginal</key><real>1e300</real>",
       kXpErrValueParse},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.name);
    Load(OneContents(c.contents));
    XpDateTime date(1.0);
    EXPECT_EQ(::SfContentInfoXML::GetDateTimeOriginal(FirstContents(), &date), c.expected);
    if (c.expected != kXpOk) {
      EXPECT_EQ(date.GetValue(), 1.0);
      continue;
    }
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    ASSERT_TRUE(date.GetParts(&year, &month, &day, &hour, &minute, &second, nullptr));
    EXPECT_EQ(std::vector<int32_t>({year, month, day, hour, minute, second}),
              std::vector<int32_t>({2009, 7, 6, 12, 0, 0}));
  }
}

TEST_F(SfContentInfoXML, OnlyABooleanTrueSelects) {
  struct SelectedCase {
    const char* value;
    bool expected;
  };
  const SelectedCase cases[] = {
      {"<true/>", true},
      {"<false/>", false},
      {"<integer>1</integer>", false},
      {"<string>true</string>", false},
      {nullptr, false},
  };
  for (const SelectedCase& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "absent" : c.value);
    const std::string selected =
        c.value == nullptr ? "" : std::string("<key>Selected</key>") + c.value;
    Load(OneContents("<key>Files</key><array/>" + selected));
    EXPECT_EQ(::SfContentInfoXML::IsSelected(FirstContents()), c.expected);
  }
  EXPECT_FALSE(::SfContentInfoXML::IsSelected(nullptr));
}

TEST_F(SfContentInfoXML, FirstSelectedContentsIsFoundInListOrder) {
  Load(
      "<key>ContentsGroupList</key><array>"
      "<dict><key>GroupName</key><string>A</string><key>ContentsList</key><array>"
      "<dict><key>Selected</key><false/></dict></array></dict>"
      "<dict><key>GroupName</key><string>B</string><key>ContentsList</key><array>"
      "<dict><key>Selected</key><integer>1</integer></dict>"
      "<dict><key>Selected</key><true/></dict>"
      "<dict><key>Selected</key><true/></dict></array></dict>"
      "</array>");
  const XpIniElement* group = document_.GetContentsGroup(1);
  EXPECT_EQ(document_.FindFirstSelectedContents(), ::SfContentInfoXML::GetContents(group, 1));
}

// What another program may have written in place of the expected shapes:
// lists that are no arrays, entries that are no dictionaries. The walk must
// see them as missing, never reach into them.
TEST_F(SfContentInfoXML, WrongShapesReadAsMissing) {
  Load("<key>ContentsGroupList</key><string>oops</string><key>SourceApp</key><integer>3</integer>");
  EXPECT_EQ(document_.GetContentsGroupCount(), -1);
  EXPECT_EQ(document_.GetContentsGroup(0), nullptr);
  EXPECT_EQ(document_.AddContentsGroup(u"G"), nullptr);
  EXPECT_TRUE(document_.GetSourceApp().IsEmpty());

  ASSERT_NO_FATAL_FAILURE(
      Load("<key>ContentsGroupList</key><array><string>group</string><dict>"
           "<key>ContentsList</key><dict/></dict><dict><key>ContentsList</key><array>"
           "<integer>1</integer><dict><key>Files</key><string>/a/1.jpg</string></dict>"
           "</array></dict></array>"));
  // The counts promise entries that cannot be fetched: the walk can tell.
  EXPECT_EQ(document_.GetContentsGroupCount(), 3);
  EXPECT_EQ(document_.GetContentsGroup(0), nullptr);
  EXPECT_EQ(::SfContentInfoXML::GetContentsCount(document_.GetContentsGroup(1)), -1);
  EXPECT_EQ(::SfContentInfoXML::AddContents(document_.GetContentsGroup(1)), nullptr);
  const XpIniElement* group = document_.GetContentsGroup(2);
  EXPECT_EQ(::SfContentInfoXML::GetContentsCount(group), 2);
  EXPECT_EQ(::SfContentInfoXML::GetContents(group, 0), nullptr);
  XpIniElement* contents = ::SfContentInfoXML::GetContents(group, 1);
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(::SfContentInfoXML::GetFileCount(contents), 0);
  XpString path;
  EXPECT_EQ(::SfContentInfoXML::GetFile(contents, 0, &path), kXpErrValueNotFound);
  EXPECT_EQ(::SfContentInfoXML::AddFile(contents, u"/a/2.jpg"), kXpErrValueNotFound);
  EXPECT_EQ(::SfContentInfoXML::GetContentsCount(nullptr), -1);
  EXPECT_EQ(::SfContentInfoXML::GetFileCount(nullptr), 0);
}

TEST_F(SfContentInfoXML, MakeFilePathSkipsTakenNamesAndLeavesTheNewFileEmpty) {
  constexpr int64_t kNow = 1246881600;
  for (int64_t n = kNow; n < kNow + 3; ++n) {
    std::ofstream(Expected(std::to_string(n) + ".xml")) << "taken";
  }
  const XpString path = ::SfContentInfoXML::MakeFilePath(Folder(), kNow);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), Expected("1246881603.xml"));
  ASSERT_TRUE(fs::is_regular_file(path.ToMultiByte().ToStdString()));
  EXPECT_EQ(fs::file_size(path.ToMultiByte().ToStdString()), 0u);
  EXPECT_EQ(fs::file_size(Expected("1246881600.xml")), 5u);
}

TEST_F(SfContentInfoXML, MakeFilePathNamesTheFileWithTheSignedLow32Bits) {
  const struct {
    int64_t n;
    const char* name;
  } cases[] = {
      {int64_t{1} << 31, "-2147483648.xml"},
      {(int64_t{1} << 31) + 5, "-2147483643.xml"},
      {(int64_t{1} << 32) + 7, "7.xml"},
      {-2, "-2.xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(::SfContentInfoXML::MakeFilePath(Folder(), c.n).ToMultiByte().ToStdString(),
              Expected(c.name));
  }
}

TEST_F(SfContentInfoXML, MakeFilePathStartsAtTheCurrentLocalSecond) {
  const int64_t before = std::time(nullptr);
  const XpString path = ::SfContentInfoXML::MakeFilePath(Folder());
  const int64_t after = std::time(nullptr);
  const fs::path made(path.ToMultiByte().ToStdString());
  ASSERT_TRUE(fs::is_regular_file(made));
  EXPECT_EQ(made.parent_path(), Dir("ImportData"));
  const int64_t n = std::stoll(made.stem().string());
  EXPECT_GE(n, before);
  EXPECT_LE(n, after);
}

TEST_F(SfContentInfoXML, MakeFilePathGivesUpWithAnEmptyPath) {
  EXPECT_TRUE(::SfContentInfoXML::MakeFilePath(XpString::FromUtf8((Root() / "missing").string()), 7)
                  .IsEmpty());
  EXPECT_TRUE(::SfContentInfoXML::MakeFilePath(XpString(), 7).IsEmpty());

  // Another failure than "exists" ends at once.
  testsupport::FaultInjection faults;
  const int denied = faults.Add(Fault(SysCall::kOpen, Dir("ImportData").string()).Errno(EACCES));
  EXPECT_TRUE(::SfContentInfoXML::MakeFilePath(Folder(), 7).IsEmpty());
  EXPECT_EQ(faults.Hits(denied), 1);
  faults.Clear();

  // Names that are all taken end after a bounded number of tries.
  const int taken = faults.Add(Fault(SysCall::kOpen, Dir("ImportData").string()).Errno(EEXIST));
  EXPECT_TRUE(::SfContentInfoXML::MakeFilePath(Folder(), 7).IsEmpty());
  EXPECT_EQ(faults.Hits(taken), ::SfContentInfoXML::kMaxNameAttempts);
}

}  // namespace
