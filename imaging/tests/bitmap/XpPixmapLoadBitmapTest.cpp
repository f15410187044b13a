#include "imaging/bitmap/XpPixmapLoadBitmap.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tests/bitmap/BitmapBytes.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using bitmaptest::BitmapParams;
using bitmaptest::BuildBitmap;
using bitmaptest::Value;

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

using XpPixmapLoadBitmap = testsupport::HermeticTest;

TEST_F(XpPixmapLoadBitmap, FromTheBundleByIdOrNull) {
  BitmapParams params;
  params.bitCount = 32;
  const std::filesystem::path bundle = Dir("bundle");
  WriteFile(bundle / "bitmaps" / "163.bmp", BuildBitmap(params));
  WriteFile(bundle / "bitmaps" / "164.bmp", {'B', 'M', 0, 1});
  const XpResourceModule module(PathText(bundle));
  const std::unique_ptr<XpPixmapBase> pixmap(XpPixmapLoadBitmapResource(module, 163));
  ASSERT_NE(pixmap, nullptr);
  ASSERT_NE(dynamic_cast<XpPixmapBGRA32*>(pixmap.get()), nullptr);
  EXPECT_EQ(pixmap->GetPlane(0)->Row(0)[3], Value(0, 1, 3));
  EXPECT_EQ(XpPixmapLoadBitmapResource(module, 164), nullptr);
  EXPECT_EQ(XpPixmapLoadBitmapResource(module, 165), nullptr);

  XpResourceModule memory;
  memory.AddBitmap(160, BuildBitmap(BitmapParams{}));
  const std::unique_ptr<XpPixmapBase> fromMemory(XpPixmapLoadBitmapResource(memory, 160));
  ASSERT_NE(fromMemory, nullptr);
  EXPECT_EQ(fromMemory->width, 2);
}

TEST_F(XpPixmapLoadBitmap, FromAFileOrNull) {
  BitmapParams params;
  params.width = 5;
  params.height = 3;
  const std::filesystem::path path = Root() / "picture.bmp";
  WriteFile(path, BuildBitmap(params));
  const std::unique_ptr<XpPixmapBase> pixmap(XpPixmapLoadBitmapFile(PathText(path)));
  ASSERT_NE(pixmap, nullptr);
  EXPECT_EQ(pixmap->width, 5);
  EXPECT_EQ(pixmap->GetPlane(0)->Row(2)[14], Value(4, 0, 2));

  params.truncate = 1;
  WriteFile(Root() / "short.bmp", BuildBitmap(params));
  EXPECT_EQ(XpPixmapLoadBitmapFile(PathText(Root() / "short.bmp")), nullptr);
  EXPECT_EQ(XpPixmapLoadBitmapFile(PathText(Root() / "missing.bmp")), nullptr);
  EXPECT_EQ(XpPixmapLoadBitmapFile(PathText(Dir("folder.bmp"))), nullptr);
}

}  // namespace
