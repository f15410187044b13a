#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpGPSInfo.h"
#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
#include "platform/fs/XpFile.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;

constexpr uint64_t kAlignment = 4096;
constexpr int64_t kTiffHeaderInFile = 12;
constexpr uint32_t kPreviewSize = 3000;
const std::string kName = "DSC00001.JPG";

uint32_t MakerLongOf(const std::filesystem::path& path) {
  XpFile file;
  EXPECT_EQ(file.OpenPath(PathText(path), kXpOpenRead), kXpOk);
  uint32_t value = 0;
  EXPECT_EQ(XpTiffAccessMakerLongInFile(file, kTiffHeaderInFile, false, value), kXpOk);
  EXPECT_EQ(file.Close(), kXpOk);
  return value;
}

class XpImageIoJpegRewrite : public testsupport::HermeticTest {
 protected:
  std::filesystem::path Picture() { return Dir("pics") / kName; }

  std::vector<uint8_t> Place(const std::vector<uint8_t>& bytes) {
    WriteBytes(Picture(), bytes);
    return bytes;
  }

  XpSharedPtr<XpTiffTagManager> TagsOf(const std::filesystem::path& path) {
    XpImageIoJpeg reader;
    return reader.ReadTagsFromPath(PathText(path));
  }

  void ExpectOnlyThePicture() {
    EXPECT_EQ(OtherNamesIn(Dir("pics"), {kName}), std::vector<std::string>());
  }

  XpImageIoJpeg io_;
  testsupport::FaultInjection faults_;
};

TEST_F(XpImageIoJpegRewrite, MakerValueIsSetAndThePreviewFollowsAtAPageBoundary) {
  for (const bool inSubIFD : {false, true}) {
    SCOPED_TRACE(inSubIFD ? "0xB028 IFD" : "tag 0x2001");
    ExifPicture picture;
    picture.previewSize = kPreviewSize;
    picture.previewInSubIFD = inSubIFD;
    const std::vector<uint8_t> original = Place(BuildExifJpeg(picture));

    ASSERT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 0x12345678), kXpOk);
    EXPECT_EQ(MakerLongOf(Picture()), 0x12345678u);

    const std::vector<uint8_t> bytes = ReadBytes(Picture());
    const std::vector<uint8_t> jpeg = UpToEndOfImage(bytes);
    ASSERT_FALSE(jpeg.empty());
    const uint64_t boundary = (jpeg.size() + kAlignment - 1) / kAlignment * kAlignment;
    ASSERT_EQ(bytes.size(), boundary + kPreviewSize);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(jpeg.size()),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(boundary)),
              std::vector<uint8_t>(boundary - jpeg.size(), 0));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(boundary),
                                   bytes.end()),
              PreviewBytes(kPreviewSize));

    const XpSharedPtr<XpTiffTagManager> tags = TagsOf(Picture());
    ASSERT_TRUE(tags);
    if (inSubIFD) {
      ASSERT_NE(tags->GetMakerSubIFD(), nullptr);
      EXPECT_EQ(tags->GetMakerSubIFD()->GetLong(0x88) + kTiffHeaderInFile, boundary);
    } else {
      EXPECT_EQ(tags->GetMakerTag2001Offset() + kTiffHeaderInFile, boundary);
      EXPECT_EQ(tags->GetMakerTag2001Count(), kPreviewSize);
    }
    EXPECT_FALSE(tags->GetIFD(0)->GetAsciiA(306).IsEmpty());

    const JpegCoefficients before = ReadCoefficients(original);
    const JpegCoefficients after = ReadCoefficients(jpeg);
    ASSERT_TRUE(after.ok);
    ASSERT_EQ(after.components.size(), before.components.size());
    for (size_t index = 0; index < before.components.size(); ++index) {
      EXPECT_EQ(after.components[index].blocks, before.components[index].blocks);
    }
    EXPECT_EQ(DecodeJpeg(jpeg).rgb, DecodeJpeg(original).rgb);
    ExpectOnlyThePicture();
  }
}

