// The streamed re-encode writes what the whole-pixmap write makes of the
// decoded picture, while it holds no pixmap beyond a reduced decode for the
// thumbnail.

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/geometry/XpFitSize.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/pixmap/XpReaderPixelLimit.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr uint8_t kApp1 = 0xE1;
constexpr uint16_t kTagDateTime = 306;
constexpr uint16_t kTagJpegOffset = 513;
constexpr uint16_t kTagJpegLength = 514;
// "Exif" and two zeros before the TIFF block.
constexpr size_t kExifHeadSize = 6;
constexpr int32_t kSourceQuality = 85;
constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kSof0 = 0xC0;
constexpr uint8_t kSof2 = 0xC2;
// After the SOF marker: length (2), precision (1), height (2), width (2).
constexpr size_t kSofHeightOffset = 5;
constexpr size_t kSofWidthOffset = 7;
// A reduced thumbnail source stays this close to the full one, per channel
// on average.
constexpr double kThumbnailTolerance = 3.0;

enum class Sampling { k444, k422, k420, kGrey };

// libjpeg's sampling factors of the luma component (chroma 1 x 1).
void SetSampling(jpeg_compress_struct& info, Sampling sampling) {
  const int horizontal = sampling == Sampling::k444 ? 1 : 2;
  const int vertical = sampling == Sampling::k420 ? 2 : 1;
  info.comp_info[0].h_samp_factor = horizontal;
  info.comp_info[0].v_samp_factor = vertical;
}

// The BGR pixmap as a JPEG stream without APP markers.
std::vector<uint8_t> EncodeSource(const XpPixmapBase& pixmap, Sampling sampling, bool progressive) {
  const bool grey = sampling == Sampling::kGrey;
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  jpeg_mem_dest(&info, &output, &outputSize);
  info.image_width = static_cast<JDIMENSION>(pixmap.width);
  info.image_height = static_cast<JDIMENSION>(pixmap.height);
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  info.write_JFIF_header = FALSE;
  jpeg_set_quality(&info, kSourceQuality, TRUE);
  if (!grey) {
    SetSampling(info, sampling);
  }
  if (progressive) {
    jpeg_simple_progression(&info);
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> greyRow(static_cast<size_t>(pixmap.width));
  for (int32_t y = 0; y < pixmap.height; ++y) {
    JSAMPROW line = const_cast<JSAMPROW>(pixmap.GetPlane(0)->Row(y));
    if (grey) {
      for (int32_t x = 0; x < pixmap.width; ++x) {
        greyRow[x] = line[x * 3 + 1];
      }
      line = greyRow.data();
    }
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> stream(output, output + outputSize);
  std::free(output);
  return stream;
}

void PutBigEndian16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes.at(at) = static_cast<uint8_t>(value >> 8);
  bytes.at(at + 1) = static_cast<uint8_t>(value);
}

// The stream with its frame header declaring width x height; the scan's
// data runs out long before such a picture ends.
std::vector<uint8_t> Declaring(std::vector<uint8_t> bytes, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == kMarkerStart && (bytes[i + 1] == kSof0 || bytes[i + 1] == kSof2)) {
      PutBigEndian16(bytes, i + kSofHeightOffset, height);
      PutBigEndian16(bytes, i + kSofWidthOffset, width);
      return bytes;
    }
  }
  ADD_FAILURE() << "no frame header";
  return bytes;
}

std::vector<uint8_t> App1Payload(const std::vector<uint8_t>& file) {
  const std::optional<JpegSegment> app1 = FindSegment(JpegSegments(file), kApp1);
  return app1 ? app1->payload : std::vector<uint8_t>();
}

// The file without its APP1 segment.
std::vector<uint8_t> WithoutApp1(const std::vector<uint8_t>& file) {
  const std::optional<JpegSegment> app1 = FindSegment(JpegSegments(file), kApp1);
  if (!app1) {
    return file;
  }
  // The segment's payload follows its marker and length.
  const size_t start = app1->offset;
  const size_t end = start + 4 + app1->payload.size();
  std::vector<uint8_t> rest(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(start));
  rest.insert(rest.end(), file.begin() + static_cast<std::ptrdiff_t>(end), file.end());
  return rest;
}

