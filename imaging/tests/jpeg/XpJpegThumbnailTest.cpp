#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

std::vector<uint8_t> BytesOf(XpMemoryFile& file) {
  const auto* begin = static_cast<const uint8_t*>(file.GetBuffer());
  return begin == nullptr ? std::vector<uint8_t>()
                          : std::vector<uint8_t>(begin, begin + file.GetDataSize());
}

class XpJpegThumbnail : public testsupport::HermeticTest {
 protected:
  XpImageIoJpeg writer_{90, u"Orvane"};
};

TEST_F(XpJpegThumbnail, ExifThumbnailIsLetterboxed) {
  XpImageIoJpeg writer(70, u"Orvane");
  const auto pixmap = SolidBGR(300, 200, 128, 128, 128);
  XpMemoryFile file;
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(writer.WriteToFile(pixmap.get(), XpSharedPtr<XpTiffTagManager>(), file, nullptr,
                               XpRect(), false, true),
            kXpOk);
  const std::vector<JpegSegment> segments = JpegSegments(BytesOf(file));
  ASSERT_FALSE(segments.empty());
  const std::vector<uint8_t>& payload = segments[0].payload;
  const auto tags = ParseExifPayload(payload);
  ASSERT_NE(tags, nullptr);
  const size_t offset = 6 + tags->GetIFD(1)->GetLong(513);
  ASSERT_LT(offset, payload.size());
  const DecodedJpeg thumbnail = DecodeJpeg(
      std::vector<uint8_t>(payload.begin() + static_cast<std::ptrdiff_t>(offset), payload.end()));
  ASSERT_TRUE(thumbnail.ok);
  ASSERT_EQ(thumbnail.width, 160);
  ASSERT_EQ(thumbnail.height, 120);
  // 160 x 106 at y0 = 7.
  for (int32_t y : {0, 1, 2, 3, 116, 117, 118, 119}) {
    for (int32_t x = 0; x < 160; x += 7) {
      EXPECT_LT(thumbnail.Pixel(x, y)[1], 24) << x << "," << y;
    }
  }
  for (int32_t y = 16; y <= 103; y += 3) {
    for (int32_t x = 0; x < 160; x += 7) {
      EXPECT_NEAR(thumbnail.Pixel(x, y)[1], 128, 6) << x << "," << y;
    }
  }
}

TEST_F(XpJpegThumbnail, NoiseNeverFits) {
  const auto noise = NoiseBGR(160, 120, 11);
  XpMemoryFile file;
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  EXPECT_EQ(writer_.WriteWithinSizeLimit(noise.get(), file, 100, 100, true, nullptr),
            kXpErrImaging);
  EXPECT_EQ(file.GetDataSize(), 0u);
  // A step that does not lower the quality tries once.
  for (int32_t step : {0, -5}) {
    EXPECT_EQ(writer_.WriteWithinSizeLimit(noise.get(), file, 100, step, false, nullptr),
              kXpErrImaging);
    EXPECT_EQ(file.GetDataSize(), 0u);
  }
}

TEST_F(XpJpegThumbnail, MovieThumbnailFile) {
  const auto frame = GradientBGR(320, 180);
  const XpDateTime date(2009, 5, 6, 7, 8, 9);
  XpMemoryFile file;
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(writer_.WriteWithinSizeLimit(frame.get(), file, 90, 1, true, &date), kXpOk);
  const std::vector<uint8_t> bytes = BytesOf(file);
  EXPECT_GT(bytes.size(), 0u);
  EXPECT_LT(bytes.size(), 12284u);
  const DecodedJpeg decoded = DecodeJpeg(bytes);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, 160);
  EXPECT_EQ(decoded.height, 120);
  // Stretched: the picture reaches every edge.
  EXPECT_GT(decoded.Pixel(159, 60)[2], 200);
  EXPECT_GT(decoded.Pixel(80, 119)[1], 200);

  const std::optional<JpegSegment> app1 = FindSegment(JpegSegments(bytes), 0xE1);
  ASSERT_TRUE(app1.has_value());
  const auto tags = ParseExifPayload(app1->payload);
  ASSERT_NE(tags, nullptr);
  EXPECT_EQ(tags->GetIFDCount(), 1);
  const std::string stamp("2009:05:06 07:08:09", 20);
  EXPECT_EQ(ValueBytes(*tags->GetIFD(0), 306), stamp);
  EXPECT_EQ(ValueBytes(*tags->GetExifIFD(), 36867), stamp);
  EXPECT_EQ(ValueBytes(*tags->GetExifIFD(), 36868), stamp);
  const auto* interop =
      static_cast<const XpTiffTagDataIFD*>(tags->GetExifIFD()->FindTag(40965, false));
  ASSERT_NE(interop, nullptr);
  EXPECT_EQ(ValueBytes(*interop->GetIFD(0), 1), std::string("THM", 4));
  EXPECT_EQ(tags->GetExifIFD()->GetLong(40962), 160u);
}

TEST_F(XpJpegThumbnail, WithoutExifHasNoBlock) {
  const auto frame = SolidBGR(64, 64, 30, 60, 90);
  XpMemoryFile file;
  ASSERT_EQ(file.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(writer_.WriteWithinSizeLimit(frame.get(), file, 95, 5, false, nullptr), kXpOk);
  const std::vector<uint8_t> bytes = BytesOf(file);
  EXPECT_FALSE(FindSegment(JpegSegments(bytes), 0xE1).has_value());
  const DecodedJpeg decoded = DecodeJpeg(bytes);
  ASSERT_TRUE(decoded.ok);
  EXPECT_NEAR(decoded.Pixel(80, 60)[0], 90, 3);
}

}  // namespace
