#include "imaging/raw/XpImageIoMRW.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tests/raw/RawFileBuilder.h"
#include "imaging/tests/raw/RawTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace mrwtest {

using Reader = ::XpImageIoMRW;
using Pixmap = std::unique_ptr<XpPixmapBase>;

class XpImageIoMRW : public testsupport::HermeticTest {
 protected:
  XpString Write(const std::string& name, const MrwLayout& layout) {
    return WriteRawFile(Root() / name, BuildMrw(layout));
  }
};

using MrwBlocks = XpImageIoMRW;

// A file of the layout held in memory.
struct MemoryMrw {
  explicit MemoryMrw(const MrwLayout& layout) : bytes(BuildMrw(layout)), file(bytes.data(), bytes.size(), false) {}
  std::vector<uint8_t> bytes;
  XpMemoryFile file;
};

MrwLayout SmallPreview(int32_t width, int32_t height) {
  MrwLayout layout;
  layout.withPrd = false;
  layout.previewWidth = width;
  layout.previewHeight = height;
  return layout;
}

TEST_F(MrwBlocks, BothByteOrdersWalkToTheSameBlocks) {
  for (const bool bigEndian : {true, false}) {
    SCOPED_TRACE(bigEndian ? "M" : "I");
    MrwLayout layout;
    layout.bigEndian = bigEndian;
    MemoryMrw mrw(layout);
    bool foundBigEndian = !bigEndian;
    uint32_t length = 0;
    ASSERT_EQ(MrwReadHeader(mrw.file, 0, &foundBigEndian, &length), kXpOk);
    EXPECT_EQ(foundBigEndian, bigEndian);
    EXPECT_EQ(length, mrw.bytes.size() - 8);
    XpSize size;
    ASSERT_EQ(MrwReadPrdSize(mrw.file, 0, &size), kXpOk);
    EXPECT_EQ(size, XpSize(3016, 2008));
    Reader reader;
    ASSERT_EQ(reader.LocateTiffBlock(mrw.file, 0), kXpOk);
    // Behind PRD and the filler block.
    EXPECT_EQ(static_cast<size_t>(mrw.file.Tell()), MrwTtwSpanOf(mrw.bytes).begin);
    EXPECT_EQ(reader.ReadImageSizeFlag0(mrw.file, 0, &size), kXpOk);
    EXPECT_EQ(size, XpSize(3016, 2008));
    Pixmap shown(reader.ReadPixmap(mrw.file, 0, 1, nullptr, false, false));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(XpSize(shown->width, shown->height), XpSize(1616, 1075));
  }
}

TEST_F(MrwBlocks, AWalkWithoutItsBlockReportsTagNotFound) {
  MrwLayout noTtw;
  noTtw.withTtw = false;
  MemoryMrw mrw(noTtw);
  Reader reader;
  EXPECT_EQ(reader.LocateTiffBlock(mrw.file, 0), kXpErrImageTagNotFound);

  const std::filesystem::path file = Root() / "nottw.MRW";
  const XpString path = WriteRawFile(file, mrw.bytes);
  EXPECT_FALSE(reader.ReadTagsFromPath(path));
  EXPECT_EQ(reader.UpdateTagFromPath(path, 1, false), kXpErrImageTagNotFound);
  EXPECT_EQ(ReadBytes(file), mrw.bytes);
  EXPECT_EQ(reader.ReadPixmapFromPath(path, 1, nullptr, false, false), nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpErrImageTagNotFound);

  MrwLayout noPrd;
  noPrd.withPrd = false;
  MemoryMrw withoutPrd(noPrd);
  XpSize size;
  EXPECT_EQ(MrwReadPrdSize(withoutPrd.file, 0, &size), kXpErrImageTagNotFound);
}

struct HeaderCase {
  const char* what;
  std::vector<uint8_t> bytes;
  XpResult expected;
};

