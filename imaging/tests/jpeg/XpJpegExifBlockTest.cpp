#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr uint16_t kTagModel = 272;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagSoftware = 305;
constexpr uint16_t kTagProfile = 34675;
constexpr uint16_t kTagExifVersion = 36864;
constexpr uint16_t kTagUserComment = 37510;
constexpr uint16_t kTagColorSpace = 40961;
constexpr uint16_t kTagInterop = 40965;
constexpr uint16_t kTagGamma = 42240;
constexpr size_t kIccChunk = 65519;

std::string Nul(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

XpTiffTagIFD& Sub(XpTiffTagIFD& ifd, uint16_t tag) {
  auto* value = static_cast<XpTiffTagDataIFD*>(ifd.FindTag(tag, false));
  if (value == nullptr) {
    value = XpTiffTagDataIFD::Create(tag, 0);
    ifd.SetEntry(value);
  }
  if (value->GetIFDCount() == 0) {
    value->AddIFD(new XpTiffTagIFD());
  }
  return *value->GetIFD(0);
}

const XpTiffTagIFD* Interop(const XpTiffTagManager& tags) {
  const XpTiffTagIFD* exif = tags.GetExifIFD();
  const auto* value = exif == nullptr
                          ? nullptr
                          : static_cast<const XpTiffTagDataIFD*>(exif->FindTag(kTagInterop, false));
  return value == nullptr ? nullptr : value->GetIFD(0);
}

std::vector<uint8_t> Profile(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t index = 0; index < size; ++index) {
    bytes[index] = static_cast<uint8_t>(index * 7 + index / 251);
  }
  return bytes;
}

// A camera's tags: names, orientation 6, a profile, layout tags and a
// third top-level IFD.
XpTiffTagManager* CameraTags(const std::vector<uint8_t>& profile, const char* exifVersion) {
  auto* tags = new XpTiffTagManager();
  tags->Reset();
  for (int index = 0; index < 3; ++index) {
    tags->GetRoot()->AddIFD(new XpTiffTagIFD());
  }
  XpTiffTagIFD& ifd0 = *tags->GetIFD(0);
  ifd0.SetAscii(kTagModel, "X100");
  ifd0.SetAscii(kTagSoftware, "old");
  ifd0.SetShort(kTagOrientation, 6);
  ifd0.SetLong(256, 640);
  ifd0.SetLong(273, 1234);
  if (!profile.empty()) {
    ifd0.SetUndefined(kTagProfile, profile.data(), static_cast<uint32_t>(profile.size()));
  }
  XpTiffTagIFD& exif = Sub(ifd0, 34665);
  exif.SetUndefined(kTagExifVersion, exifVersion, 4);
  const uint8_t fileSource = 3;
  exif.SetUndefined(41728, &fileSource, 1);
  tags->GetIFD(2)->SetShort(256, 16);
  return tags;
}

class XpJpegExifBlock : public testsupport::HermeticTest {
 protected:
  // Writes pixmap with tags and returns the file's bytes.
  std::vector<uint8_t> Written(const XpPixmapBase& pixmap, XpSharedPtr<XpTiffTagManager> tags,
                               bool resetOrientation = true, bool adobeRgb = false) {
    const auto path = Dir("out") / "picture.jpg";
    result_ = writer_.WriteToPath(&pixmap, tags, PathText(path), nullptr, XpRect(), adobeRgb,
                                  resetOrientation);
    return result_ == kXpOk ? ReadBytes(path) : std::vector<uint8_t>();
  }

  XpImageIoJpeg writer_{70, u"Orvane"};
  XpResult result_ = kXpOk;
};

