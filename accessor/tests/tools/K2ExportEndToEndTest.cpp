#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "accessor/app/ExclusionChecker.h"
#include "accessor/dialogs/K2FormatByteSize.h"
#include "accessor/tests/app/AccessorTestSupport.h"
#include "accessor/tests/tools/ExportFixture.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatKind.h"
#include "platform/text/XpStringA.h"
#include "platform/time/XpDateTime.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using namespace export_fixture;

constexpr double kTripDay = 45000.5;
constexpr double kPartyMovie = 45001.0;
constexpr double kPartyPicture = 45001.25;
constexpr int64_t kMovieBytes = 100 * 1024;
constexpr uint16_t kDateTimeOriginalTag = 36867;
constexpr int32_t kOverLimit = 2001;

// The run of the issue: the box about the left-out TIFF, OK once the size
// is known, and the final message.
constexpr const char* kConfirmedScript =
    "option clock real\n"
    "option timeout 60000\n"
    "box \"IncludingNoSupportImages\" press ok\n"
    "form 157 when 1011 != \"[Strings/Calculating]\" press 1\n"
    "box \"ExportCompleted\" press ok\n";

// What the album database holds: per album title, the content file names
// with their dates and favourite flags.
struct StoredContent {
  std::string name;
  double date = 0.0;
  int32_t favorites = 0;
};
using StoredAlbums = std::map<std::string, std::vector<StoredContent>>;

StoredAlbums ReadAlbums(const fs::path& card) {
  StoredAlbums stored;
  XdbAccessor::IXdbReader* reader = nullptr;
  EXPECT_EQ(XdbAccessor::CreateXdbReader(&reader, XpString::FromUtf8(card.string()) + u"/"), kXpOk);
  if (reader == nullptr) return stored;
  std::unique_ptr<XdbAccessor::IAlbumList> albums(reader->GetAllAlbums());
  for (int32_t index = 0; albums && index < albums->GetCount(); ++index) {
    const XdbAccessor::IAlbumInfo* album = albums->GetAt(index);
    std::vector<StoredContent>& contents = stored[album->GetTitle().ToMultiByte().ToStdString()];
    std::unique_ptr<XdbAccessor::IContentList> list(album->GetContents());
    for (int32_t position = 0; list && position < list->GetCount(); ++position) {
      const XdbAccessor::IContentInfo* content = list->GetAt(position);
      contents.push_back(
          {fs::path(content->GetPath().ToMultiByte().ToStdString()).filename().string(),
           content->GetDate().GetValue(), content->GetFavoriteFlags()});
    }
  }
  albums.reset();
  reader->Release();
  return stored;
}

double Days(int32_t year, int32_t month, int32_t day, int32_t hour) {
  return XpDateTime(year, month, day, hour, 0, 0).GetValue();
}

std::string ShotAt(const fs::path& path) {
  XpDateTime date;
  if (!XpFormatChecker::ReadTagDate(XpString::FromUtf8(path.string()), kXpKindJpeg,
                                    kDateTimeOriginalTag, date))
    return "";
  char text[32];
  std::snprintf(text, sizeof(text), "%04d:%02d:%02d %02d:%02d:%02d", date.GetYear(), date.GetMonth(), date.GetDay(),
                date.GetHour(), date.GetMinute(), date.GetSecond());
  return text;
}

// Files in after that are not in before, or differ.
std::vector<std::string> Changed(const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after) {
  std::vector<std::string> changed;
  for (const auto& [name, bytes] : after) {
    const auto found = before.find(name);
    if (found == before.end() || found->second != bytes) changed.push_back(name);
  }
  for (const auto& [name, bytes] : before) {
    if (after.count(name) == 0) changed.push_back("gone: " + name);
  }
  return changed;
}

class K2ExportEndToEnd : public accessor_test::AccessorTest {
 protected:
  void SetUp() override {
    AccessorTest::SetUp();
    fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
    pc_ = Root() / "pc";
    WritePicture(pc_ / "Trip" / "IMG_0002.JPG", 64, 48, "2023:03:15 12:00:00");
    WritePicture(pc_ / "Trip" / "IMG_0010.JPG", 48, 64, "2023:03:15 12:00:00");
    WritePlainPicture(pc_ / "Party" / "P1.JPG", 80, 60);
    WriteMovie(pc_ / "Party" / "MOV1.MPG", kMovieBytes);
    WritePicture(pc_ / "Party" / "MOV1.THM", 160, 120, nullptr);
    WriteBytes(pc_ / "Party" / "MOV1.modd", "movie side data");
    WriteBytes(pc_ / "Party" / "X.TIF", std::string("II*\0\x08\0\0\0", 8));
    WriteRegistry(Root() / "tmp", false);
    testsupport::FakeVolume stick;
    stick.mountPoint = (Root() / "stick").string();
    stick.vendorId = kStickVendor;
    stick.productId = kStickProduct;
    fake_->AddVolume(stick);
    fs::create_directories(Root() / "stick" / "DCIM");
    WriteBytes(Root() / "stick" / "DCIM" / "keep.txt", "stick");
  }