std::string DateTimeOf(const std::vector<uint8_t>& file) {
  const auto tags = ParseExifPayload(App1Payload(file));
  return tags && tags->GetIFD(0) != nullptr ? ValueBytes(*tags->GetIFD(0), kTagDateTime) : "";
}

// Both writes stamp the time of writing: the earlier file takes the later
// one's, which has the same length.
void TakeDateOf(const std::vector<uint8_t>& from, std::vector<uint8_t>& file) {
  const std::string wanted = DateTimeOf(from);
  const std::string stamped = DateTimeOf(file);
  ASSERT_EQ(wanted.size(), stamped.size());
  ASSERT_FALSE(stamped.empty());
  for (auto at = std::search(file.begin(), file.end(), stamped.begin(), stamped.end());
       at != file.end(); at = std::search(at, file.end(), stamped.begin(), stamped.end())) {
    at = std::copy(wanted.begin(), wanted.end(), at);
  }
}

// The embedded thumbnail's JPEG of a written file.
std::vector<uint8_t> ThumbnailOf(const std::vector<uint8_t>& file) {
  const std::vector<uint8_t> payload = App1Payload(file);
  const auto tags = ParseExifPayload(payload);
  if (!tags || tags->GetIFD(1) == nullptr) {
    return {};
  }
  const uint32_t start = tags->GetIFD(1)->GetLong(kTagJpegOffset);
  const uint32_t length = tags->GetIFD(1)->GetLong(kTagJpegLength);
  const size_t at = kExifHeadSize + start;
  if (at + length > payload.size()) {
    return {};
  }
  return std::vector<uint8_t>(payload.begin() + static_cast<std::ptrdiff_t>(at),
                              payload.begin() + static_cast<std::ptrdiff_t>(at + length));
}

double MeanDifference(const DecodedJpeg& a, const DecodedJpeg& b) {
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    sum += std::abs(int32_t{a.rgb[i]} - int32_t{b.rgb[i]});
  }
  return a.rgb.empty() ? 0 : sum / static_cast<double>(a.rgb.size());
}

class XpJpegStreamedReencode : public testsupport::HermeticTest {
 protected:
  // The source in a file of its own.
  std::filesystem::path Source(const std::vector<uint8_t>& bytes) {
    const std::filesystem::path path = Dir("in") / "source.jpg";
    WriteBytes(path, bytes);
    return path;
  }

  // What the whole-pixmap path makes of the source: the tags and the
  // picture read, then written.
  std::vector<uint8_t> WrittenFromPixmap(const std::filesystem::path& source) {
    XpImageIoJpeg reader;
    const XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(PathText(source));
    const std::unique_ptr<XpPixmapBase> pixmap(
        reader.ReadPixmapFromPath(PathText(source), 1, nullptr, false, false));
    EXPECT_NE(pixmap, nullptr);
    const std::filesystem::path target = Dir("out") / "whole.jpg";
    EXPECT_EQ(writer_.WriteToPath(pixmap.get(), tags, PathText(target), nullptr, XpRect(), false,
                                  false),
              kXpOk);
    return ReadBytes(target);
  }

  XpResult Reencode(const std::filesystem::path& source, const std::filesystem::path& target) {
    XpImageIoJpeg reader;
    const XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(PathText(source));
    XpFile file;
    EXPECT_EQ(file.OpenPath(PathText(source), kXpOpenRead), kXpOk);
    return writer_.ReencodeToPath(file, 0, tags, PathText(target));
  }

  std::vector<uint8_t> Streamed(const std::filesystem::path& source) {
    const std::filesystem::path target = Dir("out") / "streamed.jpg";
    EXPECT_EQ(Reencode(source, target), kXpOk);
    return ReadBytes(target);
  }

  XpImageIoJpeg writer_{70, u"Orvane"};
};

struct SourceCase {
  int32_t width;
  int32_t height;
  Sampling sampling;
  // 0: no Exif block.
  uint16_t orientation;
  bool withProfile;
  bool noise;
};

