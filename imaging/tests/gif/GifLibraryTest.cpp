#include <gtest/gtest.h>

#include <memory>

#include "imaging/gif/GifLibrary.h"
#include "imaging/gif/XpImageIoGIF.h"
#include "imaging/tests/gif/GifBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class GifLibraryFixture : public testsupport::HermeticTest {
 protected:
  XpString WriteAnimated() {
    const auto path = Dir("gifs") / "animated.gif";
    WriteBytes(path, GifBuilder()
                         .Screen(3, 2, {{10, 20, 30}, {40, 50, 60}}, 1)
                         .Image(0, 0, 3, 2, {0, 1, 0, 1, 0, 1})
                         .GraphicControl(5, -1)
                         .Image(0, 0, 3, 2, {0, 0, 0, 0, 0, 0})
                         .Trailer()
                         .Bytes());
    return PathText(path);
  }
};

}  // namespace

namespace gif_binding {

// The suite bears the binding's name.
using GifLibrary = GifLibraryFixture;

TEST_F(GifLibrary, UnloadableBindingsAreMissing) {
  struct Case {
    const char* soname;
  };
  const Case cases[] = {{"libgif-missing.so.7"}, {KAVO_PARTIAL_GIF_LIBRARY}};
  const XpString path = WriteAnimated();
  for (const Case& c : cases) {
    const ::GifLibrary binding = ::GifLibrary::Load(c.soname);
    EXPECT_FALSE(binding.IsLoaded()) << c.soname;
    EXPECT_EQ(binding.open, nullptr) << c.soname;
    ::XpImageIoGIF reader(&binding);
    EXPECT_EQ(reader.ReadPixmapFromPath(path, 1, nullptr, false, false), nullptr);
    EXPECT_EQ(reader.GetLastError(), kXpErrImaging) << c.soname;
    XpSize size;
    EXPECT_EQ(reader.ReadImageSizeFlag0FromPath(path, &size), kXpErrImaging) << c.soname;
    EXPECT_EQ(reader.GetKindOfPath(path), kXpKindUnknown) << c.soname;
  }
}

TEST_F(GifLibrary, DefaultBindingReadsARealFile) {
  ASSERT_TRUE(::GifLibrary::Default().IsLoaded());
  EXPECT_EQ(&::GifLibrary::Default(), &::GifLibrary::Default());
  ::XpImageIoGIF reader;
  const XpString path = WriteAnimated();
  EXPECT_EQ(reader.GetKindOfPath(path), kXpKindAnimatedGif);
  std::unique_ptr<XpPixmapBase> pixmap(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
  ASSERT_NE(pixmap, nullptr);
  EXPECT_EQ(pixmap->width, 3);
  EXPECT_EQ(pixmap->height, 2);
  const uint8_t* first = pixmap->GetPlane(0)->Row(0);
  EXPECT_EQ(first[0], 30);
  EXPECT_EQ(first[1], 20);
  EXPECT_EQ(first[2], 10);
}

}  // namespace gif_binding