TEST_F(XpImageIoJpegRewrite, OtherSegmentsAndXmpSurviveInTheirOrder) {
  ExifPicture picture;
  picture.before = {JfifSegment(), XmpSegment()};
  picture.after = {IccSegment(1, 1, {9, 8, 7}), AdobeSegment(), CommentSegment("kept")};
  Place(BuildExifJpeg(picture));
  ASSERT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 5), kXpOk);

  const std::vector<uint8_t> bytes = ReadBytes(Picture());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4),
            (std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE1}));
  EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 12), std::string("Exif\0\0", 6));
  std::vector<JpegSegment> markers;
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    if ((segment.code >= 0xE0 && segment.code <= 0xEF) || segment.code == 0xFE) {
      markers.push_back(segment);
    }
  }
  const std::vector<JpegSegment> expected = {picture.before[0], picture.before[1],
                                             picture.after[0], picture.after[1],
                                             picture.after[2]};
  ASSERT_EQ(markers.size(), expected.size() + 1);
  EXPECT_EQ(markers[0].code, 0xE1);
  for (size_t index = 0; index < expected.size(); ++index) {
    EXPECT_EQ(markers[index + 1].code, expected[index].code) << index;
    EXPECT_EQ(markers[index + 1].payload, expected[index].payload) << index;
  }
  // The profile stays in APP2 and is not copied into the tags.
  const auto tags = ParseExifPayload(markers[0].payload);
  ASSERT_NE(tags, nullptr);
  EXPECT_FALSE(tags->GetIFD(0)->HasTag(34675));
}

TEST_F(XpImageIoJpegRewrite, FailuresLeaveTheOriginalAndNoTemporaryFile) {
  struct Case {
    const char* name;
    std::function<void(ExifPicture&)> shape;
    std::function<void(const std::string& path)> fault;
    XpResult expected;
  };
  const auto none = [](const std::string&) {};
  const std::vector<Case> cases = {
      {"no maker note", [](ExifPicture& p) { p.makerNote = false; }, none, 0x8601},
      {"read-only file system on the rename", [](ExifPicture&) {},
       [this](const std::string& path) { faults_.Add(Fault(SysCall::kRename, path).Errno(EROFS)); },
       0x8108},
      {"disk full in the temporary file", [](ExifPicture&) {},
       [this](const std::string& path) {
         faults_.Add(Fault(SysCall::kWrite, path + "E-").Errno(ENOSPC).AfterBytes(1000));
       },
       0x8109},
      {"temporary file not flushed", [](ExifPicture&) {},
       [this](const std::string& path) {
         faults_.Add(Fault(SysCall::kFsync, path + "E-").Errno(EIO));
       },
       XpResultFromErrno(EIO)},
      {"permission bits refused", [](ExifPicture&) {},
       [this](const std::string& path) {
         faults_.Add(Fault(SysCall::kFchmod, path + "E-").Errno(EPERM));
       },
       XpResultFromErrno(EPERM)},
      {"preview one byte past the end",
       [](ExifPicture& p) {
         p.previewSize = kPreviewSize;
         p.previewShortBy = 1;
       },
       none, 0x8103},
      {"thumbnail length 70000",
       [](ExifPicture& p) {
         p.thumbnail = true;
         p.declaredThumbnailLength = 70000;
       },
       none, 0x8600},
      {"block overflows with DateTime", [](ExifPicture& p) { p.exifPayloadSize = 65520; }, none,
       0x8600},
      {"no Exif block", [](ExifPicture& p) { p.withExif = false; }, none, 0x8601},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    ExifPicture picture;
    row.shape(picture);
    const std::vector<uint8_t> original = Place(BuildExifJpeg(picture));
    if (picture.exifPayloadSize != 0) {
      ASSERT_EQ(FindSegment(JpegSegments(original), 0xE1)->payload.size(),
                picture.exifPayloadSize);
    }
    row.fault(Picture().string());
    EXPECT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 7), row.expected);
    EXPECT_EQ(io_.GetLastError(), row.expected);
    faults_.Clear();
    EXPECT_EQ(ReadBytes(Picture()), original);
    ExpectOnlyThePicture();
  }
}

