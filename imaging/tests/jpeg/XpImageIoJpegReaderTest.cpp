#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/icc/icc_profile.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/icc/IccProfileBuilder.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr XpResult kNoExif = 0x8601;
constexpr XpResult kNotAJpeg = 0x8602;
constexpr XpResult kBadScale = 0x8604;
constexpr XpResult kStopped = 0x8607;
constexpr uint16_t kTagMake = 271;
constexpr uint16_t kTagModel = 272;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagProfile = 34675;
constexpr uint16_t kTagDateTimeOriginal = 36867;
constexpr uint16_t kTypeUndefined = 7;

// An open read-only memory file over bytes it keeps.
class BytesFile {
 public:
  explicit BytesFile(std::vector<uint8_t> bytes)
      : bytes_(std::move(bytes)), file_(bytes_.data(), bytes_.size(), false) {
    EXPECT_EQ(file_.Open(kXpOpenRead), kXpOk);
  }
  XpMemoryFile& File() { return file_; }

 private:
  std::vector<uint8_t> bytes_;
  XpMemoryFile file_;
};

class RecordingObserver : public IXpImageProgress {
 public:
  explicit RecordingObserver(bool stop) : stop_(stop) {}
  int32_t OnProgress(int32_t percent) override {
    reported.push_back(percent);
    return stop_ ? 1 : 0;
  }
  std::vector<int32_t> reported;

 private:
  bool stop_;
};

// Size and the pixel bytes of a BGR pixmap row by row.
struct Pixels {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgr;
  const uint8_t* At(int32_t x, int32_t y) const {
    return bgr.data() + (static_cast<size_t>(y) * width + x) * 3;
  }
};

Pixels PixelsOf(const XpPixmapBase& pixmap) {
  Pixels pixels{pixmap.width, pixmap.height, {}};
  for (int32_t y = 0; y < pixmap.height; ++y) {
    const uint8_t* row = pixmap.GetPlane(0)->Row(y);
    pixels.bgr.insert(pixels.bgr.end(), row, row + static_cast<size_t>(pixmap.width) * 3);
  }
  return pixels;
}

XpSharedPtr<XpTiffTagManager> Shared(std::unique_ptr<XpTiffTagManager> tags) {
  return XpSharedPtr<XpTiffTagManager>(tags.release());
}

std::vector<uint8_t> IccProfileBytes(const std::string& description) {
  return IccProfileBuilder().Tag("desc", IccDescData(description)).Build();
}

// The start of the TIFF block in a stream whose first Exif APP1 is found.
int64_t TiffBlockStart(const std::vector<uint8_t>& bytes) {
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    if (segment.code == 0xE1 && segment.payload.size() > 6 &&
        std::string(segment.payload.begin(), segment.payload.begin() + 5) ==
            std::string("Exif", 5)) {
      return static_cast<int64_t>(segment.offset + 4 + 6);
    }
  }
  return -1;
}

class XpImageIoJpegReader : public testsupport::HermeticTest {
 protected:
  // The bytes the writer makes of pixmap with tags.
  std::vector<uint8_t> Written(const XpPixmapBase& pixmap, XpSharedPtr<XpTiffTagManager> tags,
                               bool resetOrientation = true, bool adobeRgb = false) {
    const auto path = Dir("written") / "picture.jpg";
    EXPECT_EQ(writer_.WriteToPath(&pixmap, tags, PathText(path), nullptr, XpRect(), adobeRgb,
                                  resetOrientation),
              kXpOk);
    return ReadBytes(path);
  }

  std::unique_ptr<XpPixmapBase> Read(const std::vector<uint8_t>& bytes, int32_t scale = 1,
                                     bool convert = false, bool orient = false,
                                     IXpImageProgress* observer = nullptr) {
    BytesFile file(bytes);
    return std::unique_ptr<XpPixmapBase>(
        reader_.ReadPixmap(file.File(), 0, scale, observer, convert, orient));
  }

  std::unique_ptr<XpPixmapBase> Thumbnail(const std::vector<uint8_t>& bytes) {
    BytesFile file(bytes);
    return std::unique_ptr<XpPixmapBase>(reader_.ReadOrientedPixmap(file.File(), 0));
  }

  XpImageIoJpeg writer_{70, u"Orvane"};
  XpImageIoJpeg reader_;
};

