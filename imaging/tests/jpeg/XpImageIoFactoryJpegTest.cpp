#include <gtest/gtest.h>

#include "imaging/io/XpImageIo.h"
#include "imaging/io/XpImageIoFactory.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

// The suite of the factory's other tests.
using XpImageIoFactory = testsupport::HermeticTest;

TEST_F(XpImageIoFactory, JpegKindsGetAJpegReaderWithDefaultQuality) {
  for (const XpFormatKind kind : {0x10000100u, 0x10000105u}) {
    XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForKind(kind);
    auto* jpeg = dynamic_cast<XpImageIoJpeg*>(reader.Get());
    ASSERT_NE(jpeg, nullptr) << std::hex << kind;
    EXPECT_EQ(jpeg->GetQuality(), 70);
    EXPECT_TRUE(jpeg->GetName().IsEmpty());
  }
  for (const char16_t* path : {u"/x/a.JPG", u"/x/b.jpeg", u"c.jpe", u"d.THM"}) {
    XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(path);
    EXPECT_NE(dynamic_cast<XpImageIoJpeg*>(reader.Get()), nullptr);
  }
}

TEST_F(XpImageIoFactory, ReadTagsForPathReadsAJpeg) {
  auto tags = Ifd0Tags(8);
  tags->GetIFD(0)->SetAscii(271, "Maker");
  const auto path = Dir("pictures") / "tagged.jpg";
  WriteBytes(path, WithSegments(BuildFrame(24, 16, FrameModel::kRgb, 1, 2, 3),
                                {JfifSegment(), ExifSegment(*tags)}));
  const XpSharedPtr<XpTiffTagManager> read = XpImageIoReadTagsForPath(PathText(path));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->GetIFD(0)->GetShort(274), 8);
  EXPECT_EQ(read->GetIFD(0)->GetAsciiA(271), XpStringA("Maker"));
  const auto untagged = Dir("pictures") / "plain.jpg";
  WriteBytes(untagged, BuildFrame(24, 16, FrameModel::kRgb, 1, 2, 3));
  EXPECT_FALSE(XpImageIoReadTagsForPath(PathText(untagged)));
}

}  // namespace