TEST_F(XpImageIoJpegRewrite, AMissingPathCreatesNothing) {
  const std::filesystem::path folder = Dir("pics");
  EXPECT_EQ(io_.RewriteTagsInPlace(PathText(folder / "missing.jpg"), 1), 0x8105u);
  EXPECT_EQ(io_.WriteImageUniqueId(PathText(folder / "missing.jpg"), 1, 2), 0x8105u);
  EXPECT_EQ(io_.RewriteTagsInPlace(PathText(folder), 1), 0x8105u);
  EXPECT_EQ(OtherNamesIn(folder, {}), std::vector<std::string>());
}

TEST_F(XpImageIoJpegRewrite, ATakenTemporaryNameMovesOnToTheNext) {
  Place(BuildExifJpeg(ExifPicture()));
  const std::filesystem::path taken = Dir("pics") / (kName + "E-0");
  std::filesystem::create_directory(taken);
  WriteBytes(taken / "inside", {1, 2, 3});

  ASSERT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 0x51), kXpOk);
  EXPECT_EQ(MakerLongOf(Picture()), 0x51u);
  EXPECT_TRUE(std::filesystem::is_directory(taken));
  EXPECT_EQ(ReadBytes(taken / "inside"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(OtherNamesIn(Dir("pics"), {kName, kName + "E-0"}), std::vector<std::string>());
}

TEST_F(XpImageIoJpegRewrite, SearchForAFreeTemporaryNameIsBounded) {
  const std::vector<uint8_t> original = Place(BuildExifJpeg(ExifPicture()));
  // Every name is taken.
  const int id =
      faults_.Add(Fault(SysCall::kOpen, Picture().string() + "E-").Errno(EEXIST).ForWriting());
  EXPECT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 0x51), kXpErrAlreadyExists);
  EXPECT_EQ(faults_.Hits(id), XpImageIoJpeg::kTempNameAttempts);
  faults_.Clear();
  EXPECT_EQ(ReadBytes(Picture()), original);
  ExpectOnlyThePicture();
}

TEST_F(XpImageIoJpegRewrite, TheFolderIsFlushedAfterTheFile) {
  Place(BuildExifJpeg(ExifPicture()));
  // The first flush is the temporary file's, the second the folder's.
  const int id = faults_.Add(Fault(SysCall::kFsync, Dir("pics").string()).FromCall(2).Errno(EIO));
  EXPECT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 0x52), XpResultFromErrno(EIO));
  EXPECT_EQ(faults_.Hits(id), 1);
  faults_.Clear();
  // The rename came first: the edited file is in place.
  EXPECT_EQ(MakerLongOf(Picture()), 0x52u);
  ExpectOnlyThePicture();
}

TEST_F(XpImageIoJpegRewrite, PermissionBitsAndLinksAreKept) {
  Place(BuildExifJpeg(ExifPicture()));
  std::filesystem::permissions(Picture(), std::filesystem::perms::owner_read |
                                              std::filesystem::perms::group_read);
  ASSERT_EQ(io_.RewriteTagsInPlace(PathText(Picture()), 0x99), kXpOk);
  EXPECT_EQ(std::filesystem::status(Picture()).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  EXPECT_EQ(MakerLongOf(Picture()), 0x99u);

  const std::filesystem::path link = Dir("links") / "linked.jpg";
  std::filesystem::create_symlink(Picture(), link);
  ASSERT_EQ(io_.RewriteTagsInPlace(PathText(link), 0x77), kXpOk);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(link), Picture());
  EXPECT_EQ(MakerLongOf(Picture()), 0x77u);
  ExpectOnlyThePicture();
  EXPECT_EQ(OtherNamesIn(Dir("links"), {"linked.jpg"}), std::vector<std::string>());
}