TEST_F(XpImageIoJpegReader, NotAJpegFailsEveryOperation) {
  std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
  gif.resize(200, 0);
  EXPECT_EQ(Read(gif), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kNotAJpeg);
  EXPECT_EQ(Thumbnail(gif), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kNotAJpeg);
  BytesFile file(gif);
  EXPECT_EQ(reader_.LocateTiffBlock(file.File(), 0), kNotAJpeg);
  XpSize size(-1, -1);
  EXPECT_EQ(reader_.ReadImageSize(file.File(), 0, &size, false), kNotAJpeg);
  EXPECT_EQ(size.cx, -1);
  EXPECT_FALSE(reader_.ReadTags(file.File(), 0));
  EXPECT_FALSE(reader_.ReadIccProfile(file.File(), 0));
  EXPECT_EQ(reader_.GetLastError(), kNotAJpeg);
}

TEST_F(XpImageIoJpegReader, BrokenApplicationMarkerChainIsNotAJpeg) {
  std::vector<uint8_t> bytes = BuildFrame(16, 16, FrameModel::kRgb, 10, 20, 30);
  // SOI, then an APP0 whose length runs onto a byte that is not FF.
  bytes.insert(bytes.begin() + 2, {0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0x12, 0x34});
  EXPECT_EQ(Read(bytes), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kNotAJpeg);
  BytesFile file(bytes);
  EXPECT_EQ(reader_.LocateTiffBlock(file.File(), 0), kNotAJpeg);
}

TEST_F(XpImageIoJpegReader, ScaleDividesInTheDecoder) {
  const std::vector<uint8_t> bytes = BuildFrame(101, 51, FrameModel::kRgb, 200, 100, 50);
  struct Case {
    int32_t scale;
    int32_t width;
    int32_t height;
  };
  for (const Case& c : {Case{1, 101, 51}, Case{2, 51, 26}, Case{4, 26, 13}, Case{8, 13, 7}}) {
    SCOPED_TRACE(c.scale);
    const auto pixmap = Read(bytes, c.scale);
    ASSERT_NE(pixmap, nullptr);
    EXPECT_EQ(pixmap->width, c.width);
    EXPECT_EQ(pixmap->height, c.height);
    EXPECT_EQ(reader_.GetLastError(), kXpOk);
    // The colour survives the reduced decode: blue, green, red.
    const Pixels pixels = PixelsOf(*pixmap);
    EXPECT_NEAR(pixels.At(c.width / 2, c.height / 2)[2], 200, 8);
    EXPECT_NEAR(pixels.At(c.width / 2, c.height / 2)[0], 50, 8);
  }
  for (const int32_t scale : {3, 0, 16, -2}) {
    EXPECT_EQ(Read(bytes, scale), nullptr) << scale;
    EXPECT_EQ(reader_.GetLastError(), kBadScale) << scale;
  }
}

TEST_F(XpImageIoJpegReader, PixelsComeInBlueGreenRedOrder) {
  const auto red = SolidBGR(64, 48, 0, 0, 255);
  const auto pixmap = Read(Written(*red, XpSharedPtr<XpTiffTagManager>()));
  ASSERT_NE(pixmap, nullptr);
  const Pixels pixels = PixelsOf(*pixmap);
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{32, 24}, std::pair{63, 47}}) {
    EXPECT_GT(pixels.At(x, y)[2], 240);
    EXPECT_LT(pixels.At(x, y)[1], 16);
    EXPECT_LT(pixels.At(x, y)[0], 16);
  }
}

TEST_F(XpImageIoJpegReader, GreyDecodesToThreeEqualChannelsAndCmykFails) {
  const auto grey = Read(BuildFrame(40, 30, FrameModel::kGrey, 100, 0, 0));
  ASSERT_NE(grey, nullptr);
  const Pixels pixels = PixelsOf(*grey);
  for (size_t index = 0; index < pixels.bgr.size(); index += 3) {
    ASSERT_EQ(pixels.bgr[index], pixels.bgr[index + 1]) << index;
    ASSERT_EQ(pixels.bgr[index], pixels.bgr[index + 2]) << index;
  }
  EXPECT_NEAR(pixels.bgr[0], 100, 3);
  EXPECT_EQ(Read(BuildFrame(40, 30, FrameModel::kCmyk, 10, 20, 30)), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kNotAJpeg);
}