TEST_F(XpJpegExifBlock, BuiltFromNothing) {
  const auto pixmap = SolidBGR(640, 480, 128, 128, 128);
  const std::vector<uint8_t> bytes = Written(*pixmap, XpSharedPtr<XpTiffTagManager>());
  ASSERT_EQ(result_, kXpOk);
  const std::vector<JpegSegment> segments = JpegSegments(bytes);
  ASSERT_FALSE(segments.empty());
  ASSERT_EQ(segments[0].code, 0xE1);
  const std::vector<uint8_t>& payload = segments[0].payload;
  const auto tags = ParseExifPayload(payload);
  ASSERT_NE(tags, nullptr);
  ASSERT_EQ(tags->GetIFDCount(), 2);

  const XpTiffTagIFD& ifd0 = *tags->GetIFD(0);
  EXPECT_EQ(TagsOf(ifd0),
            (std::vector<uint16_t>{270, 271, 272, 274, 282, 283, 296, 305, 306, 531, 34665}));
  EXPECT_EQ(ValueBytes(ifd0, 270), Nul(std::string(31, ' ')));
  EXPECT_EQ(ValueBytes(ifd0, 271), Nul("KAVO"));
  EXPECT_EQ(ValueBytes(ifd0, 272), Nul("Orvane"));
  EXPECT_EQ(ValueBytes(ifd0, 305), Nul("Orvane"));
  EXPECT_EQ(ifd0.GetShort(kTagOrientation), 1);
  EXPECT_EQ(ifd0.GetRationalValue(282), 72.0);
  EXPECT_EQ(ifd0.GetShort(296), 2);
  EXPECT_EQ(ifd0.GetShort(531), 2);
  const std::string date = ValueBytes(ifd0, 306);
  EXPECT_EQ(date.size(), 20u);
  EXPECT_TRUE(std::regex_match(date.c_str(), std::regex(R"(\d{4}:\d\d:\d\d \d\d:\d\d:\d\d)")))
      << date;

  const XpTiffTagIFD& exif = *tags->GetExifIFD();
  EXPECT_EQ(TagsOf(exif),
            (std::vector<uint16_t>{36864, 36867, 36868, 37121, 40960, 40961, 40962, 40963, 40965}));
  EXPECT_EQ(ValueBytes(exif, kTagExifVersion), "0221");
  EXPECT_EQ(ValueBytes(exif, 36867), date);
  EXPECT_EQ(ValueBytes(exif, 37121), std::string("\x01\x02\x03\x00", 4));
  EXPECT_EQ(ValueBytes(exif, 40960), "0100");
  EXPECT_EQ(exif.GetShort(kTagColorSpace), 1);
  EXPECT_EQ(exif.GetLong(40962), 640u);
  EXPECT_EQ(exif.GetLong(40963), 480u);
  const XpTiffTagIFD* interop = Interop(*tags);
  ASSERT_NE(interop, nullptr);
  EXPECT_EQ(TagsOf(*interop), (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(ValueBytes(*interop, 1), Nul("R98"));
  EXPECT_EQ(ValueBytes(*interop, 2), "0100");

  const XpTiffTagIFD& ifd1 = *tags->GetIFD(1);
  EXPECT_EQ(TagsOf(ifd1), (std::vector<uint16_t>{259, 274, 282, 283, 296, 513, 514}));
  EXPECT_EQ(ifd1.GetShort(259), 6);
  const size_t offset = 6 + ifd1.GetLong(513);
  const size_t length = ifd1.GetLong(514);
  ASSERT_LT(offset + 1, payload.size());
  EXPECT_EQ(payload[offset], 0xFF);
  EXPECT_EQ(payload[offset + 1], 0xD8);
  EXPECT_EQ(offset + length, payload.size());
  const DecodedJpeg thumbnail = DecodeJpeg(
      std::vector<uint8_t>(payload.begin() + static_cast<std::ptrdiff_t>(offset), payload.end()));
  ASSERT_TRUE(thumbnail.ok);
  EXPECT_EQ(thumbnail.width, 160);
  EXPECT_EQ(thumbnail.height, 120);
}

TEST_F(XpJpegExifBlock, CameraTagsAreCleanedAndProfileCarried) {
  const std::vector<uint8_t> profile = Profile(70000);
  const auto pixmap = SolidBGR(64, 48, 50, 100, 150);
  struct Case {
    bool resetOrientation;
    uint16_t orientation;
  };
  for (const Case& c : {Case{true, 1}, Case{false, 6}}) {
    SCOPED_TRACE(c.resetOrientation);
    XpSharedPtr<XpTiffTagManager> source(CameraTags(profile, "0230"));
    const std::unique_ptr<XpTiffTagManager> before(source->Clone());
    const std::vector<uint8_t> bytes = Written(*pixmap, source, c.resetOrientation);
    ASSERT_EQ(result_, kXpOk);
    const std::unique_ptr<XpTiffTagManager> after(source->Clone());
    EXPECT_EQ(WrittenBytes(*before), WrittenBytes(*after));

    const std::vector<JpegSegment> segments = JpegSegments(bytes);
    ASSERT_GE(segments.size(), 3u);
    EXPECT_EQ(segments[0].code, 0xE1);
    std::vector<uint8_t> carried;
    for (int index = 1; index <= 2; ++index) {
      const JpegSegment& segment = segments[index];
      ASSERT_EQ(segment.code, 0xE2);
      EXPECT_EQ(std::string(segment.payload.begin(), segment.payload.begin() + 12),
                Nul("ICC_PROFILE"));
      EXPECT_EQ(segment.payload[12], index);
      EXPECT_EQ(segment.payload[13], 2);
      EXPECT_EQ(segment.payload.size(), 14 + (index == 1 ? kIccChunk : 70000 - kIccChunk));
      carried.insert(carried.end(), segment.payload.begin() + 14, segment.payload.end());
    }
    EXPECT_EQ(carried, profile);
    EXPECT_NE(segments[3].code, 0xE2);

    const auto tags = ParseExifPayload(segments[0].payload);
    ASSERT_NE(tags, nullptr);
    EXPECT_EQ(tags->GetIFDCount(), 2);
    const XpTiffTagIFD& ifd0 = *tags->GetIFD(0);
    for (uint16_t gone : {kTagProfile, uint16_t{256}, uint16_t{273}}) {
      EXPECT_FALSE(ifd0.HasTag(gone)) << gone;
    }
    EXPECT_FALSE(tags->GetExifIFD()->HasTag(41728));
    EXPECT_EQ(ValueBytes(ifd0, kTagModel), Nul("X100"));
    EXPECT_EQ(ValueBytes(ifd0, kTagSoftware), Nul("Orvane"));
    EXPECT_EQ(ifd0.GetShort(kTagOrientation), c.orientation);
    EXPECT_DOUBLE_EQ(ifd0.GetRationalValue(318, false, 1), 0.329);
    EXPECT_DOUBLE_EQ(ifd0.GetRationalValue(319, false, 5), 0.06);
    EXPECT_DOUBLE_EQ(ifd0.GetRationalValue(529, false, 0), 0.299);
    EXPECT_EQ(ifd0.FindTag(319, false)->GetCount(), 6u);
    const XpTiffTagIFD& exif = *tags->GetExifIFD();
    EXPECT_EQ(ValueBytes(exif, kTagExifVersion), "0230");
    EXPECT_EQ(exif.GetShort(kTagColorSpace), 65535);
    EXPECT_DOUBLE_EQ(exif.GetRationalValue(kTagGamma), 2.2);
    EXPECT_EQ(ValueBytes(*Interop(*tags), 1), Nul("R03"));

    // The profile only tags the pixels; they are not converted.
    const DecodedJpeg decoded = DecodeJpeg(bytes);
    ASSERT_TRUE(decoded.ok);
    EXPECT_NEAR(decoded.Pixel(32, 24)[0], 150, 3);
    EXPECT_NEAR(decoded.Pixel(32, 24)[2], 50, 3);
  }
}

TEST_F(XpJpegExifBlock, OlderExifVersionsBecome0221) {
  const auto pixmap = SolidBGR(32, 24, 1, 2, 3);
  const std::pair<const char*, const char*> cases[] = {
      {"0210", "0221"}, {"0220", "0221"}, {"0221", "0221"}, {"0230", "0230"}, {"1000", "1000"}};
  for (const auto& [source, expected] : cases) {
    XpSharedPtr<XpTiffTagManager> tags(CameraTags({}, source));
    const std::vector<uint8_t> bytes = Written(*pixmap, tags);
    ASSERT_EQ(result_, kXpOk);
    const auto parsed = ParseExifPayload(JpegSegments(bytes)[0].payload);
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(ValueBytes(*parsed->GetExifIFD(), kTagExifVersion), expected) << source;
  }
}

TEST_F(XpJpegExifBlock, ProfileUpTo255Segments) {
  const auto pixmap = SolidBGR(16, 16, 1, 2, 3);
  const size_t largest = 255 * kIccChunk;
  ASSERT_EQ(largest, 16707345u);
  const std::vector<uint8_t> bytes =
      Written(*pixmap, XpSharedPtr<XpTiffTagManager>(CameraTags(Profile(largest), "0221")));
  ASSERT_EQ(result_, kXpOk);
  int32_t app2 = 0;
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    if (segment.code == 0xE2) {
      ++app2;
      EXPECT_EQ(segment.payload[12], app2);
      EXPECT_EQ(segment.payload[13], 255);
    }
  }
  EXPECT_EQ(app2, 255);
  EXPECT_TRUE(DecodeJpeg(bytes).ok);

  std::filesystem::remove(Dir("out") / "picture.jpg");
  Written(*pixmap, XpSharedPtr<XpTiffTagManager>(CameraTags(Profile(largest + 1), "0221")));
  EXPECT_EQ(result_, kXpErrImageNotSupported);
  EXPECT_FALSE(std::filesystem::exists(Dir("out") / "picture.jpg"));
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpJpegExifBlock, OversizedBlockKeepsOnlyTheEssentials) {
  auto* source = CameraTags({}, "0221");
  const std::vector<uint8_t> comment(70000, 'c');
  source->GetExifIFD()->SetUndefined(kTagUserComment, comment.data(),
                                     static_cast<uint32_t>(comment.size()));
  const auto pixmap = SolidBGR(32, 24, 1, 2, 3);
  const std::vector<uint8_t> bytes = Written(*pixmap, XpSharedPtr<XpTiffTagManager>(source));
  ASSERT_EQ(result_, kXpOk);
  const auto app1 = FindSegment(JpegSegments(bytes), 0xE1);
  ASSERT_TRUE(app1.has_value());
  const auto tags = ParseExifPayload(app1->payload);
  ASSERT_NE(tags, nullptr);
  EXPECT_EQ(std::string(tags->GetIFD(0)->GetAsciiA(kTagModel).CStr()), "X100");
  EXPECT_FALSE(tags->GetExifIFD()->HasTag(kTagUserComment));
  EXPECT_TRUE(DecodeJpeg(bytes).ok);
}

TEST_F(XpJpegExifBlock, AdobeRgbConvertsAndTags) {
  const auto pixmap = SolidBGR(32, 24, 50, 100, 150);
  const std::vector<uint8_t> bytes = Written(*pixmap, XpSharedPtr<XpTiffTagManager>(), true, true);
  ASSERT_EQ(result_, kXpOk);
  const auto tags = ParseExifPayload(JpegSegments(bytes)[0].payload);
  ASSERT_NE(tags, nullptr);
  EXPECT_EQ(tags->GetExifIFD()->GetShort(kTagColorSpace), 65535);
  EXPECT_TRUE(tags->GetIFD(0)->HasTag(318));
  EXPECT_EQ(ValueBytes(*Interop(*tags), 1), Nul("R03"));
  EXPECT_FALSE(FindSegment(JpegSegments(bytes), 0xE2).has_value());
  const DecodedJpeg decoded = DecodeJpeg(bytes);
  ASSERT_TRUE(decoded.ok);
  // (B, G, R) = (50, 100, 150) is (56, 100, 137) in Adobe RGB.
  EXPECT_NEAR(decoded.Pixel(16, 12)[0], 137, 3);
  EXPECT_NEAR(decoded.Pixel(16, 12)[2], 56, 3);
  // The caller's pixels stay sRGB.
  EXPECT_EQ(pixmap->GetPlane(0)->Row(0)[2], 150);
}

TEST_F(XpJpegExifBlock, SourceColourTagsGoWithoutAdobeRgb) {
  auto* source = CameraTags({}, "0221");
  const uint32_t whitePoint[] = {1, 2, 3, 4};
  auto* value = XpTiffTagData<XpTiffTagTypeRational>::Create(318, 2);
  std::memcpy(value->GetData(), whitePoint, sizeof whitePoint);
  source->GetIFD(0)->SetEntry(value);
  const auto pixmap = SolidBGR(32, 24, 1, 2, 3);
  const std::vector<uint8_t> bytes = Written(*pixmap, XpSharedPtr<XpTiffTagManager>(source));
  ASSERT_EQ(result_, kXpOk);
  const auto tags = ParseExifPayload(JpegSegments(bytes)[0].payload);
  ASSERT_NE(tags, nullptr);
  EXPECT_FALSE(tags->GetIFD(0)->HasTag(318));
  EXPECT_EQ(tags->GetExifIFD()->GetShort(kTagColorSpace), 1);
}

TEST_F(XpJpegExifBlock, MakerNoteAndGpsPassThrough) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const auto pixmap = SolidBGR(64, 48, 10, 20, 30);
    const std::vector<uint8_t> bytes =
        Written(*pixmap, XpSharedPtr<XpTiffTagManager>(FullTagTree(bigEndian).release()));
    ASSERT_EQ(result_, kXpOk);
    const std::vector<JpegSegment> segments = JpegSegments(bytes);
    ASSERT_FALSE(segments.empty());
    const std::vector<uint8_t>& payload = segments[0].payload;
    EXPECT_EQ(payload[6], bigEndian ? 'M' : 'I');
    const auto tags = ParseExifPayload(payload);
    ASSERT_NE(tags, nullptr);
    const XpTiffTagIFD& ifd0 = *tags->GetIFD(0);
    EXPECT_EQ(ValueBytes(ifd0, kTagModel), Nul("K2 camera model"));
    EXPECT_NE(ValueBytes(ifd0, 306), Nul("2009:05:06 07:08:09"));
    const XpTiffTagIFD* makerNote = tags->GetMakerNoteIFD();
    ASSERT_NE(makerNote, nullptr);
    EXPECT_EQ(makerNote->GetShort(1), 5);
    EXPECT_FALSE(makerNote->HasTag(0x2001));
    EXPECT_FALSE(makerNote->HasTag(2));
    ASSERT_NE(tags->GetGPSIFD(), nullptr);
    EXPECT_EQ(ValueBytes(*tags->GetGPSIFD(), 1), Nul("N"));
    const XpTiffTagIFD& exif = *tags->GetExifIFD();
    EXPECT_FALSE(exif.HasTag(41728));
    EXPECT_DOUBLE_EQ(exif.GetRationalValue(33434), 1.0 / 250);
    const XpTiffTagIFD& ifd1 = *tags->GetIFD(1);
    const size_t offset = 6 + ifd1.GetLong(513);
    ASSERT_LT(offset, payload.size());
    EXPECT_EQ(offset + ifd1.GetLong(514), payload.size());
    EXPECT_TRUE(
        DecodeJpeg(std::vector<uint8_t>(payload.begin() + static_cast<std::ptrdiff_t>(offset),
                                        payload.end()))
            .ok);
  }
}

}  // namespace
