#include "imaging/raw/XpImageIoZKP.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tests/raw/RawFileBuilder.h"
#include "imaging/tests/raw/RawTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace zkptest {

using Reader = ::XpImageIoZKP;
using Pixmap = std::unique_ptr<XpPixmapBase>;

class XpImageIoZKP : public testsupport::HermeticTest {
 protected:
  XpString Write(const std::string& name, const ZkpLayout& layout) {
    return WriteRawFile(Root() / name, BuildZkp(layout));
  }
};

using XpZkwIsEarlyModelFile = XpImageIoZKP;

ZkpLayout WidePreview() {
  ZkpLayout layout;
  layout.previewWidth = 640;
  layout.previewHeight = 360;
  return layout;
}

TEST_F(XpImageIoZKP, AWidePreviewIsCroppedCentrallyToThePicturesAspect) {
  const ZkpLayout layout = WidePreview();
  const XpString path = Write("wide.ZKP", layout);
  Reader reader;
  Pixmap shown(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
  ASSERT_NE(shown, nullptr) << std::hex << reader.GetLastError();
  EXPECT_EQ(reader.GetLastError(), kXpOk);
  EXPECT_EQ(shown->width, 480);
  EXPECT_EQ(shown->height, 360);
  const Pixmap preview = DecodePreviewBytes(BuildPreviewJpeg(640, 360));
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(EqualsRegion(*shown, *preview, 80, 0));
  EXPECT_FALSE(EqualsRegion(*shown, *preview, 0, 0));
}

TEST_F(XpImageIoZKP, APreviewOfThePicturesAspectComesBackUncropped) {
  const XpString path = Write("even.ZKP", ZkpLayout());
  Reader reader;
  Pixmap shown(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
  ASSERT_NE(shown, nullptr);
  const Pixmap preview = DecodePreviewBytes(BuildPreviewJpeg(640, 480));
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(shown->width, 640);
  EXPECT_EQ(shown->height, 480);
  EXPECT_TRUE(EqualsRegion(*shown, *preview, 0, 0));
}

TEST_F(XpImageIoZKP, OrientationSixSwapsTheSizeUnlessKeptAndTurnsOnlyWhenAsked) {
  ZkpLayout layout;
  layout.orientation = 6;
  const XpString path = Write("turned.ZK2", layout);
  Reader reader;
  XpSize size;
  EXPECT_EQ(reader.ReadImageSizeFlag0FromPath(path, &size), kXpOk);
  EXPECT_EQ(size, XpSize(3000, 4000));
  EXPECT_EQ(reader.ReadImageSizeFlag1FromPath(path, &size), kXpOk);
  EXPECT_EQ(size, XpSize(4000, 3000));

  Pixmap upright(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
  Pixmap turned(reader.ReadPixmapFromPath(path, 1, nullptr, false, true));
  ASSERT_NE(upright, nullptr);
  ASSERT_NE(turned, nullptr);
  EXPECT_EQ(upright->width, 640);
  EXPECT_TRUE(IsQuarterTurnOf(*turned, *upright));
}

struct SizeCase {
  const char* what;
  ZkpLayout layout;
  XpResult zk2Result;
  XpSize zk2Size;
  XpResult zkpResult;
  XpSize zkpSize;
};

ZkpLayout SizeLayout(uint32_t width, uint32_t height, const char* model, int32_t subIfds,
                 uint32_t subWidth, uint32_t subHeight, int32_t modelCode, uint32_t fullHeight,
                 uint32_t fullWidth) {
  ZkpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.model = model;
  layout.subIfdCount = subIfds;
  layout.subWidth = subWidth;
  layout.subHeight = subHeight;
  layout.modelCode = modelCode;
  layout.fullHeight = fullHeight;
  layout.fullWidth = fullWidth;
  return layout;
}

TEST_F(XpImageIoZKP, SizesByPathFollowTheModelTableAndTheMakerNoteMode) {
  const SizeCase cases[] = {
      {"model M512", SizeLayout(3000, 2000, "RQT-M512", 0, 0, 0, -1, 0, 0), kXpOk,
       XpSize(3264, 2448), kXpOk, XpSize(3264, 2448)},
      {"model B7", SizeLayout(3000, 2000, "RQT-B7", 0, 0, 0, -1, 0, 0), kXpOk, XpSize(3072, 2304),
       kXpOk, XpSize(3072, 2304)},
      {"other model", SizeLayout(3000, 2000, "rqt-b7", 0, 0, 0, -1, 0, 0), kXpOk,
       XpSize(3000, 2000), kXpOk, XpSize(3000, 2000)},
      {"code 2", SizeLayout(0, 0, "", 1, 1000, 800, 2, 0, 0), kXpOk, XpSize(3888, 2592), kXpOk,
       XpSize(1000, 800)},
      {"code 256", SizeLayout(0, 0, "", 1, 0, 0, 256, 0, 0), kXpOk, XpSize(3872, 2592),
       kXpErrImageNoTiffBlock, XpSize()},
      {"full size", SizeLayout(0, 0, "", 1, 0, 0, 256, 2000, 3000), kXpOk, XpSize(3000, 2000),
       kXpErrImageNoTiffBlock, XpSize()},
      {"no SubIFDs", SizeLayout(0, 0, "", 0, 0, 0, -1, 2000, 3000), kXpErrImageNoTiffBlock,
       XpSize(), kXpErrImageNoTiffBlock, XpSize()},
  };
  for (const SizeCase& entry : cases) {
    SCOPED_TRACE(entry.what);
    for (const bool zk2 : {true, false}) {
      const XpString path = Write(zk2 ? "size.ZK2" : "size.ZKP", entry.layout);
      Reader reader;
      XpSize size;
      const XpResult result = reader.ReadImageSizeFlag0FromPath(path, &size);
      EXPECT_EQ(result, zk2 ? entry.zk2Result : entry.zkpResult) << (zk2 ? "ZK2" : "ZKP");
      if (XpSucceeded(result)) {
        EXPECT_EQ(size, zk2 ? entry.zk2Size : entry.zkpSize) << (zk2 ? "ZK2" : "ZKP");
      }
    }
  }
}

TEST_F(XpImageIoZKP, TagReadsKeepTheMakerNoteRawForZkpOnly) {
  const ZkpLayout layout = SizeLayout(0, 0, "", 1, 0, 0, 256, 0, 0);
  Reader reader;
  XpSharedPtr<XpTiffTagManager> zk2 = reader.ReadTagsFromPath(Write("tags.ZK2", layout));
  ASSERT_TRUE(zk2);
  ASSERT_NE(zk2->GetMakerNoteIFD(), nullptr);
  EXPECT_EQ(zk2->GetMakerNoteIFD()->GetShort(0xB001), 256);

  XpSharedPtr<XpTiffTagManager> zkp = reader.ReadTagsFromPath(Write("tags.ZKP", layout));
  ASSERT_TRUE(zkp);
  EXPECT_EQ(zkp->GetMakerNoteIFD(), nullptr);
  ASSERT_NE(zkp->GetExifIFD(), nullptr);
  const XpTiffTagDataBase* makerNote = zkp->GetExifIFD()->FindTag(37500, false);
  ASSERT_NE(makerNote, nullptr);
  EXPECT_FALSE(makerNote->IsSubIFD());
}

TEST_F(XpImageIoZKP, TheFormatFlagFollowsTheKindOfTheLastPath) {
  const std::vector<uint8_t> bytes = BuildZkp(ZkpLayout());
  const XpString zkw = WriteRawFile(Root() / "a.zkw", bytes);
  const XpString zkp = WriteRawFile(Root() / "a.ZKP", bytes);
  Reader reader;
  XpSize size;
  EXPECT_EQ(reader.ReadImageSizeFlag0FromPath(zkw, &size), kXpOk);
  EXPECT_EQ(reader.GetFormatFlag(), 2);
  reader.ReadTagsFromPath(zkp);
  EXPECT_EQ(reader.GetFormatFlag(), 1);
  EXPECT_EQ(reader.ReadImageSizeFlag1FromPath(zkw, &size), kXpOk);
  EXPECT_EQ(reader.GetFormatFlag(), 2);

  EXPECT_EQ(XpImageIo::CreateForKind(0x10010402)->GetFormatFlag(), 2);
  EXPECT_EQ(XpImageIo::CreateForKind(0x10030401)->GetFormatFlag(), 2);
  EXPECT_EQ(XpImageIo::CreateForKind(0x10010401)->GetFormatFlag(), 1);
  EXPECT_NE(dynamic_cast<Reader*>(XpImageIo::CreateForPath(u"b.zk2").Get()), nullptr);
  EXPECT_EQ(Reader().GetFormatFlag(), 1);
}

struct ThumbnailCase {
  int32_t previewWidth;
  int32_t previewHeight;
  uint32_t pictureWidth;
  uint32_t pictureHeight;
  XpSize expected;
};

TEST_F(XpImageIoZKP, ThumbnailsFitInto160By120AndEnlargeSmallPreviews) {
  const ThumbnailCase cases[] = {
      {640, 480, 4000, 3000, XpSize(160, 120)},
      {100, 80, 1000, 800, XpSize(150, 120)},
      {1616, 1080, 1616, 1080, XpSize(160, 106)},
  };
  for (const ThumbnailCase& entry : cases) {
    ZkpLayout layout;
    layout.previewWidth = entry.previewWidth;
    layout.previewHeight = entry.previewHeight;
    layout.width = entry.pictureWidth;
    layout.height = entry.pictureHeight;
    Reader reader;
    Pixmap thumbnail(reader.ReadOrientedPixmapFromPath(Write("thumb.ZK2", layout)));
    ASSERT_NE(thumbnail, nullptr) << entry.previewWidth << " " << std::hex << reader.GetLastError();
    EXPECT_EQ(XpSize(thumbnail->width, thumbnail->height), entry.expected) << entry.previewWidth;
  }
  ZkpLayout turned;
  turned.orientation = 6;
  Reader reader;
  Pixmap thumbnail(reader.ReadOrientedPixmapFromPath(Write("turned.ZK2", turned)));
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(XpSize(thumbnail->width, thumbnail->height), XpSize(120, 160));
}

TEST_F(XpImageIoZKP, ThePreviewSizeSlotAnswersTheDisplayedPreviewSize) {
  ZkpLayout layout = WidePreview();
  Reader reader;
  XpSize size;
  EXPECT_EQ(reader.ReadImageSizeFromPathCopy(Write("a.ZK2", layout), &size), kXpOk);
  EXPECT_EQ(size, XpSize(480, 360));
  layout.orientation = 6;
  EXPECT_EQ(reader.ReadPreviewSizeFromPath(Write("b.ZK2", layout), &size), kXpOk);
  EXPECT_EQ(size, XpSize(360, 480));
  XpSharedPtr<XpImageIo> byBase = XpImageIo::CreateForKind(0x10010402);
  EXPECT_EQ(byBase->ReadImageSizeFromPathCopy(Write("c.ZK2", layout), &size), kXpOk);
  EXPECT_EQ(size, XpSize(360, 480));
}

TEST_F(XpImageIoZKP, AScaleDividesThePreviewAndAScaleBelowOneIsRefused) {
  const XpString path = Write("scaled.ZK2", ZkpLayout());
  Reader reader;
  Pixmap half(reader.ReadPixmapFromPath(path, 2, nullptr, false, false));
  ASSERT_NE(half, nullptr);
  EXPECT_EQ(XpSize(half->width, half->height), XpSize(320, 240));
  XpMemoryFile empty;
  for (const int32_t scale : {0, -1}) {
    EXPECT_EQ(reader.ReadPixmap(empty, 0, scale, nullptr, false, false), nullptr);
    EXPECT_EQ(reader.GetLastError(), kXpErrImageBadRegion);
    EXPECT_EQ(reader.ReadPixmapFromPath(path, scale, nullptr, false, false), nullptr);
    EXPECT_EQ(reader.GetLastError(), kXpErrImageBadRegion);
  }
}

TEST_F(XpImageIoZKP, ThePreviewOffsetComesFromIfd0ElseIfd1AndZeroIsNoPreview) {
  struct Case {
    ZkpPreviewTag tag;
    bool decodes;
  };
  for (const Case entry : {Case{ZkpPreviewTag::kIfd1, true}, Case{ZkpPreviewTag::kZero, false},
                           Case{ZkpPreviewTag::kNone, false}}) {
    ZkpLayout layout;
    layout.previewTag = entry.tag;
    Reader reader;
    Pixmap shown(reader.ReadPixmapFromPath(Write("p.ZK2", layout), 1, nullptr, false, false));
    EXPECT_EQ(shown != nullptr, entry.decodes) << static_cast<int>(entry.tag);
    EXPECT_EQ(reader.GetLastError(), entry.decodes ? kXpOk : kXpErrImageTagNotFound)
        << static_cast<int>(entry.tag);
  }
}

TEST_F(XpImageIoZKP, ScaledReadsShrinkIntoTheBoxOnly) {
  const XpString path = Write("box.ZK2", ZkpLayout());
  Reader reader;
  Pixmap shrunk(reader.ReadPixmapScaledFromPath(path, XpSize(320, 320), nullptr, false, false));
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(XpSize(shrunk->width, shrunk->height), XpSize(320, 240));
  Pixmap kept(reader.ReadPixmapScaledFromPath(path, XpSize(1000, 1000), nullptr, false, false));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(XpSize(kept->width, kept->height), XpSize(640, 480));
}

TEST_F(XpImageIoZKP, EditsAreRefusedForZkpEarlyZkwAndOpenFiles) {
  const XpString zkp = Write("a.ZKP", ZkpLayout());
  Reader reader;
  EXPECT_EQ(reader.UpdateTagFromPath(zkp, 1, false), kXpErrImageNotSupported);
  EXPECT_EQ(reader.WriteDateTimeFromPath(zkp, XpDateTime(2009, 5, 6, 7, 8, 9)),
            kXpErrImageNotSupported);
  EXPECT_EQ(reader.UpdateTagFromPath(PathText(Root() / "missing.ZK2"), 1, false),
            kXpErrFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(Root() / "missing.ZK2"));
  XpMemoryFile open;
  EXPECT_EQ(reader.UpdateTag(open, 1, false), kXpErrImageNotSupported);
  EXPECT_EQ(reader.WriteDateTime(open, XpDateTime(2009, 5, 6, 7, 8, 9)),
            kXpErrImageNotSupported);

  struct SoftwareCase {
    const char* software;
    XpResult expected;
  };
  for (const SoftwareCase entry : {SoftwareCase{"RQX-K4000 v1.2", kXpErrImageNotSupported},
                                   SoftwareCase{"RQX-K4000", kXpOk},
                                   SoftwareCase{"rqx-k4000 v1", kXpOk}}) {
    ZkpLayout layout;
    layout.software = entry.software;
    const XpString zkw = Write("edit.ZKW", layout);
    EXPECT_EQ(reader.UpdateTagFromPath(zkw, 2, false), entry.expected) << entry.software;
    XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(zkw);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->GetIFD(0)->GetShort(274), entry.expected == kXpOk ? 3 : 1) << entry.software;
  }
}

TEST_F(XpImageIoZKP, WritingTheDateChangesOnlyTheTwoDatesAndTheFileTime) {
  ZkpLayout layout;
  layout.dateTime = "2001:01:01 00:00:00";
  const std::filesystem::path file = Root() / "date.ZK2";
  const XpString path = Write("date.ZK2", layout);
  std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() -
                                             std::chrono::hours(48));
  const std::vector<uint8_t> before = ReadBytes(file);
  Reader reader;
  ASSERT_EQ(reader.WriteDateTimeFromPath(path, XpDateTime(2009, 5, 6, 7, 8, 9)), kXpOk);
  const std::vector<uint8_t> after = ReadBytes(file);
  ASSERT_EQ(after.size(), before.size());

  const size_t original = FindText(before, layout.dateTimeOriginal);
  const size_t changed = FindText(before, layout.dateTime);
  ASSERT_NE(original, std::string::npos);
  ASSERT_NE(changed, std::string::npos);
  for (const size_t position : ChangedPositions(before, after)) {
    const bool inOriginal = position >= original && position < original + 19;
    const bool inDateTime = position >= changed && position < changed + 19;
    EXPECT_TRUE(inOriginal || inDateTime) << position;
  }
  EXPECT_EQ(std::string(after.begin() + original, after.begin() + original + 19),
            "2009:05:06 07:08:09");
  const std::string now(after.begin() + changed, after.begin() + changed + 19);
  EXPECT_LE(SecondsFromNow(now), 2.0) << now;
  const auto age = std::filesystem::file_time_type::clock::now() -
                   std::filesystem::last_write_time(file);
  EXPECT_LE(std::chrono::duration_cast<std::chrono::seconds>(age).count(), 2);
}

TEST_F(XpImageIoZKP, ColourConversionFollowsTheColourSpace) {
  for (const uint16_t colorSpace : {uint16_t{65535}, uint16_t{1}}) {
    ZkpLayout layout;
    layout.colorSpace = colorSpace;
    const XpString path = Write("colour.ZK2", layout);
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

TEST_F(XpImageIoZKP, TheCheckerReadsTheShootingDateThroughTheReader) {
  ZkpLayout layout;
  layout.dateTimeOriginal = "2009:03:03 10:20:30";
  XpDateTime date;
  ASSERT_TRUE(::XpFormatChecker::GetShootingDate(Write("dated.ZK2", layout), date));
  EXPECT_EQ(date.GetYear(), 2009);
  EXPECT_EQ(date.GetMonth(), 3);
  EXPECT_EQ(date.GetDay(), 3);
  EXPECT_EQ(date.GetHour(), 10);
  EXPECT_EQ(date.GetMinute(), 20);
  EXPECT_EQ(date.GetSecond(), 30);
}

TEST_F(XpZkwIsEarlyModelFile, OnlyAReadableZkwFileOfTheEarlySoftwareIsEarly) {
  ZkpLayout layout;
  layout.software = "RQX-K4000 v2";
  const std::vector<uint8_t> bytes = BuildZkp(layout);
  const XpString zkw = WriteRawFile(Root() / "x.zkw", bytes);
  EXPECT_TRUE(::XpZkwIsEarlyModelFile(zkw));
  EXPECT_TRUE(::XpZkwIsEarlyModelFile(WriteRawFile(Root() / "y.ZKW", bytes)));
  EXPECT_FALSE(::XpZkwIsEarlyModelFile(WriteRawFile(Root() / "x.zk2", bytes)));
  EXPECT_FALSE(::XpZkwIsEarlyModelFile(WriteRawFile(Root() / "bad.zkw", {'n', 'o', 't', 0})));
  EXPECT_FALSE(::XpZkwIsEarlyModelFile(PathText(Root() / "missing.zkw")));
  layout.software = "RQX-K4000";
  EXPECT_FALSE(::XpZkwIsEarlyModelFile(WriteRawFile(Root() / "later.zkw", BuildZkp(layout))));

  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(WriteRawFile(Root() / "z.ZKW", bytes)),
            0x10030401u);
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(PathText(Root() / "later.zkw")), 0x10030402u);
}

}  // namespace zkptest
