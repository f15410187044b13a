// The usage examples at the top of XpImageIo.h and XpImageIoJpeg.h, run as
// written on a scratch folder.
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class ImagingUsageExamples : public testsupport::HermeticTest {};

// The XpImageIoJpeg example: writes pixmap to path and reads back its size
// and tags.
XpResult WriteAndReadBack(const XpPixmapBase* pixmap, const XpString& path, XpSize* size,
                          XpSharedPtr<XpTiffTagManager>* tags) {
  XpImageIoJpeg jpeg(XpImageIoJpeg::kDefaultQuality, u"Orvane");
  XpResult result = jpeg.WriteToPath(pixmap, XpSharedPtr<XpTiffTagManager>(), path,
                                     /*observer=*/nullptr, /*region=*/XpRect(),
                                     /*adobeRgb=*/false, /*resetOrientation=*/true);
  if (XpFailed(result)) return result;
  result = jpeg.ReadImageSizeFlag0FromPath(path, size);
  *tags = jpeg.ReadTagsFromPath(path);
  return result;
}

// The XpImageIo example: the size and the pixels of the picture at path.
XpResult ReadPicture(const XpString& path, XpSize* size, std::unique_ptr<XpPixmapBase>* out) {
  const XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(path);
  if (!reader) return kXpErrImageNotSupported;
  const XpResult result = reader->ReadImageSizeFlag0FromPath(path, size);
  if (XpFailed(result)) return result;
  std::unique_ptr<XpPixmapBase> pixmap(
      reader->ReadPixmapFromPath(path, /*scale=*/1, /*observer=*/nullptr, /*convertToSRGB=*/true,
                                 /*applyOrientation=*/true));
  if (!pixmap) return reader->GetLastError();
  *out = std::move(pixmap);
  return kXpOk;
}

TEST_F(ImagingUsageExamples, XpImageIoJpegWritesAPixmapAndReadsItsSizeAndTagsBack) {
  const auto pixmap = SolidBGR(64, 48, 40, 80, 120);
  ASSERT_NE(pixmap, nullptr);
  XpSize size;
  XpSharedPtr<XpTiffTagManager> tags;
  ASSERT_EQ(WriteAndReadBack(pixmap.get(), PathText(Dir("out") / "out.jpg"), &size, &tags), kXpOk);
  EXPECT_EQ(size.cx, 64);
  EXPECT_EQ(size.cy, 48);
  ASSERT_TRUE(tags);
  // IFD 0 and the thumbnail's IFD 1.
  EXPECT_GE(tags->GetIFDCount(), 2);
}

TEST_F(ImagingUsageExamples, XpImageIoJpegThatFailsLeavesTheOldFile) {
  constexpr uint64_t kBytesBeforeTheDiskFills = 100000;
  struct Case {
    const char* name;
    bool pixmap;
    bool diskFills;
    XpResult expected;
  };
  const Case cases[] = {
      {"no pixmap", false, false, kXpErrBadArgument},
      {"the disk fills", true, true, kXpErrDiskFull},
  };
  const std::filesystem::path target = Dir("out") / "out.jpg";
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  const auto pixmap = NoiseBGR(640, 480, 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(target, old);
    testsupport::FaultInjection faults;
    if (c.diskFills) {
      faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, Dir("out").string())
                     .Errno(ENOSPC)
                     .AfterBytes(kBytesBeforeTheDiskFills));
    }
    XpSize size;
    XpSharedPtr<XpTiffTagManager> tags;
    EXPECT_EQ(WriteAndReadBack(c.pixmap ? pixmap.get() : nullptr, PathText(target), &size, &tags),
              c.expected);
    EXPECT_EQ(ReadBytes(target), old);
    EXPECT_TRUE(TempNamesIn(Dir("out")).empty());
  }
}

TEST_F(ImagingUsageExamples, XpImageIoReadsTheSizeAndPixelsByTheReaderForTheKind) {
  const XpString path = PathText(Dir("out") / "picture.jpg");
  const auto written = SolidBGR(40, 30, 200, 100, 50);
  ASSERT_EQ(XpImageIoJpeg(XpImageIoJpeg::kDefaultQuality, u"Orvane")
                .WriteToPath(written.get(), XpSharedPtr<XpTiffTagManager>(), path, nullptr,
                             XpRect(), false, true),
            kXpOk);
  XpSize size;
  std::unique_ptr<XpPixmapBase> pixmap;
  ASSERT_EQ(ReadPicture(path, &size, &pixmap), kXpOk);
  ASSERT_NE(pixmap, nullptr);
  EXPECT_EQ(pixmap->width, size.cx);
  EXPECT_EQ(pixmap->height, size.cy);
  EXPECT_EQ(size.cx, 40);
  EXPECT_EQ(size.cy, 30);

  EXPECT_EQ(ReadPicture(PathText(Dir("out") / "notes.txt"), &size, &pixmap),
            kXpErrImageNotSupported);
}

}  // namespace