// The source described by the case.
std::vector<uint8_t> BuildSource(const SourceCase& c) {
  const auto pixmap = c.noise ? NoiseBGR(c.width, c.height, 7) : GradientBGR(c.width, c.height);
  const std::vector<uint8_t> stream = EncodeSource(*pixmap, c.sampling, false);
  std::vector<JpegSegment> segments;
  if (c.orientation != 0) {
    segments.push_back(ExifSegment(*Ifd0Tags(c.orientation)));
  }
  if (c.withProfile) {
    segments.push_back(IccSegment(1, 1, std::vector<uint8_t>(300, 0x5A)));
  }
  return WithSegments(stream, segments);
}

std::string Describe(const SourceCase& c) {
  return std::to_string(c.width) + " x " + std::to_string(c.height) + " sampling " +
         std::to_string(static_cast<int>(c.sampling)) + " orientation " +
         std::to_string(c.orientation) + (c.withProfile ? " with profile" : "");
}

// The thumbnail's covering scale is 1 for these: the files are the same.
TEST_F(XpJpegStreamedReencode, GivesTheWholePixmapWritesFileByteForByte) {
  const SourceCase cases[] = {
      {1, 1, Sampling::k420, 0, false, true},
      {17, 9, Sampling::k444, 0, false, true},
      {160, 120, Sampling::k420, 0, false, true},
      {160, 120, Sampling::k422, 6, false, false},
      {250, 190, Sampling::k420, 8, true, true},
      {301, 70, Sampling::k444, 1, false, true},
      {90, 230, Sampling::kGrey, 3, false, false},
      {200, 150, Sampling::k422, 0, true, true},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(Describe(c));
    const std::filesystem::path source = Source(BuildSource(c));
    std::vector<uint8_t> whole = WrittenFromPixmap(source);
    const std::vector<uint8_t> streamed = Streamed(source);
    TakeDateOf(streamed, whole);
    EXPECT_FALSE(ThumbnailOf(streamed).empty());
    EXPECT_TRUE(streamed == whole);
  }
}

// Larger pictures take their thumbnail from a reduced decode: everything
// else is the same, and the thumbnail shows the same picture.
TEST_F(XpJpegStreamedReencode, LargerPicturesDifferOnlyInTheirThumbnail) {
  struct Case {
    SourceCase source;
    int32_t scale;
  };
  const Case cases[] = {
      {{640, 480, Sampling::k420, 0, false, false}, 4},
      {{1000, 200, Sampling::k422, 6, true, false}, 4},
      {{1300, 1000, Sampling::k444, 8, false, false}, 8},
      {{400, 300, Sampling::kGrey, 0, false, false}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.source));
    const std::filesystem::path source = Source(BuildSource(c.source));
    std::vector<uint8_t> whole = WrittenFromPixmap(source);
    const std::vector<uint8_t> streamed = Streamed(source);
    TakeDateOf(streamed, whole);
    EXPECT_TRUE(WithoutApp1(streamed) == WithoutApp1(whole));

    const auto wholeTags = ParseExifPayload(App1Payload(whole));
    const auto streamedTags = ParseExifPayload(App1Payload(streamed));
    ASSERT_TRUE(wholeTags && streamedTags);
    ASSERT_NE(streamedTags->GetIFD(1), nullptr);
    const XpTiffTagIFD* exif = streamedTags->GetExifIFD();
    ASSERT_NE(exif, nullptr);
    for (const uint16_t tag : TagsOf(*exif)) {
      EXPECT_EQ(ValueBytes(*exif, tag), ValueBytes(*wholeTags->GetExifIFD(), tag)) << tag;
    }
    EXPECT_EQ(TagsOf(*streamedTags->GetIFD(0)), TagsOf(*wholeTags->GetIFD(0)));
    for (const uint16_t tag : TagsOf(*streamedTags->GetIFD(0))) {
      if (tag != kXpTiffTagExifIFD) {
        EXPECT_EQ(ValueBytes(*streamedTags->GetIFD(0), tag),
                  ValueBytes(*wholeTags->GetIFD(0), tag))
            << tag;
      }
    }
    EXPECT_EQ(TagsOf(*streamedTags->GetIFD(1)), TagsOf(*wholeTags->GetIFD(1)));
    for (const uint16_t tag : TagsOf(*streamedTags->GetIFD(1))) {
      if (tag != kTagJpegLength) {
        EXPECT_EQ(ValueBytes(*streamedTags->GetIFD(1), tag),
                  ValueBytes(*wholeTags->GetIFD(1), tag))
            << tag;
      }
    }

    const DecodedJpeg wholeThumbnail = DecodeJpeg(ThumbnailOf(whole));
    const DecodedJpeg streamedThumbnail = DecodeJpeg(ThumbnailOf(streamed));
    ASSERT_TRUE(wholeThumbnail.ok && streamedThumbnail.ok);
    EXPECT_EQ(streamedThumbnail.width, wholeThumbnail.width);
    EXPECT_EQ(streamedThumbnail.height, wholeThumbnail.height);
    EXPECT_LT(MeanDifference(streamedThumbnail, wholeThumbnail), kThumbnailTolerance);
    // The scale of the reduced decode: the fitted thumbnail still covered.
    XpSize fitted;
    XpFitSizeInside(c.source.width, c.source.height, 160, 120, fitted.cx, fitted.cy);
    EXPECT_EQ(XpImageIoJpeg::ScaleCovering(XpSize(c.source.width, c.source.height), fitted),
              c.scale);
  }
}