TEST_F(XpImageIoJpegReader, EveryPrefixOfAStreamEndsWithoutOverrun) {
  const auto noise = NoiseBGR(64, 48, 7);
  const std::vector<uint8_t> bytes = Written(*noise, XpSharedPtr<XpTiffTagManager>());
  ASSERT_FALSE(bytes.empty());
  int32_t pixmaps = 0;
  for (size_t length = 0; length <= bytes.size(); ++length) {
    const auto pixmap = Read(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length));
    if (pixmap != nullptr) {
      ++pixmaps;
      EXPECT_EQ(pixmap->width, 64);
      EXPECT_EQ(pixmap->height, 48);
      continue;
    }
    const XpResult result = reader_.GetLastError();
    ASSERT_TRUE(result == kNotAJpeg || result == kXpErrEndOfFile)
        << length << ": " << std::hex << result;
  }
  EXPECT_GT(pixmaps, 0);
}

// The scan runs over many refills of the 64 KiB input buffer; the library
// asks for more only once it used every byte, whatever the source record
// still says, so a refill must not feed bytes again.
TEST_F(XpImageIoJpegReader, AScanLongerThanTheInputBufferDecodesAsTheLibraryDoes) {
  const auto noise = NoiseBGR(640, 480, 5);
  const std::vector<uint8_t> bytes = Written(*noise, XpSharedPtr<XpTiffTagManager>());
  ASSERT_GT(bytes.size(), 3u * 65536u);
  const DecodedJpeg expected = DecodeJpeg(bytes);
  ASSERT_TRUE(expected.ok);
  const auto pixmap = Read(bytes);
  ASSERT_NE(pixmap, nullptr) << std::hex << reader_.GetLastError();
  const Pixels pixels = PixelsOf(*pixmap);
  ASSERT_EQ(pixels.width, expected.width);
  ASSERT_EQ(pixels.height, expected.height);
  int32_t differing = 0;
  for (int32_t y = 0; y < pixels.height; ++y) {
    for (int32_t x = 0; x < pixels.width; ++x) {
      const uint8_t* bgr = pixels.At(x, y);
      const uint8_t* rgb = expected.Pixel(x, y);
      differing += (bgr[0] != rgb[2] || bgr[1] != rgb[1] || bgr[2] != rgb[0]) ? 1 : 0;
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST_F(XpImageIoJpegReader, StreamCutInsideAMarkerSegmentIsNotAJpeg) {
  const auto noise = NoiseBGR(64, 48, 11);
  const std::vector<uint8_t> bytes = Written(*noise, XpSharedPtr<XpTiffTagManager>());
  const std::optional<JpegSegment> tables = FindSegment(JpegSegments(bytes), 0xDB);
  ASSERT_TRUE(tables.has_value());
  const size_t tablesEnd = tables->offset + 4 + tables->payload.size();
  for (size_t length = tables->offset + 2; length < tablesEnd; ++length) {
    EXPECT_EQ(Read(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)), nullptr) << length;
    EXPECT_EQ(reader_.GetLastError(), kNotAJpeg) << length;
  }
  size_t scan = tablesEnd;
  while (scan + 1 < bytes.size() && !(bytes[scan] == 0xFF && bytes[scan + 1] == 0xDA)) {
    ++scan;
  }
  ASSERT_LT(scan + 4, bytes.size());
  EXPECT_EQ(Read(std::vector<uint8_t>(bytes.begin(), bytes.begin() + scan + 4)), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kNotAJpeg);
}

TEST_F(XpImageIoJpegReader, StreamCutInsideTheFrameDataStillGivesThePicture) {
  const auto gradient = GradientBGR(640, 480);
  const std::vector<uint8_t> bytes = Written(*gradient, XpSharedPtr<XpTiffTagManager>());
  const size_t cut = bytes.size() * 60 / 100;
  testing::internal::CaptureStderr();
  const auto pixmap = Read(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
  // The library's warning about the missing data is not printed.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(pixmap, nullptr);
  EXPECT_EQ(pixmap->width, 640);
  EXPECT_EQ(pixmap->height, 480);
  EXPECT_EQ(reader_.GetLastError(), kXpOk);
}

TEST_F(XpImageIoJpegReader, SizeFollowsTheStoredOrientationUnlessRaw) {
  const auto pixmap = SolidBGR(40, 30, 90, 90, 90);
  const std::vector<uint8_t> turned = Written(*pixmap, Shared(Ifd0Tags(6)), false);
  const std::vector<uint8_t> plain = BuildFrame(40, 30, FrameModel::kRgb, 1, 2, 3);
  struct Case {
    const std::vector<uint8_t>* bytes;
    bool raw;
    int32_t width;
    int32_t height;
  };
  for (const Case& c : {Case{&turned, false, 30, 40}, Case{&turned, true, 40, 30},
                        Case{&plain, false, 40, 30}, Case{&plain, true, 40, 30}}) {
    BytesFile file(*c.bytes);
    XpSize size;
    EXPECT_EQ(reader_.ReadImageSize(file.File(), 0, &size, c.raw), kXpOk);
    EXPECT_EQ(size.cx, c.width) << c.raw;
    EXPECT_EQ(size.cy, c.height) << c.raw;
  }
  const auto oriented = Read(turned, 1, false, true);
  ASSERT_NE(oriented, nullptr);
  EXPECT_EQ(oriented->width, 30);
  EXPECT_EQ(oriented->height, 40);
  EXPECT_EQ(reader_.GetOrientation(), 6);
  const auto stored = Read(turned);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->width, 40);
}

TEST_F(XpImageIoJpegReader, ExifThumbnailLosesTheBarsOfALetterbox) {
  struct Case {
    int32_t width;
    int32_t height;
    uint16_t orientation;
    int32_t thumbnailWidth;
    int32_t thumbnailHeight;
  };
  for (const Case& c :
       {Case{300, 200, 0, 160, 106}, Case{320, 240, 0, 160, 120}, Case{300, 200, 6, 106, 160}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " o" << c.orientation);
    const auto pixmap = SolidBGR(c.width, c.height, 200, 200, 200);
    const std::vector<uint8_t> bytes =
        Written(*pixmap, Shared(Ifd0Tags(c.orientation)), c.orientation == 0);
    const auto thumbnail = Thumbnail(bytes);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->width, c.thumbnailWidth);
    EXPECT_EQ(thumbnail->height, c.thumbnailHeight);
    // No black bar is left at the edges.
    const Pixels pixels = PixelsOf(*thumbnail);
    EXPECT_GT(pixels.At(0, 0)[1], 150);
    EXPECT_GT(pixels.At(pixels.width - 1, pixels.height - 1)[1], 150);
    EXPECT_EQ(reader_.GetWidth(), static_cast<uint32_t>(c.width));
  }
}

TEST_F(XpImageIoJpegReader, NoThumbnailWithoutIfd1) {
  const auto tags = Ifd0Tags(1);
  const std::vector<uint8_t> exifOnly =
      WithSegments(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5), {ExifSegment(*tags)});
  EXPECT_EQ(Thumbnail(exifOnly), nullptr);
  EXPECT_EQ(Thumbnail(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5)), nullptr);
}

