#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpJpegLosslessRun.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp14 = 0xEE;
constexpr uint8_t kComment = 0xFE;

bool IsCopiedKind(uint8_t code) { return (code >= kApp0 && code <= 0xEF) || code == kComment; }

// The APPn and COM segments of a stream, in order.
std::vector<JpegSegment> MarkerSegments(const std::vector<uint8_t>& bytes) {
  std::vector<JpegSegment> kept;
  for (const JpegSegment& segment : JpegSegments(bytes)) {
    if (IsCopiedKind(segment.code)) {
      kept.push_back(segment);
    }
  }
  return kept;
}

int CountOf(const std::vector<JpegSegment>& segments, uint8_t code) {
  int count = 0;
  for (const JpegSegment& segment : segments) {
    count += segment.code == code ? 1 : 0;
  }
  return count;
}

std::string Describe(const std::vector<JpegSegment>& segments) {
  std::string text;
  for (const JpegSegment& segment : segments) {
    text += std::to_string(segment.code) + ":" + std::to_string(segment.payload.size()) + " ";
  }
  return text;
}

std::vector<uint8_t> Copied(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& exif,
                            int32_t code = 0) {
  XpMemoryFile source;
  XpMemoryFile destination;
  EXPECT_EQ(source.Open(kXpOpenReadWrite), kXpOk);
  EXPECT_EQ(source.Write(stream.data(), stream.size(), nullptr), kXpOk);
  EXPECT_EQ(destination.Open(kXpOpenReadWrite), kXpOk);
  XpJpegLosslessRun run;
  run.source = &source;
  run.destination = &destination;
  run.exif = exif.empty() ? nullptr : exif.data();
  run.exifSize = exif.size();
  run.transform = code;
  EXPECT_EQ(run.Run(), kXpOk);
  const auto* bytes = static_cast<const uint8_t*>(destination.GetBuffer());
  return std::vector<uint8_t>(bytes, bytes + destination.GetDataSize());
}

class XpJpegMarkerCopy : public testsupport::HermeticTest {
 protected:
  // APP0 JFIF, an XMP APP1, the Exif APP1, APP2 ICC, APP14 Adobe, a COM.
  static std::vector<JpegSegment> SourceSegments() {
    ExifPicture picture;
    const std::vector<JpegSegment> exifOnly = JpegSegments(BuildExifJpeg(picture));
    return {JfifSegment(),  XmpSegment(), *FindSegment(exifOnly, kApp1),
            IccSegment(1, 1, {1, 2, 3, 4, 5}), AdobeSegment(), CommentSegment("a comment")};
  }
};

TEST_F(XpJpegMarkerCopy, ANewExifBlockComesFirstAndReplacesOnlyTheOldOne) {
  const std::vector<JpegSegment> segments = SourceSegments();
  const std::vector<uint8_t> stream = WithSegments(BuildSampledFrame(64, 48, Sampling::k422),
                                                   segments);
  // The third segment is the Exif one.
  const std::vector<uint8_t> exif = segments[2].payload;
  for (const int32_t code : {0, 6}) {
    SCOPED_TRACE(code);
    const std::vector<uint8_t> output = Copied(stream, exif, code);
    ASSERT_GT(output.size(), 16u);
    EXPECT_EQ(std::vector<uint8_t>(output.begin(), output.begin() + 4),
              (std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE1}));
    EXPECT_EQ(std::string(output.begin() + 6, output.begin() + 12), std::string("Exif\0\0", 6));
    EXPECT_EQ(std::string(output.begin() + 12, output.begin() + 14), "II");

    const std::vector<JpegSegment> copied = MarkerSegments(output);
    // The new block, then the others in their order, byte for byte: the
    // XMP APP1 stays.
    const std::vector<JpegSegment> expected = {segments[2], segments[0], segments[1],
                                               segments[3], segments[4], segments[5]};
    ASSERT_EQ(copied.size(), expected.size()) << Describe(copied);
    for (size_t index = 0; index < expected.size(); ++index) {
      EXPECT_EQ(copied[index].code, expected[index].code) << index;
      EXPECT_EQ(copied[index].payload, expected[index].payload) << index;
    }
    EXPECT_EQ(CountOf(copied, kApp0), 1);
    EXPECT_EQ(CountOf(copied, kApp14), 1);
    EXPECT_EQ(CountOf(copied, kApp1), 2);
  }
}

TEST_F(XpJpegMarkerCopy, WithoutABlockEverySegmentIsCopiedInOrderAndNoneAdded) {
  const std::vector<JpegSegment> all = SourceSegments();
  // A camera file: Exif first, no JFIF; and the full mix of segments.
  const std::vector<std::vector<JpegSegment>> sources = {
      {all[2], all[3], all[5]},
      all,
  };
  for (const Sampling sampling : {Sampling::k422, Sampling::kGrey}) {
    for (const std::vector<JpegSegment>& segments : sources) {
      SCOPED_TRACE(Describe(segments));
      const std::vector<uint8_t> stream =
          WithSegments(BuildSampledFrame(64, 48, sampling), segments);
      const std::vector<JpegSegment> copied = MarkerSegments(Copied(stream, {}));
      ASSERT_EQ(copied.size(), segments.size()) << Describe(copied);
      for (size_t index = 0; index < segments.size(); ++index) {
        EXPECT_EQ(copied[index].code, segments[index].code) << index;
        EXPECT_EQ(copied[index].payload, segments[index].payload) << index;
      }
    }
  }
}

TEST_F(XpJpegMarkerCopy, CmykSourcesGetNoAdobeMarkerOfTheLibrary) {
  const std::vector<uint8_t> frame = BuildFrame(32, 32, FrameModel::kCmyk, 10, 200, 30);
  const std::vector<JpegSegment> segments = SourceSegments();
  const std::vector<uint8_t> output = Copied(frame, segments[2].payload);
  const std::vector<JpegSegment> copied = MarkerSegments(output);
  ASSERT_EQ(copied.size(), 1u) << Describe(copied);
  EXPECT_EQ(copied[0].code, kApp1);
  EXPECT_EQ(copied[0].offset, 2u);
}

}  // namespace
