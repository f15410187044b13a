#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;

constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagPixelX = 40962;
constexpr uint16_t kTagPixelY = 40963;
constexpr uint8_t kApp1 = 0xE1;

bool IsRed(const uint8_t* rgb) { return rgb[0] > 200 && rgb[1] < 70 && rgb[2] < 70; }

bool Swaps(int32_t code) { return code == 3 || code == 4 || code == 5 || code == 7; }

class XpImageIoJpegTransform : public testsupport::HermeticTest {
 protected:
  std::filesystem::path Source() { return Dir("in") / "source.jpg"; }
  std::filesystem::path Target() { return Dir("out") / "turned.jpg"; }

  std::vector<uint8_t> PlaceSource(const std::vector<uint8_t>& bytes) {
    WriteBytes(Source(), bytes);
    return bytes;
  }

  XpResult Transform(int32_t code, bool applyOrientation) {
    return io_.TransformLossless(PathText(Source()), PathText(Target()), code, applyOrientation);
  }

  std::unique_ptr<XpTiffTagManager> TargetTags() {
    const auto exif = FindSegment(JpegSegments(ReadBytes(Target())), kApp1);
    return exif ? ParseExifPayload(exif->payload) : nullptr;
  }

  void ExpectNoOutput() {
    EXPECT_EQ(OtherNamesIn(Dir("out"), {}), std::vector<std::string>());
  }

  XpImageIoJpeg io_;
  testsupport::FaultInjection faults_;
};

TEST_F(XpImageIoJpegTransform, PartialIMCUsAreRefusedForEveryTransform) {
  struct Case {
    Sampling sampling;
    int32_t width;
    int32_t height;
    int32_t code;
    XpResult expected;
  };
  const Case cases[] = {
      {Sampling::k420, 64, 47, 5, 0x8605}, {Sampling::k420, 64, 47, 1, 0x8605},
      {Sampling::k420, 64, 48, 5, kXpOk},  {Sampling::k444, 64, 44, 2, 0x8605},
      {Sampling::k444, 64, 40, 2, kXpOk},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(std::to_string(row.width) + " x " + std::to_string(row.height) + " code " +
                 std::to_string(row.code));
    std::filesystem::remove(Target());
    ExifPicture picture;
    picture.sampling = row.sampling;
    picture.width = row.width;
    picture.height = row.height;
    const std::vector<uint8_t> original = PlaceSource(BuildExifJpeg(picture));
    EXPECT_EQ(Transform(row.code, false), row.expected);
    EXPECT_EQ(ReadBytes(Source()), original);
    if (row.expected != kXpOk) {
      ExpectNoOutput();
      continue;
    }
    const bool swap = Swaps(row.code);
    const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target()));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, swap ? row.height : row.width);
    EXPECT_EQ(decoded.height, swap ? row.width : row.height);
    const auto tags = TargetTags();
    ASSERT_NE(tags, nullptr);
    // Kept as SHORT unless swapped, which writes LONG.
    const XpTiffTagIFD& exif = *tags->GetExifIFD();
    EXPECT_EQ(swap ? exif.GetLong(kTagPixelX) : exif.GetShort(kTagPixelX),
              static_cast<uint32_t>(decoded.width));
    EXPECT_EQ(swap ? exif.GetLong(kTagPixelY) : exif.GetShort(kTagPixelY),
              static_cast<uint32_t>(decoded.height));
  }
}

TEST_F(XpImageIoJpegTransform, OrientationIsUndoneBeforeTheTransform) {
  const int32_t width = 64;
  const int32_t height = 48;
  for (int32_t o = 1; o <= 8; ++o) {
    ExifPicture picture;
    picture.orientation = static_cast<uint16_t>(o);
    PlaceSource(BuildExifJpeg(picture));
    for (int32_t t = 0; t <= 7; ++t) {
      SCOPED_TRACE("o " + std::to_string(o) + " t " + std::to_string(t));
      std::filesystem::remove(Target());
      ASSERT_EQ(Transform(t, true), kXpOk);
      // Upright first, then t: where the red top-left corner goes.
      const int32_t upright = UprightCodeOf(o);
      const Placement first = TransformPlacement(upright, 0, 0, width, height);
      const int32_t uprightWidth = Swaps(upright) ? height : width;
      const int32_t uprightHeight = Swaps(upright) ? width : height;
      const Placement corner =
          TransformPlacement(t, first.x, first.y, uprightWidth, uprightHeight);
      const bool swapped = Swaps(upright) != Swaps(t);

      const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target()));
      ASSERT_TRUE(decoded.ok);
      ASSERT_EQ(decoded.width, swapped ? height : width);
      // A pixel 4 in from the corner, inside the red 16 x 16 square.
      const int32_t x = corner.x == 0 ? 4 : decoded.width - 5;
      const int32_t y = corner.y == 0 ? 4 : decoded.height - 5;
      EXPECT_TRUE(IsRed(decoded.Pixel(x, y)));

      const auto tags = TargetTags();
      ASSERT_NE(tags, nullptr);
      EXPECT_EQ(tags->GetIFD(0)->GetShort(kTagOrientation), 1);
      // Stored as SHORT in the source, LONG (and swapped) when turned.
      EXPECT_EQ(tags->GetExifIFD()->GetLong(kTagPixelX), swapped ? 48u : 0u);
      EXPECT_EQ(tags->GetExifIFD()->GetShort(kTagPixelX), swapped ? 0 : 64);
      EXPECT_EQ(tags->GetExifIFD()->GetLong(kTagPixelY), swapped ? 64u : 0u);
    }
  }
}