  fs::path Cam() const { return Root() / "cam"; }
  fs::path HandOver() const { return Root() / "h.xml"; }

  std::vector<HandOverContent> Contents() const {
    return {
        {{pc_ / "Trip" / "IMG_0010.JPG"}, kPictureType, kTripDay, {2, 5}},
        {{pc_ / "Trip" / "IMG_0002.JPG"}, kPictureType, kTripDay, {}},
        {{pc_ / "Party" / "P1.JPG"}, kPictureType, kPartyPicture, {}},
        {{pc_ / "Party" / "MOV1.MPG", pc_ / "Party" / "MOV1.THM", pc_ / "Party" / "MOV1.modd"},
         kMpeg1Type,
         kPartyMovie,
         {}},
        {{pc_ / "Party" / "X.TIF"}, kTiffType, -1.0, {}},
    };
  }

  accessor_test::ProgramRun Export(const std::string& script) {
    return RunProgramCopy({"-export", HandOver().string(), "-parentwindow", "1A2B"}, script);
  }

  // The transcript's lines that begin with prefix.
  static std::vector<std::string> LinesOf(const accessor_test::ProgramRun& run, const std::string& prefix) {
    return accessor_test::LinesStartingWith(accessor_test::SplitLines(run.transcript), prefix);
  }

  std::vector<std::string> TempLeftovers() const {
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(Root() / "tmp")) {
      if (entry.path().extension() == ".tmp") left.push_back(entry.path().string());
    }
    return left;
  }

  std::unique_ptr<testsupport::FakeSysfs> fake_;
  fs::path pc_;
};