TEST_F(XpImageIoJpegRewrite, ImageUniqueIdIsWrittenAndReadBack) {
  Place(BuildExifJpeg(ExifPicture()));
  ASSERT_EQ(io_.WriteImageUniqueId(PathText(Picture()), 0x0123456789ABCDEFull,
                                   0xFEDCBA9876543210ull),
            kXpOk);
  const XpSharedPtr<XpTiffTagManager> tags = TagsOf(Picture());
  ASSERT_TRUE(tags);
  const XpTiffTagDataBase* value = tags->GetExifIFD()->FindTag(42016, false);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->GetCount(), 33u);
  EXPECT_EQ(std::string(tags->GetExifIFD()->GetAsciiA(42016).View()),
            "0123456789abcdeffedcba9876543210");
  uint64_t first = 0;
  uint64_t second = 0;
  EXPECT_EQ(io_.ReadImageUniqueIdFromPath(PathText(Picture()), first, second), kXpOk);
  EXPECT_EQ(first, 0x0123456789ABCDEFull);
  EXPECT_EQ(second, 0xFEDCBA9876543210ull);
  ExpectOnlyThePicture();

  // A block without an Exif IFD.
  XpTiffTagManager bare;
  bare.Reset();
  bare.GetRoot()->AddIFD(new XpTiffTagIFD());
  bare.GetIFD(0)->SetAscii(271, "KAVO");
  const std::vector<uint8_t> withoutExif = Place(
      WithSegments(BuildSampledFrame(32, 32, Sampling::k444), {ExifSegment(bare)}));
  EXPECT_EQ(io_.WriteImageUniqueId(PathText(Picture()), 1, 2), 0x8601u);
  EXPECT_EQ(io_.ReadImageUniqueIdFromPath(PathText(Picture()), first, second), 0x8601u);
  EXPECT_EQ(ReadBytes(Picture()), withoutExif);
  ExpectOnlyThePicture();
}

TEST_F(XpImageIoJpegRewrite, GpsSetIsWrittenAndReadBack) {
  Place(BuildExifJpeg(ExifPicture()));
  XpGPSInfo first;
  first.latitudeRef.present = true;
  first.latitudeRef.value = u'N';
  const uint32_t latitude[] = {35, 1, 40, 1, 1234, 100};
  first.latitude.present = true;
  std::copy(std::begin(latitude), std::end(latitude), first.latitude.numbers);
  first.altitude.present = true;
  first.altitude.numerator = 125;
  first.altitude.denominator = 2;
  ASSERT_EQ(io_.WriteGpsInfo(PathText(Picture()), first, false), kXpOk);

  XpGPSInfo read;
  ASSERT_EQ(io_.ReadGpsInfoFromPath(PathText(Picture()), read), kXpOk);
  EXPECT_TRUE(read.latitudeRef.present);
  EXPECT_EQ(read.latitudeRef.value, u'N');
  EXPECT_TRUE(read.latitude.present);
  EXPECT_EQ(std::vector<uint32_t>(read.latitude.numbers, read.latitude.numbers + 6),
            std::vector<uint32_t>(std::begin(latitude), std::end(latitude)));
  EXPECT_TRUE(read.altitude.present);
  EXPECT_EQ(read.altitude.numerator, 125u);
  EXPECT_EQ(read.altitude.denominator, 2u);

  // A second set without altitude: kept when merged, gone when replaced.
  XpGPSInfo second;
  second.longitudeRef.present = true;
  second.longitudeRef.value = u'E';
  ASSERT_EQ(io_.WriteGpsInfo(PathText(Picture()), second, false), kXpOk);
  ASSERT_EQ(io_.ReadGpsInfoFromPath(PathText(Picture()), read), kXpOk);
  EXPECT_TRUE(read.altitude.present);
  EXPECT_TRUE(read.longitudeRef.present);
  ASSERT_EQ(io_.WriteGpsInfo(PathText(Picture()), second, true), kXpOk);
  ASSERT_EQ(io_.ReadGpsInfoFromPath(PathText(Picture()), read), kXpOk);
  EXPECT_FALSE(read.altitude.present);
  EXPECT_FALSE(read.latitude.present);
  EXPECT_TRUE(read.longitudeRef.present);
  ExpectOnlyThePicture();

  Place(BuildExifJpeg(ExifPicture()));
  EXPECT_EQ(io_.ReadGpsInfoFromPath(PathText(Picture()), read), 0x8601u);
}

}  // namespace