TEST_F(MrwBlocks, BadHeadersAndBlocksGiveTheirCodes) {
  MrwLayout shortPrd;
  shortPrd.prdLength = 20;
  MrwLayout otherMagic;
  otherMagic.magic = std::string("\0MRX", 4);
  std::vector<uint8_t> runaway = BuildMrw(MrwLayout());
  // A renamed PRD block whose length skips far past the header block.
  runaway[9] = 'X';
  runaway[12] = 0xFF;
  runaway[13] = 0xFF;
  runaway[14] = 0xFF;
  runaway[15] = 0xF0;
  const HeaderCase cases[] = {
      {"short PRD", BuildMrw(shortPrd), kXpErrImageNoTiffBlock},
      {"other magic", BuildMrw(otherMagic), kXpErrImageNoTiffBlock},
      {"three bytes", {0, 'M', 'R'}, kXpErrEndOfFile},
      {"empty header block", {0, 'M', 'R', 'M', 0, 0, 0, 0}, kXpErrImageTagNotFound},
      {"skip past the end", runaway, kXpErrImageTagNotFound},
  };
  for (const HeaderCase& entry : cases) {
    std::vector<uint8_t> bytes = entry.bytes;
    XpMemoryFile file(bytes.data(), bytes.size(), false);
    Reader reader;
    XpSize size;
    EXPECT_EQ(reader.ReadImageSizeFlag1(file, 0, &size), entry.expected) << entry.what;
  }
  MemoryMrw magic(otherMagic);
  Reader reader;
  EXPECT_EQ(reader.ReadPixmap(magic.file, 0, 1, nullptr, false, false), nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpErrImageNoTiffBlock);
}

TEST_F(XpImageIoMRW, ThePreviewIsCroppedToThePrdAspect) {
  const MrwLayout layout;
  Reader reader;
  Pixmap shown(reader.ReadPixmapFromPath(Write("crop.MRW", layout), 1, nullptr, false, false));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpOk);
  EXPECT_EQ(XpSize(shown->width, shown->height), XpSize(1616, 1075));
  const Pixmap preview = DecodePreviewBytes(BuildPreviewJpeg(1616, 1080));
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(EqualsRegion(*shown, *preview, 0, 2));
  EXPECT_FALSE(EqualsRegion(*shown, *preview, 0, 0));
}

TEST_F(XpImageIoMRW, WithoutPrdThePreviewStaysWholeAndTheSizeIsMissing) {
  MrwLayout layout;
  layout.withPrd = false;
  const XpString path = Write("noprd.MRW", layout);
  Reader reader;
  Pixmap shown(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpOk);
  EXPECT_EQ(XpSize(shown->width, shown->height), XpSize(1616, 1080));
  XpSize size;
  EXPECT_EQ(reader.ReadImageSizeFlag0FromPath(path, &size), kXpErrImageTagNotFound);
}

TEST_F(XpImageIoMRW, SizesTurnWithTheOrientationAndSlotTenAnswersThePreview) {
  MrwLayout layout;
  layout.orientation = 6;
  const XpString path = Write("turned.MRW", layout);
  Reader reader;
  XpSize size;
  EXPECT_EQ(reader.ReadImageSizeFlag0FromPath(path, &size), kXpOk);
  EXPECT_EQ(size, XpSize(2008, 3016));
  EXPECT_EQ(reader.ReadImageSizeFlag1FromPath(path, &size), kXpOk);
  EXPECT_EQ(size, XpSize(3016, 2008));
  EXPECT_EQ(reader.ReadImageSizeFromPathCopy(path, &size), kXpOk);
  EXPECT_EQ(size, XpSize(1080, 1616));
  EXPECT_EQ(reader.GetFormatFlag(), 1);
  EXPECT_FALSE(XpImageIo::CreateForKind(0x10020401));
}

TEST_F(XpImageIoMRW, ThumbnailsLargerThanTheBoxAreStretchedToIt) {
  struct Case {
    int32_t width;
    int32_t height;
    XpSize expected;
  };
  for (const Case entry : {Case{640, 480, XpSize(160, 120)}, Case{200, 100, XpSize(160, 120)},
                           Case{160, 120, XpSize(160, 120)}, Case{100, 80, XpSize(100, 80)}}) {
    Reader reader;
    Pixmap thumbnail(
        reader.ReadOrientedPixmapFromPath(Write("thumb.MRW", SmallPreview(entry.width, entry.height))));
    ASSERT_NE(thumbnail, nullptr) << entry.width;
    EXPECT_EQ(XpSize(thumbnail->width, thumbnail->height), entry.expected) << entry.width;
  }
}