TEST_F(K2ExportEndToEnd, ExportsToTheCameraAndRecordsTheAlbums) {
  MakeCamera(*fake_, Cam(), 5);
  WriteHandOver(HandOver(), Contents());
  const auto pcBefore = Snapshot(pc_);
  const auto stickBefore = Snapshot(Root() / "stick");
  const auto camBefore = Snapshot(Cam() / "DCIM");

  const accessor_test::ProgramRun run = Export(kConfirmedScript);

  ASSERT_EQ(run.status, 0) << run.err << run.transcript;
  EXPECT_THAT(LinesOf(run, "form 157 item 1007 "), ::testing::Contains(HasSubstr("\"2\"")));
  EXPECT_THAT(LinesOf(run, "form 157 item 1009 "), ::testing::Contains(HasSubstr("\"4\"")));
  const uint64_t sources = fs::file_size(pc_ / "Party" / "MOV1.MPG") + fs::file_size(pc_ / "Party" / "P1.JPG") +
                           fs::file_size(pc_ / "Trip" / "IMG_0002.JPG") + fs::file_size(pc_ / "Trip" / "IMG_0010.JPG");
  const std::vector<std::string> sizes = LinesOf(run, "form 157 item 1011 ");
  ASSERT_FALSE(sizes.empty());
  EXPECT_THAT(sizes.back(),
              HasSubstr("\"" + K2FormatByteSize(sources).ToMultiByte().ToStdString() + "\""));
  EXPECT_THAT(LinesOf(run, "form 132 show"), ::testing::SizeIs(1));
  const std::vector<std::string> boxes = LinesOf(run, "box \"");
  ASSERT_EQ(boxes.size(), 2u) << run.transcript;
  EXPECT_THAT(boxes[0], HasSubstr("\"[Messages/Informations/IncludingNoSupportImages]\" style 0x0 "));
  EXPECT_THAT(boxes[0], HasSubstr("\"[UI/ExportConfirm/0-0]\""));
  EXPECT_THAT(boxes[1], HasSubstr("\"[UI/ExportProgress/0-0]\" \"[Messages/Informations/ExportCompleted]\" style 0x40"));

  const fs::path folder = Cam() / "DCIM" / "100ABCDE";
  EXPECT_EQ(Changed(camBefore, Snapshot(Cam() / "DCIM")),
            (std::vector<std::string>{"100ABCDE/QMVM0006.MPG", "100ABCDE/QMVM0006.THM", "100ABCDE/QMVS0007.JPG",
                                      "100ABCDE/QMVS0008.JPG", "100ABCDE/QMVS0009.JPG"}));
  EXPECT_EQ(ReadBytes(folder / "QMVM0006.MPG"), ReadBytes(pc_ / "Party" / "MOV1.MPG"));
  EXPECT_EQ(ReadBytes(folder / "QMVM0006.THM"), ReadBytes(pc_ / "Party" / "MOV1.THM"));
  EXPECT_EQ(ShotAt(folder / "QMVS0007.JPG"), "2023:03:16 06:00:00");
  EXPECT_EQ(ReadBytes(folder / "QMVS0008.JPG"), ReadBytes(pc_ / "Trip" / "IMG_0002.JPG"));
  EXPECT_EQ(ReadBytes(folder / "QMVS0009.JPG"), ReadBytes(pc_ / "Trip" / "IMG_0010.JPG"));
  for (const char* leftover : {"TRANS.TXT", "DBFILES.tmp", "DBFILES.bak"}) {
    EXPECT_FALSE(fs::exists(Cam() / leftover)) << leftover;
  }

  const StoredAlbums albums = ReadAlbums(Cam());
  ASSERT_EQ(albums.size(), 2u);
  ASSERT_EQ(albums.count("Party"), 1u);
  ASSERT_EQ(albums.at("Party").size(), 2u);
  EXPECT_EQ(albums.at("Party")[0].name, "QMVM0006.MPG");
  EXPECT_NEAR(albums.at("Party")[0].date, Days(2023, 3, 16, 0), 1e-6);
  EXPECT_EQ(albums.at("Party")[1].name, "QMVS0007.JPG");
  EXPECT_NEAR(albums.at("Party")[1].date, Days(2023, 3, 16, 6), 1e-6);
  ASSERT_EQ(albums.count("Trip"), 1u);
  ASSERT_EQ(albums.at("Trip").size(), 2u);
  EXPECT_EQ(albums.at("Trip")[0].name, "QMVS0008.JPG");
  EXPECT_EQ(albums.at("Trip")[1].name, "QMVS0009.JPG");
  for (const StoredContent& content : albums.at("Trip")) {
    EXPECT_NEAR(content.date, Days(2023, 3, 15, 12), 1e-6);
  }
  EXPECT_EQ(albums.at("Trip")[0].favorites, 0);
  EXPECT_EQ(albums.at("Trip")[1].favorites, 0x12);

  EXPECT_FALSE(fs::exists(HandOver()));
  EXPECT_THAT(TempLeftovers(), ::testing::IsEmpty());
  EXPECT_EQ(Snapshot(pc_), pcBefore);
  EXPECT_EQ(Snapshot(Root() / "stick"), stickBefore);
}

TEST_F(K2ExportEndToEnd, AnEmptyCardGetsANewFolder) {
  MakeCamera(*fake_, Cam(), 0);
  WriteHandOver(HandOver(), Contents());
  const auto camBefore = Snapshot(Cam() / "DCIM");

  const accessor_test::ProgramRun run = Export(kConfirmedScript);

  ASSERT_EQ(run.status, 0) << run.err << run.transcript;
  EXPECT_EQ(Changed(camBefore, Snapshot(Cam() / "DCIM")),
            (std::vector<std::string>{"101ZXDCF", "101ZXDCF/QMVM0001.MPG", "101ZXDCF/QMVM0001.THM",
                                      "101ZXDCF/QMVS0002.JPG", "101ZXDCF/QMVS0003.JPG", "101ZXDCF/QMVS0004.JPG"}));
}

TEST_F(K2ExportEndToEnd, ConversionFitsThePicturesAndKeepsTheirDates) {
  WriteRegistry(Root() / "tmp", true);
  MakeCamera(*fake_, Cam(), 5);
  WritePlainPicture(pc_ / "Party" / "P1.JPG", 4000, 3000);
  WritePicture(pc_ / "Trip" / "IMG_0002.JPG", 3000, 4000, "2023:03:15 12:00:00");
  WriteHandOver(HandOver(), Contents());

  const accessor_test::ProgramRun run = Export(kConfirmedScript);

  ASSERT_EQ(run.status, 0) << run.err << run.transcript;
  const fs::path folder = Cam() / "DCIM" / "100ABCDE";
  struct Expected {
    const char* name;
    int32_t width;
    int32_t height;
    const char* shotAt;
  };
  const Expected expected[] = {
      {"QMVS0007.JPG", 640, 480, "2023:03:16 06:00:00"},
      {"QMVS0008.JPG", 360, 480, "2023:03:15 12:00:00"},
      // A small picture: only that it fits is asked.
      {"QMVS0009.JPG", 0, 0, "2023:03:15 12:00:00"},
  };
  for (const Expected& picture : expected) {
    SCOPED_TRACE(picture.name);
    int32_t width = 0;
    int32_t height = 0;
    ReadPictureSize(folder / picture.name, &width, &height);
    EXPECT_GT(width, 0);
    EXPECT_LE(width, 640);
    EXPECT_LE(height, 480);
    if (picture.width != 0) {
      EXPECT_EQ(width, picture.width);
      EXPECT_EQ(height, picture.height);
    }
    EXPECT_EQ(ShotAt(folder / picture.name), picture.shotAt);
  }
  EXPECT_THAT(TempLeftovers(), ::testing::IsEmpty());
}