TEST_F(XpImageIoJpegReader, PhotoshopThumbnailResourceDecodes) {
  const std::vector<uint8_t> small = BuildFrame(80, 60, FrameModel::kRgb, 0, 0, 250);
  const PhotoshopResource named{0x0404, "abc", {1, 2, 3, 4, 5}, 0};
  const std::vector<uint8_t> bytes = WithSegments(
      BuildFrame(640, 480, FrameModel::kRgb, 0, 250, 0),
      {JfifSegment(), PhotoshopSegment({named, {0x040C, "", PhotoshopThumbnailData(small), 0}})});
  const auto thumbnail = Thumbnail(bytes);
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(thumbnail->width, 80);
  EXPECT_EQ(thumbnail->height, 60);
  EXPECT_GT(PixelsOf(*thumbnail).At(40, 30)[0], 240);
}

TEST_F(XpImageIoJpegReader, PhotoshopResourceRunningPastTheMarkerIsIgnored) {
  const std::vector<uint8_t> small = BuildFrame(80, 60, FrameModel::kRgb, 0, 0, 250);
  std::vector<uint8_t> data = PhotoshopThumbnailData(small);
  const auto declared = static_cast<uint32_t>(data.size() + 100);
  for (const uint32_t size : {declared, uint32_t{0xFFFFFFFF}}) {
    const std::vector<uint8_t> bytes =
        WithSegments(BuildFrame(64, 64, FrameModel::kRgb, 0, 250, 0),
                     {PhotoshopSegment({{0x0404, "abc", {1, 2, 3}, 0}, {0x040C, "", data, size}})});
    EXPECT_EQ(Thumbnail(bytes), nullptr) << size;
  }
  // A resource whose name runs past the marker.
  JpegSegment cut = PhotoshopSegment({{0x040C, "", data, 0}});
  cut.payload.resize(14 + 4 + 2 + 1);
  cut.payload.back() = 200;
  EXPECT_EQ(Thumbnail(WithSegments(BuildFrame(64, 64, FrameModel::kRgb, 0, 250, 0), {cut})),
            nullptr);
}

