#include "accessor/tools/K2HandoverTool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "accessor/tests/task/TaskTestSupport.h"
#include "framework/suite/SfContentInfoXML.h"
#include "imaging/format/XpFormatKind.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniElement.h"

namespace {

namespace fs = std::filesystem;

// 2023-03-16 00:00:00 UTC.
constexpr int64_t kMovieModified = 1678924800;
constexpr double kMovieDays = 45001.0;
constexpr double kPictureDays = 45000.5;
constexpr int64_t kPictureContentType = 268435713;
constexpr int64_t kMpeg1ContentType = 536940801;
constexpr int64_t kTiffContentType = 268435969;

class K2HandoverTool : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    SetEnv("TZ", "UTC");
    pc_ = Dir("pc");
    task_test::WriteJpeg(pc_ / "Trip" / "IMG_0002.JPG", task_test::ExifTagsWithDate("2023:03:15 12:00:00"));
    const std::string pack("\x00\x00\x01\xBA\x21\x00\x01\x00\x01\x80\x00\x01", 12);
    task_test::WriteBytes(pc_ / "MOV1.MPG", pack + std::string(1024, '\0'));
    task_test::WriteJpeg(pc_ / "MOV1.THM", XpSharedPtr<XpTiffTagManager>());
    task_test::WriteBytes(pc_ / "MOV1.modd", "side data");
    task_test::SetModified(pc_ / "MOV1.MPG", kMovieModified);
    task_test::WriteBytes(pc_ / "X.TIF", std::string("II*\0\x08\0\0\0", 8));
    task_test::WriteBytes(pc_ / "notes.txt", "text");
  }

  int Run(const std::vector<std::string>& arguments) {
    out_.str("");
    err_.str("");
    ::K2HandoverTool tool(out_, err_);
    return tool.Run(arguments);
  }

  fs::path Out() { return Root() / "h.xml"; }

  // The files of every content of the written document, with their type
  // and date (-1 without one).
  struct Content {
    std::vector<std::string> files;
    int64_t type = 0;
    double date = -1.0;
  };
  std::vector<Content> Load() {
    SfContentInfoXML document;
    EXPECT_EQ(document.LoadFromFile(XpString::FromUtf8(Out().string())), kXpOk);
    EXPECT_EQ(document.GetContentsGroupCount(), 1);
    const XpIniElement* group = document.GetContentsGroup(0);
    EXPECT_EQ(document.FindContentsGroup(u"k2handover"), group);
    std::vector<Content> contents;
    for (int32_t index = 0; index < SfContentInfoXML::GetContentsCount(group); ++index) {
      const XpIniElement* entry = SfContentInfoXML::GetContents(group, static_cast<uint32_t>(index));
      Content content;
      for (int32_t file = 0; file < SfContentInfoXML::GetFileCount(entry); ++file) {
        XpString path;
        EXPECT_EQ(SfContentInfoXML::GetFile(entry, static_cast<uint32_t>(file), &path), kXpOk);
        content.files.push_back(path.ToMultiByte().ToStdString());
      }
      EXPECT_EQ(entry->Find(u"ContentType")->GetInt64(&content.type), kXpOk);
      XpDateTime date;
      if (SfContentInfoXML::GetDateTimeOriginal(entry, &date) == kXpOk) content.date = date.GetValue();
      contents.push_back(content);
    }
    return contents;
  }

  fs::path pc_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(K2HandoverTool, WritesOneContentPerPictureAndMovieWithItsSideFiles) {
  ASSERT_EQ(Run({Out().string(), (pc_ / "Trip" / "IMG_0002.JPG").string(), (pc_ / "MOV1.MPG").string(),
                 (pc_ / "X.TIF").string()}),
            0)
      << err_.str();
  const std::vector<Content> contents = Load();
  ASSERT_EQ(contents.size(), 3u);
  EXPECT_EQ(contents[0].files, std::vector<std::string>{(pc_ / "Trip" / "IMG_0002.JPG").string()});
  EXPECT_EQ(contents[0].type, kPictureContentType);
  EXPECT_DOUBLE_EQ(contents[0].date, kPictureDays);
  EXPECT_EQ(contents[1].files, (std::vector<std::string>{(pc_ / "MOV1.MPG").string(), (pc_ / "MOV1.THM").string(),
                                                         (pc_ / "MOV1.modd").string()}));
  EXPECT_EQ(contents[1].type, kMpeg1ContentType);
  EXPECT_DOUBLE_EQ(contents[1].date, kMovieDays);
  EXPECT_EQ(contents[2].files, std::vector<std::string>{(pc_ / "X.TIF").string()});
  EXPECT_EQ(contents[2].type, kTiffContentType);
}

TEST_F(K2HandoverTool, SideFilesNamedBesideTheirMovieAreNoContentsOfTheirOwn) {
  ASSERT_EQ(Run({Out().string(), (pc_ / "MOV1.THM").string(), (pc_ / "MOV1.MPG").string(),
                 (pc_ / "MOV1.modd").string()}),
            0)
      << err_.str();
  const std::vector<Content> contents = Load();
  ASSERT_EQ(contents.size(), 1u);
  EXPECT_EQ(contents[0].files.size(), 3u);
}

TEST_F(K2HandoverTool, OtherFilesKeepTheirOwnKindAndPathsBecomeAbsolute) {
  const fs::path dotted = pc_ / "Trip" / ".." / "notes.txt";
  ASSERT_EQ(Run({Out().string(), dotted.string(), (pc_ / "MOV1.THM").string()}), 0) << err_.str();
  const std::vector<Content> contents = Load();
  ASSERT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents[0].files, std::vector<std::string>{(pc_ / "notes.txt").string()});
  EXPECT_NE(contents[0].type, kPictureContentType);
  // A thumbnail alone is no picture to export.
  EXPECT_NE(contents[1].type, kPictureContentType);
}

// The output file and the listed files are taken from the working folder.
TEST_F(K2HandoverTool, RelativePathsAreTakenFromTheWorkingFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(pc_);
  const int status = Run({"../h.xml", "Trip/IMG_0002.JPG", "./MOV1.MPG"});
  fs::current_path(before);

  ASSERT_EQ(status, 0) << err_.str();
  const std::vector<Content> contents = Load();
  ASSERT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents[0].files, std::vector<std::string>{(pc_ / "Trip" / "IMG_0002.JPG").string()});
  EXPECT_EQ(contents[1].files.front(), (pc_ / "MOV1.MPG").string());
}

TEST_F(K2HandoverTool, BadUsageAndMissingFilesWriteNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* named;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, 2, "usage"},
      {"no file", {Out().string()}, 2, "usage"},
      {"missing file", {Out().string(), (pc_ / "MOV1.MPG").string(), (pc_ / "GONE.JPG").string()}, 1, "GONE.JPG"},
      {"folder", {Out().string(), pc_.string()}, 1, "pc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.arguments), c.status);
    EXPECT_NE(err_.str().find(c.named), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(Out()));
  }
}

}  // namespace