TEST_F(K2ExportEndToEnd, WithoutACameraOkWarnsAndCancelEndsWithStatusTwo) {
  WriteHandOver(HandOver(), Contents());
  const auto stickBefore = Snapshot(Root() / "stick");
  const accessor_test::ProgramRun run = Export(
      "option clock real\n"
      "option timeout 60000\n"
      "box \"IncludingNoSupportImages\" press ok\n"
      "form 157 press 1\n"
      "box \"DoNotConnectCamera\" press ok\n"
      "form 157 press 2\n");

  EXPECT_EQ(run.status, 2) << run.err << run.transcript;
  const std::vector<std::string> boxes = LinesOf(run, "box \"");
  ASSERT_EQ(boxes.size(), 2u) << run.transcript;
  EXPECT_THAT(boxes[1], HasSubstr("DoNotConnectCamera]\" style 0x30"));
  EXPECT_THAT(LinesOf(run, "form 132"), ::testing::IsEmpty());
  EXPECT_FALSE(fs::exists(HandOver()));
  EXPECT_EQ(Snapshot(Root() / "stick"), stickBefore);
}

TEST_F(K2ExportEndToEnd, RefusedExportsWriteNothingAndFail) {
  struct Case {
    const char* name;
    const char* script;
    // The last box, and how many boxes were shown.
    const char* box;
    size_t boxes;
  };
  const Case cases[] = {
      {"more than 2000 pictures", "box \"CannotWriteMoreThanLimitedNumber\" press ok\n",
       "\"[Messages/Errors/CannotWriteMoreThanLimitedNumber] 2000\" style 0x30", 1},
      {"the export mutexes held", "box \"MutexError\" press ok\n",
       "\"[UI/ExportConfirm/0-0]\" \"[Messages/Errors/MutexError]", 1},
      {"a foreign album database",
       "option clock real\noption timeout 60000\n"
       "box \"IncludingNoSupportImages\" press ok\n"
       "form 157 when 1011 != \"[Strings/Calculating]\" press 1\n"
       "box \"XdbAccessError\" press ok\n",
       "\"[UI/ExportProgress/0-0]\" \"[Messages/Errors/XdbAccessError]\" style 0x30", 2},
  };
  MakeCamera(*fake_, Cam(), 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = c.name;
    std::unique_ptr<ExclusionChecker> held;
    if (name == "more than 2000 pictures") {
      WriteHandOver(HandOver(), std::vector<HandOverContent>(
                                    kOverLimit, HandOverContent{{pc_ / "Trip" / "IMG_0002.JPG"}, kPictureType, kTripDay, {}}));
    } else {
      WriteHandOver(HandOver(), Contents());
    }
    if (name == "the export mutexes held") {
      held = std::make_unique<ExclusionChecker>();
      ASSERT_EQ(held->Check(kExclusionDirectionExport), kExclusionNone);
    }
    if (name == "a foreign album database") {
      fs::remove_all(Cam() / "DBFILES");
      WriteBytes(Cam() / "DBFILES" / "OAI.IND", std::string("\x01\x02\x03\x04 foreign index", 18));
      WriteBytes(Cam() / "DBFILES" / "X.DAT", std::string(300, '\x5A'));
    }
    const auto camBefore = Snapshot(Cam());

    const accessor_test::ProgramRun run = Export(c.script);

    EXPECT_EQ(run.status, 1) << run.err << run.transcript;
    const std::vector<std::string> boxes = LinesOf(run, "box \"");
    ASSERT_EQ(boxes.size(), c.boxes) << run.transcript;
    EXPECT_THAT(boxes.back(), HasSubstr(c.box));
    if (name == "the export mutexes held") {
      EXPECT_THAT(boxes.back(), HasSubstr("style 0x30 "));
    }
    EXPECT_THAT(LinesOf(run, "form 132 progress 1007 100"), ::testing::IsEmpty());
    EXPECT_EQ(Changed(camBefore, Snapshot(Cam())), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(HandOver()));
  }
}

}  // namespace