TEST_F(XpImageIoJpegReader, IccSegmentsAreJoinedInFileOrder) {
  const std::vector<uint8_t> profile = IccProfileBytes("Reader Test RGB");
  const size_t half = profile.size() / 2;
  const std::vector<uint8_t> first(profile.begin(), profile.begin() + half);
  const std::vector<uint8_t> second(profile.begin() + half, profile.end());
  const auto tags = Ifd0Tags(1);
  const std::vector<uint8_t> bytes =
      WithSegments(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5),
                   {ExifSegment(*tags), IccSegment(2, 2, first), IccSegment(1, 2, second)});
  BytesFile file(bytes);
  const XpSharedPtr<XpTiffTagManager> read = reader_.ReadTags(file.File(), 0);
  ASSERT_TRUE(read);
  const XpTiffTagDataBase* value = read->GetIFD(0)->FindTag(kTagProfile, false);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->GetType(), kTypeUndefined);
  EXPECT_EQ(std::vector<uint8_t>(value->GetData(), value->GetData() + value->GetByteSize()),
            profile);
  const XpSharedPtr<icc_profile> parsed = reader_.ReadIccProfile(file.File(), 0);
  ASSERT_TRUE(parsed);
  EXPECT_STREQ(parsed->GetTag("desc").GetTextDescriptionType().GetText().CStr(), "Reader Test RGB");
}

TEST_F(XpImageIoJpegReader, NoIccSegmentGivesNoProfile) {
  BytesFile file(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5));
  EXPECT_FALSE(reader_.ReadIccProfile(file.File(), 0));
  EXPECT_EQ(reader_.GetLastError(), kNoExif);
}

TEST_F(XpImageIoJpegReader, ProfileWithoutExifGivesNoTags) {
  BytesFile file(WithSegments(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5),
                              {IccSegment(1, 1, IccProfileBytes("Only"))}));
  EXPECT_FALSE(reader_.ReadTags(file.File(), 0));
  EXPECT_TRUE(reader_.ReadIccProfile(file.File(), 0));
}

TEST_F(XpImageIoJpegReader, ExifBlockIsFoundBehindJfifAndXmp) {
  auto tags = Ifd0Tags(3);
  tags->GetIFD(0)->SetAscii(kTagMake, "Maker");
  const std::vector<uint8_t> bytes =
      WithSegments(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5),
                   {JfifSegment(), XmpSegment(), ExifSegment(*tags)});
  const int64_t block = TiffBlockStart(bytes);
  ASSERT_GT(block, 0);
  // At offset 0, and inside a larger file.
  std::vector<uint8_t> embedded(100 + bytes.size(), 0x5A);
  std::copy(bytes.begin(), bytes.end(), embedded.begin() + 100);
  struct Case {
    const std::vector<uint8_t>* bytes;
    int64_t offset;
  };
  for (const Case& c : {Case{&bytes, 0}, Case{&embedded, 100}}) {
    SCOPED_TRACE(c.offset);
    BytesFile file(*c.bytes);
    ASSERT_EQ(reader_.LocateTiffBlock(file.File(), c.offset), kXpOk);
    EXPECT_EQ(file.File().Tell(), c.offset + block);
    const XpSharedPtr<XpTiffTagManager> read = reader_.ReadTags(file.File(), c.offset);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetIFD(0)->GetAsciiA(kTagMake), XpStringA("Maker"));
    std::unique_ptr<XpPixmapBase> pixmap(
        reader_.ReadPixmap(file.File(), c.offset, 1, nullptr, false, true));
    ASSERT_NE(pixmap, nullptr);
    EXPECT_EQ(reader_.GetOrientation(), 3);
  }
}