TEST_F(XpImageIoMRW, PreviewBytesComeFromTheOffsetTagsElseTagTwoElseTag128) {
  struct Case {
    const char* what;
    MrwPreviewPlace place;
    uint8_t firstByte;
    XpSize expected;
  };
  const Case cases[] = {
      {"offset tags, 00 D8", MrwPreviewPlace::kOffsetTags, 0x00, XpSize(320, 240)},
      {"tag 2, 00 D8", MrwPreviewPlace::kTag2, 0x00, XpSize(320, 240)},
      {"tag 128 only", MrwPreviewPlace::kTag128, 0xFF, XpSize(320, 240)},
      {"tag 2 before 128", MrwPreviewPlace::kTag2And128, 0xFF, XpSize(320, 240)},
  };
  for (const Case& entry : cases) {
    MrwLayout layout = SmallPreview(320, 240);
    layout.previewPlace = entry.place;
    layout.previewFirstByte = entry.firstByte;
    Reader reader;
    const XpString path = Write("place.MRW", layout);
    Pixmap shown(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
    ASSERT_NE(shown, nullptr) << entry.what << " " << std::hex << reader.GetLastError();
    EXPECT_EQ(XpSize(shown->width, shown->height), entry.expected) << entry.what;
    XpSize size;
    EXPECT_EQ(reader.ReadPreviewSizeFromPath(path, &size), kXpOk) << entry.what;
    EXPECT_EQ(size, entry.expected) << entry.what;
  }
}

TEST_F(XpImageIoMRW, BrokenPreviewsFailWithTheirCodes) {
  struct Case {
    const char* what;
    MrwLayout layout;
    int32_t scale;
    XpResult expected;
  };
  MrwLayout oneByte = SmallPreview(320, 240);
  oneByte.previewPlace = MrwPreviewPlace::kTag2;
  oneByte.previewBytes = {0xFF};
  MrwLayout emptyTag = oneByte;
  emptyTag.previewBytes.clear();
  emptyTag.previewPlace = MrwPreviewPlace::kNone;
  MrwLayout pastEnd = SmallPreview(320, 240);
  pastEnd.previewLengthOverride = static_cast<uint32_t>(MrwPreviewOf(pastEnd).size() + 1);
  MrwLayout huge = SmallPreview(320, 240);
  huge.previewLengthOverride = 0xFFFFFFF0;
  MrwLayout otherMagic = SmallPreview(320, 240);
  otherMagic.magic = std::string("\0MRX", 4);
  const Case cases[] = {
      {"one byte in tag 2", oneByte, 1, kXpErrImageNoTiffBlock},
      {"no preview", emptyTag, 1, kXpErrImageNoTiffBlock},
      {"length one past the end", pastEnd, 1, kXpErrEndOfFile},
      {"length 0xFFFFFFF0", huge, 1, kXpErrEndOfFile},
      {"other magic", otherMagic, 1, kXpErrImageNoTiffBlock},
      {"scale 0", SmallPreview(320, 240), 0, kXpErrImageBadRegion},
  };
  for (const Case& entry : cases) {
    Reader reader;
    const XpString path = Write("broken.MRW", entry.layout);
    EXPECT_EQ(reader.ReadPixmapFromPath(path, entry.scale, nullptr, false, false), nullptr)
        << entry.what;
    EXPECT_EQ(reader.GetLastError(), entry.expected) << entry.what;
    if (entry.scale == 1) {
      XpSize size;
      EXPECT_EQ(reader.ReadPreviewSizeFromPath(path, &size), entry.expected) << entry.what;
    }
  }
}

TEST_F(MrwBlocks, ThePreviewHelpersRefuseFewerThanTwoBytes) {
  uint8_t one[1] = {0x12};
  XpResult result = kXpOk;
  EXPECT_EQ(MrwDecodePreview(one, 1, &result), nullptr);
  EXPECT_EQ(result, kXpErrImageNoTiffBlock);
  EXPECT_EQ(one[0], 0x12);
  XpSize size;
  EXPECT_EQ(MrwReadPreviewSize(one, 0, &size), kXpErrImageNoTiffBlock);
  std::vector<uint8_t> jpeg = BuildPreviewJpeg(48, 32);
  jpeg[0] = 0;
  EXPECT_EQ(MrwReadPreviewSize(jpeg.data(), jpeg.size(), &size), kXpOk);
  EXPECT_EQ(size, XpSize(48, 32));
  EXPECT_EQ(jpeg[0], 0xFF);
}

TEST_F(XpImageIoMRW, TagReadsKeepTheMakerNoteRawWhileThePreviewUsesIt) {
  const MrwLayout layout = SmallPreview(320, 240);
  const XpString path = Write("tags.MRW", layout);
  Reader reader;
  XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
  ASSERT_TRUE(tags);
  ASSERT_NE(tags->GetExifIFD(), nullptr);
  EXPECT_EQ(tags->GetExifIFD()->GetAsciiA(36867), "2009:03:03 10:20:30");
  EXPECT_EQ(tags->GetMakerNoteIFD(), nullptr);
  const XpTiffTagDataBase* makerNote = tags->GetExifIFD()->FindTag(37500, false);
  ASSERT_NE(makerNote, nullptr);
  EXPECT_FALSE(makerNote->IsSubIFD());
  Pixmap shown(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
  EXPECT_NE(shown, nullptr);
}

TEST_F(XpImageIoMRW, AnOrientationTurnChangesOnlyBytesInsideTheTtwData) {
  MrwLayout layout = SmallPreview(320, 240);
  layout.orientation = 6;
  const std::filesystem::path file = Root() / "turn.MRW";
  const XpString path = Write("turn.MRW", layout);
  const std::vector<uint8_t> before = ReadBytes(file);
  Reader reader;
  ASSERT_EQ(reader.UpdateTagFromPath(path, 1, false), kXpOk);
  XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
  ASSERT_TRUE(tags);
  EXPECT_EQ(tags->GetIFD(0)->GetShort(274), 1);
  const std::vector<uint8_t> after = ReadBytes(file);
  ASSERT_EQ(after.size(), before.size());
  const MrwTtwSpan span = MrwTtwSpanOf(before);
  const std::vector<size_t> changed = ChangedPositions(before, after);
  EXPECT_FALSE(changed.empty());
  for (const size_t position : changed) {
    EXPECT_TRUE(position >= span.begin && position < span.end) << position;
  }
}

TEST_F(XpImageIoMRW, ColourConversionFollowsTheColourSpace) {
  for (const uint16_t colorSpace : {uint16_t{65535}, uint16_t{1}}) {
    MrwLayout layout = SmallPreview(320, 240);
    layout.colorSpace = colorSpace;
    const XpString path = Write("colour.MRW", layout);
    Reader reader;
    Pixmap plain(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
    Pixmap converted(reader.ReadPixmapFromPath(path, 1, nullptr, true, false));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(converted, nullptr);
    if (colorSpace == 65535) {
      EXPECT_FALSE(EqualsRegion(*converted, *plain, 0, 0));
      ASSERT_EQ(XpPixmapAdobeRGBToSRGB(*plain), kXpOk);
    }
    EXPECT_TRUE(EqualsRegion(*converted, *plain, 0, 0)) << colorSpace;
  }
}

TEST_F(XpImageIoMRW, TheCheckerReadsTheShootingDateThroughTheReader) {
  XpDateTime date;
  ASSERT_TRUE(::XpFormatChecker::GetShootingDate(Write("dated.MRW", SmallPreview(64, 48)), date));
  EXPECT_EQ(date.GetYear(), 2009);
  EXPECT_EQ(date.GetMonth(), 3);
  EXPECT_EQ(date.GetDay(), 3);
  EXPECT_EQ(date.GetHour(), 10);
  EXPECT_EQ(date.GetMinute(), 20);
  EXPECT_EQ(date.GetSecond(), 30);
}

// A preview that is a JPEG stream ending in a short APP1: the reader
// decodes it through a memory file, which answers a short read with
// success, and every read of the file must still end with a result.
TEST_F(XpImageIoMRW, APreviewEndingInAShortApp1EndsEveryRead) {
  MrwLayout layout = SmallPreview(320, 240);
  layout.previewPlace = MrwPreviewPlace::kTag2;
  layout.previewBytes = {0x00, 0xD8, 0xFF, 0xE1, 0x00, 0x02, 0xFF, 0xD9};
  const XpString path = Write("shortapp1.MRW", layout);
  Reader reader;
  EXPECT_EQ(reader.ReadPixmapFromPath(path, 1, nullptr, true, true), nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpErrImageNoTiffBlock);
  EXPECT_EQ(reader.ReadOrientedPixmapFromPath(path), nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpErrImageNoTiffBlock);
  XpSize size;
  EXPECT_EQ(reader.ReadPreviewSizeFromPath(path, &size), kXpErrImageNoTiffBlock);

  MemoryMrw mrw(layout);
  Pixmap fitted(reader.ReadPixmapScaled(mrw.file, 0, XpSize(160, 120), nullptr, true, true));
  EXPECT_EQ(fitted, nullptr);
  EXPECT_EQ(reader.GetLastError(), kXpErrImageNoTiffBlock);
}

}  // namespace mrwtest