TEST_F(XpImageIoJpegTransform, WithoutTheFlagTheOrientationIsKept) {
  ExifPicture picture;
  picture.orientation = 6;
  PlaceSource(BuildExifJpeg(picture));
  ASSERT_EQ(Transform(2, false), kXpOk);
  const auto tags = TargetTags();
  ASSERT_NE(tags, nullptr);
  EXPECT_EQ(tags->GetIFD(0)->GetShort(kTagOrientation), 6);
  const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Target()));
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, 64);
  EXPECT_TRUE(IsRed(decoded.Pixel(4, decoded.height - 5)));
}

TEST_F(XpImageIoJpegTransform, AnExistingDestinationIsNeverTouched) {
  PlaceSource(BuildExifJpeg(ExifPicture()));
  WriteBytes(Target(), {1, 2, 3});
  EXPECT_EQ(Transform(5, false), 0x810Au);
  EXPECT_EQ(ReadBytes(Target()), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(OtherNamesIn(Dir("out"), {"turned.jpg"}), std::vector<std::string>());

  std::filesystem::remove(Target());
  std::filesystem::create_directory(Target());
  EXPECT_EQ(Transform(5, false), 0x810Au);
  EXPECT_TRUE(std::filesystem::is_empty(Target()));
  EXPECT_EQ(OtherNamesIn(Dir("out"), {"turned.jpg"}), std::vector<std::string>());
}

TEST_F(XpImageIoJpegTransform, TheThumbnailIsTurnedWithThePicture) {
  ExifPicture picture;
  picture.thumbnail = true;
  PlaceSource(BuildExifJpeg(picture));
  ASSERT_EQ(Transform(5, false), kXpOk);
  const std::vector<uint8_t> bytes = ReadBytes(Target());
  const auto exif = FindSegment(JpegSegments(bytes), kApp1);
  ASSERT_TRUE(exif.has_value());
  const auto tags = ParseExifPayload(exif->payload);
  ASSERT_NE(tags, nullptr);
  ASSERT_NE(tags->GetIFD(1), nullptr);
  const uint32_t offset = tags->GetIFD(1)->GetLong(513);
  const uint32_t length = tags->GetIFD(1)->GetLong(514);
  EXPECT_EQ(tags->GetIFD(1)->GetShort(kTagOrientation), 1);
  ASSERT_LE(6u + offset + length, exif->payload.size());
  const std::vector<uint8_t> stream(exif->payload.begin() + 6 + offset,
                                    exif->payload.begin() + 6 + offset + length);
  const DecodedJpeg thumbnail = DecodeJpeg(stream);
  ASSERT_TRUE(thumbnail.ok);
  EXPECT_EQ(thumbnail.width, 160);
  EXPECT_EQ(thumbnail.height, 120);
  // Blue left, yellow right, turned a quarter clockwise: blue on top,
  // yellow below, fitted between black bars.
  const uint8_t* top = thumbnail.Pixel(80, 10);
  const uint8_t* bottom = thumbnail.Pixel(80, 110);
  const uint8_t* side = thumbnail.Pixel(3, 60);
  EXPECT_GT(top[2], 180);
  EXPECT_LT(top[0], 80);
  EXPECT_GT(bottom[0], 180);
  EXPECT_GT(bottom[1], 180);
  EXPECT_LT(bottom[2], 80);
  EXPECT_LT(side[0] + side[1] + side[2], 40);

  std::filesystem::remove(Target());
  PlaceSource(BuildExifJpeg(ExifPicture()));
  ASSERT_EQ(Transform(5, false), kXpOk);
  const auto without = TargetTags();
  ASSERT_NE(without, nullptr);
  EXPECT_EQ(without->GetIFD(1), nullptr);
}

TEST_F(XpImageIoJpegTransform, XmpAndEveryOtherSegmentStayInTheirOrder) {
  ExifPicture picture;
  picture.before = {JfifSegment(), XmpSegment()};
  picture.after = {IccSegment(1, 1, {9, 8, 7}), XmpSegment(), CommentSegment("kept")};
  PlaceSource(BuildExifJpeg(picture));
  for (const bool applyOrientation : {false, true}) {
    SCOPED_TRACE(applyOrientation);
    std::filesystem::remove(Target());
    ASSERT_EQ(Transform(5, applyOrientation), kXpOk);
    const std::vector<uint8_t> bytes = ReadBytes(Target());
    std::vector<JpegSegment> markers;
    for (const JpegSegment& segment : JpegSegments(bytes)) {
      if ((segment.code >= 0xE0 && segment.code <= 0xEF) || segment.code == 0xFE) {
        markers.push_back(segment);
      }
    }
    // The new Exif block first, then the others as they were.
    const std::vector<JpegSegment> expected = {picture.before[0], picture.before[1],
                                               picture.after[0], picture.after[1],
                                               picture.after[2]};
    ASSERT_EQ(markers.size(), expected.size() + 1);
    EXPECT_EQ(markers[0].offset, 2u);
    EXPECT_NE(ParseExifPayload(markers[0].payload), nullptr);
    for (size_t index = 0; index < expected.size(); ++index) {
      EXPECT_EQ(markers[index + 1].code, expected[index].code) << index;
      EXPECT_EQ(markers[index + 1].payload, expected[index].payload) << index;
    }
  }
}

TEST_F(XpImageIoJpegTransform, FailuresLeaveNeitherFile) {
  struct Case {
    const char* name;
    size_t cutFromSource;
    std::function<void()> fault;
    XpResult expected;
  };
  const std::string out = Dir("out").string();
  const std::vector<Case> cases = {
      {"source cut inside the scan", 200, [] {}, 0x8602},
      {"destination made meanwhile", 0,
       [&] { faults_.Add(Fault(SysCall::kRename, out).Errno(EEXIST)); }, 0x810A},
      {"disk full in the temporary file", 0,
       [&] { faults_.Add(Fault(SysCall::kWrite, out).Errno(ENOSPC).AfterBytes(1000)); }, 0x8109},
      {"temporary file not flushed", 0,
       [&] { faults_.Add(Fault(SysCall::kFsync, out).Errno(EIO)); }, XpResultFromErrno(EIO)},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> bytes = BuildExifJpeg(ExifPicture());
    bytes.resize(bytes.size() - row.cutFromSource);
    PlaceSource(bytes);
    row.fault();
    EXPECT_EQ(Transform(6, false), row.expected);
    faults_.Clear();
    EXPECT_EQ(ReadBytes(Source()), bytes);
    ExpectNoOutput();
  }
}

TEST_F(XpImageIoJpegTransform, AnOverfullBlockCopiesTheSourceMarkersUnchanged) {
  // A camera file: Exif first, no JFIF, a block that DateTime overflows.
  ExifPicture picture;
  picture.exifPayloadSize = 65520;
  picture.after = {IccSegment(1, 1, {4, 5, 6}), CommentSegment("camera")};
  const std::vector<uint8_t> original = PlaceSource(BuildExifJpeg(picture));
  const std::vector<JpegSegment> before = JpegSegments(original);
  ASSERT_EQ(FindSegment(before, kApp1)->payload.size(), 65520u);

  ASSERT_EQ(Transform(2, false), kXpOk);
  const std::vector<uint8_t> bytes = ReadBytes(Target());
  std::vector<JpegSegment> markers;
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    if ((segment.code >= 0xE0 && segment.code <= 0xEF) || segment.code == 0xFE) {
      markers.push_back(segment);
    }
  }
  const std::vector<JpegSegment> expected = {*FindSegment(before, kApp1), picture.after[0],
                                             picture.after[1]};
  ASSERT_EQ(markers.size(), expected.size());
  EXPECT_EQ(markers[0].offset, 2u);
  for (size_t index = 0; index < expected.size(); ++index) {
    EXPECT_EQ(markers[index].code, expected[index].code) << index;
    EXPECT_EQ(markers[index].payload, expected[index].payload) << index;
  }
}

}  // namespace
