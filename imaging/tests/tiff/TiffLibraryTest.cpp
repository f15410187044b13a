#include <gtest/gtest.h>

#include <memory>

#include "imaging/gif/XpImageIoGIF.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tests/tiff/TiffFixtures.h"
#include "imaging/tiff/TiffLibrary.h"
#include "imaging/tiff/XpImageIoTiff.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class TiffLibraryFixture : public testsupport::HermeticTest {
 protected:
  XpString WritePicture() {
    TiffLayout layout;
    layout.width = 4;
    layout.height = 3;
    layout.rgb = SolidRgb(4, 3, 10, 20, 30);
    layout.orientation = 6;
    const auto path = Dir("tiffs") / "picture.tif";
    EXPECT_TRUE(WriteTiff(path, layout));
    return PathText(path);
  }
};

}  // namespace

namespace tiff_binding {

// The suite bears the binding's name.
using TiffLibrary = TiffLibraryFixture;

TEST_F(TiffLibrary, UnloadableBindingsAreMissing) {
  const char* const sonames[] = {"libtiff-missing.so.6", KAVO_PARTIAL_TIFF_LIBRARY};
  const XpString path = WritePicture();
  for (const char* soname : sonames) {
    const ::TiffLibrary binding = ::TiffLibrary::Load(soname);
    EXPECT_FALSE(binding.IsLoaded()) << soname;
    EXPECT_EQ(binding.clientOpen, nullptr) << soname;
    ::XpImageIoTiff reader(&binding);
    EXPECT_EQ(reader.ReadPixmapFromPath(path, 1, nullptr, false, false), nullptr);
    EXPECT_EQ(reader.GetLastError(), kXpErrImaging) << soname;
    // The size comes from the tag model.
    XpSize size;
    EXPECT_EQ(reader.ReadImageSizeFlag0FromPath(path, &size), kXpOk) << soname;
    EXPECT_EQ(size.cx, 3);
    EXPECT_EQ(size.cy, 4);
  }
}

TEST_F(TiffLibrary, DefaultBindingReadsARealFile) {
  ASSERT_TRUE(::TiffLibrary::Default().IsLoaded());
  EXPECT_EQ(&::TiffLibrary::Default(), &::TiffLibrary::Default());
  ::XpImageIoTiff reader;
  std::unique_ptr<XpPixmapBase> pixmap(
      reader.ReadPixmapFromPath(WritePicture(), 1, nullptr, false, true));
  ASSERT_NE(pixmap, nullptr);
  EXPECT_EQ(pixmap->width, 3);
  EXPECT_EQ(pixmap->height, 4);
  const uint8_t* first = pixmap->GetPlane(0)->Row(0);
  EXPECT_EQ(first[0], 30);
  EXPECT_EQ(first[1], 20);
  EXPECT_EQ(first[2], 10);
}

}  // namespace tiff_binding

namespace tiff_factory {

using XpImageIoFactory = testsupport::HermeticTest;

TEST_F(XpImageIoFactory, TiffAndGifPathsGetTheirReaders) {
  EXPECT_NE(dynamic_cast<::XpImageIoTiff*>(XpImageIo::CreateForPath(u"a.TIF").Get()), nullptr);
  EXPECT_NE(dynamic_cast<::XpImageIoTiff*>(XpImageIo::CreateForPath(u"/x/b.tiff").Get()),
            nullptr);
  EXPECT_NE(dynamic_cast<::XpImageIoGIF*>(XpImageIo::CreateForPath(u"a.gif").Get()), nullptr);
  EXPECT_NE(dynamic_cast<::XpImageIoTiff*>(XpImageIo::CreateForKind(kXpKindTiff).Get()),
            nullptr);
  EXPECT_NE(dynamic_cast<::XpImageIoGIF*>(XpImageIo::CreateForKind(kXpKindGif).Get()), nullptr);
}

}  // namespace tiff_factory