TEST_F(XpImageIoJpegReader, WithoutExifThereAreNoTags) {
  BytesFile file(
      WithSegments(BuildFrame(32, 32, FrameModel::kRgb, 5, 5, 5), {JfifSegment(), XmpSegment()}));
  EXPECT_FALSE(reader_.ReadTags(file.File(), 0));
  EXPECT_EQ(reader_.LocateTiffBlock(file.File(), 0), kNoExif);
  EXPECT_EQ(reader_.GetLastError(), kNoExif);
}

TEST_F(XpImageIoJpegReader, AdobeRgbSourceIsConvertedOnRequest) {
  const auto gradient = GradientBGR(64, 48);
  const std::vector<uint8_t> bytes =
      Written(*gradient, XpSharedPtr<XpTiffTagManager>(), true, true);
  const auto converted = Read(bytes, 1, true);
  ASSERT_NE(converted, nullptr);
  EXPECT_TRUE(reader_.IsAdobeRgbSource());
  const auto raw = Read(bytes, 1, false);
  ASSERT_NE(raw, nullptr);
  ASSERT_EQ(XpPixmapAdobeRGBToSRGB(*raw), kXpOk);
  EXPECT_EQ(PixelsOf(*converted).bgr, PixelsOf(*raw).bgr);
  // The conversion changes something: the comparison is not trivial.
  const auto unconverted = Read(bytes, 1, false);
  EXPECT_NE(PixelsOf(*unconverted).bgr, PixelsOf(*raw).bgr);
}

TEST_F(XpImageIoJpegReader, ProgressIsReportedEvery256Rows) {
  const std::vector<uint8_t> bytes = BuildFrame(16, 600, FrameModel::kRgb, 1, 2, 3);
  RecordingObserver observer(false);
  EXPECT_NE(Read(bytes, 1, false, false, &observer), nullptr);
  EXPECT_EQ(observer.reported, (std::vector<int32_t>{0, 42, 85, 100}));
  RecordingObserver stopper(true);
  EXPECT_EQ(Read(bytes, 1, false, false, &stopper), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kStopped);
  EXPECT_EQ(stopper.reported, (std::vector<int32_t>{0}));
}

TEST_F(XpImageIoJpegReader, LastErrorStaysUntilTheNextRead) {
  const std::vector<uint8_t> good = BuildFrame(16, 16, FrameModel::kRgb, 1, 2, 3);
  EXPECT_EQ(Read(good, 3), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kBadScale);
  EXPECT_EQ(reader_.GetLastError(), kBadScale);
  EXPECT_NE(Read(good), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpOk);
}

TEST_F(XpImageIoJpegReader, WriterRoundTrip) {
  auto tags = Ifd0Tags(1);
  tags->GetIFD(0)->SetAscii(kTagMake, "Maker");
  tags->GetIFD(0)->SetAscii(kTagModel, "Model 7");
  auto* exifValue = XpTiffTagDataIFD::Create(34665, 0);
  tags->GetIFD(0)->SetEntry(exifValue);
  exifValue->AddIFD(new XpTiffTagIFD());
  exifValue->GetIFD(0)->SetAscii(kTagDateTimeOriginal, "2024:05:06 07:08:09");
  const auto gradient = GradientBGR(640, 480);
  const auto source = Dir("export") / "source.jpg";
  WriteBytes(source, Written(*gradient, Shared(std::move(tags))));

  XpSharedPtr<XpImageIo> sourceReader = XpImageIo::CreateForPath(PathText(source));
  ASSERT_TRUE(sourceReader);
  XpSize size;
  ASSERT_EQ(sourceReader->ReadImageSizeFlag0FromPath(PathText(source), &size), kXpOk);
  std::unique_ptr<XpPixmapBase> decoded(
      sourceReader->ReadPixmapFromPath(PathText(source), 1, nullptr, true, false));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->width, size.cx);
  const XpSharedPtr<XpTiffTagManager> sourceTags = sourceReader->ReadTagsFromPath(PathText(source));
  ASSERT_TRUE(sourceTags);

  const auto target = Dir("export") / "target.jpg";
  XpImageIoJpeg exporter(70, u"Orvane");
  ASSERT_EQ(exporter.WriteToPath(decoded.get(), sourceTags, PathText(target), nullptr, XpRect(),
                                 false, true),
            kXpOk);
  std::unique_ptr<XpPixmapBase> back(
      reader_.ReadPixmapFromPath(PathText(target), 1, nullptr, true, false));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->width, 640);
  EXPECT_EQ(back->height, 480);
  const XpSharedPtr<XpTiffTagManager> backTags = reader_.ReadTagsFromPath(PathText(target));
  ASSERT_TRUE(backTags);
  EXPECT_EQ(backTags->GetIFD(0)->GetAsciiA(kTagMake), XpStringA("Maker"));
  EXPECT_EQ(backTags->GetIFD(0)->GetAsciiA(kTagModel), XpStringA("Model 7"));
  ASSERT_NE(backTags->GetExifIFD(), nullptr);
  EXPECT_EQ(backTags->GetExifIFD()->GetAsciiA(kTagDateTimeOriginal),
            XpStringA("2024:05:06 07:08:09"));

  const Pixels first = PixelsOf(*decoded);
  const Pixels second = PixelsOf(*back);
  double difference[3] = {0, 0, 0};
  for (size_t index = 0; index < first.bgr.size(); ++index) {
    difference[index % 3] += std::abs(first.bgr[index] - second.bgr[index]);
  }
  const double pixels = 640.0 * 480.0;
  for (const double channel : difference) {
    EXPECT_LT(channel / pixels, 4.0);
  }
}