// The header declares 16400 x 16400, beyond what a whole-pixmap read takes.
TEST_F(XpJpegStreamedReencode, APictureBeyondThePixelLimitIsWrittenWithoutItsPixmap) {
  constexpr uint16_t kSide = 16400;
  static_assert(uint64_t{kSide} * kSide > kXpMaxReaderPixels);
  const std::filesystem::path source =
      Source(Declaring(BuildFrame(16, 16, FrameModel::kRgb, 200, 30, 60), kSide, kSide));
  XpImageIoJpeg reader;
  EXPECT_EQ(std::unique_ptr<XpPixmapBase>(
                reader.ReadPixmapFromPath(PathText(source), 1, nullptr, false, false)),
            nullptr);

  const std::filesystem::path target = Dir("out") / "large.jpg";
  size_t largest = 0;
  {
    XpScopedPixmapAllocationCount count;
    ASSERT_EQ(Reencode(source, target), kXpOk);
    largest = count.LargestBytes();
  }
  // The reduced decode at 1/8 is the largest pixmap.
  XpPixmapBGR24NoHandle reduced;
  ASSERT_EQ(reduced.Allocate(kSide / 8, kSide / 8), kXpOk);
  EXPECT_EQ(largest, reduced.blockSize);

  XpSize size;
  ASSERT_EQ(reader.ReadImageSizeFlag0FromPath(PathText(target), &size), kXpOk);
  EXPECT_EQ(size, XpSize(kSide, kSide));
  const std::unique_ptr<XpPixmapBase> thumbnail(
      reader.ReadOrientedPixmapFromPath(PathText(target)));
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(XpSize(thumbnail->width, thumbnail->height), XpSize(120, 120));
  EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
}

TEST_F(XpJpegStreamedReencode, UnreadableSourcesWriteNothing) {
  const auto pixmap = GradientBGR(32, 32);
  const std::vector<uint8_t> plain = EncodeSource(*pixmap, Sampling::k420, false);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"not a JPEG", std::vector<uint8_t>(200, 0x42)},
      {"a CMYK frame", BuildFrame(32, 32, FrameModel::kCmyk, 10, 20, 30)},
      {"a header cut short", std::vector<uint8_t>(plain.begin(), plain.begin() + 40)},
      {"a progressive stream beyond the pixel limit",
       Declaring(EncodeSource(*pixmap, Sampling::k420, true), 16400, 16400)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path target = Dir("out") / "refused.jpg";
    EXPECT_EQ(Reencode(Source(c.bytes), target), kXpErrImageNoTiffBlock);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
  }
}

TEST_F(XpJpegStreamedReencode, AWriterWithoutANameIsRefused) {
  const auto pixmap = GradientBGR(32, 32);
  const std::filesystem::path source = Source(EncodeSource(*pixmap, Sampling::k420, false));
  XpImageIoJpeg unnamed;
  XpFile file;
  ASSERT_EQ(file.OpenPath(PathText(source), kXpOpenRead), kXpOk);
  const std::filesystem::path target = Dir("out") / "unnamed.jpg";
  EXPECT_EQ(unnamed.ReencodeToPath(file, 0, XpSharedPtr<XpTiffTagManager>(), PathText(target)),
            kXpErrImageNoWriterName);
  EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