TEST_F(XpImageIoJpegReader, OrientationEditChangesOnlyTheExifBlock) {
  const auto gradient = GradientBGR(120, 80);
  const auto path = Dir("edit") / "turned.jpg";
  // A camera's tags: the thumbnail's IFD is turned as well.
  auto tags = Ifd0Tags(6);
  tags->GetRoot()->AddIFD(new XpTiffTagIFD());
  tags->GetIFD(1)->SetShort(kTagOrientation, 6);
  const std::vector<uint8_t> before = Written(*gradient, Shared(std::move(tags)), false);
  WriteBytes(path, before);
  const auto exif = FindSegment(JpegSegments(before), 0xE1);
  ASSERT_TRUE(exif.has_value());
  const size_t blockStart = exif->offset;
  const size_t blockEnd = exif->offset + 4 + exif->payload.size();

  ASSERT_EQ(reader_.UpdateTagFromPath(PathText(path), 1, false), kXpOk);
  const std::vector<uint8_t> after = ReadBytes(path);
  ASSERT_EQ(after.size(), before.size());
  for (size_t index = 0; index < before.size(); ++index) {
    if (index < blockStart || index >= blockEnd) {
      ASSERT_EQ(after[index], before[index]) << index;
    }
  }
  const XpSharedPtr<XpTiffTagManager> edited = reader_.ReadTagsFromPath(PathText(path));
  ASSERT_TRUE(edited);
  EXPECT_EQ(edited->GetIFD(0)->GetShort(kTagOrientation), 1);
  ASSERT_NE(edited->GetIFD(1), nullptr);
  EXPECT_EQ(edited->GetIFD(1)->GetShort(kTagOrientation), 1);
  const auto afterPixels = Read(after);
  const auto beforePixels = Read(before);
  ASSERT_NE(afterPixels, nullptr);
  ASSERT_NE(beforePixels, nullptr);
  EXPECT_EQ(PixelsOf(*afterPixels).bgr, PixelsOf(*beforePixels).bgr);
}

TEST_F(XpImageIoJpegReader, ShootingDateEditWorksOnAJpeg) {
  const auto pixmap = SolidBGR(64, 48, 90, 90, 90);
  const auto path = Dir("edit") / "dated.jpg";
  const std::vector<uint8_t> before = Written(*pixmap, XpSharedPtr<XpTiffTagManager>());
  WriteBytes(path, before);
  ASSERT_EQ(reader_.WriteDateTimeFromPath(PathText(path), XpDateTime(2010, 11, 12, 13, 14, 15)),
            kXpOk);
  EXPECT_EQ(ReadBytes(path).size(), before.size());
  const XpSharedPtr<XpTiffTagManager> tags = reader_.ReadTagsFromPath(PathText(path));
  ASSERT_TRUE(tags);
  ASSERT_NE(tags->GetExifIFD(), nullptr);
  EXPECT_EQ(tags->GetExifIFD()->GetAsciiA(kTagDateTimeOriginal), XpStringA("2010:11:12 13:14:15"));
}

}  // namespace
