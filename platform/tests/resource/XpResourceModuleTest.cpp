#include "platform/resource/XpResourceModule.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/tests/process/FakeProgramFile.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"

namespace {

const char kStringsPlist[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>301</key><string>Weiter zur Kamera</string>
  <key>1012</key><string>Übertragen</string>
  <key>name</key><string>not an id</string>
  <key>4294967296</key><string>beyond 32 bits</string>
</dict>
</plist>
)";

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class ResourceModuleFixture : public testsupport::HermeticTest {
 protected:
  // A bundle folder with bitmap 163 and the strings file.
  std::filesystem::path MakeBundle() {
    const std::filesystem::path bundle = Dir("TLVK2AccessorLOC");
    WriteFile(bundle / "bitmaps" / "163.bmp", "BM bitmap 163");
    WriteFile(bundle / "strings.plist", kStringsPlist);
    return bundle;
  }
};
using XpResourceModule = ResourceModuleFixture;

TEST_F(XpResourceModule, FolderBundleGivesBitmapFilesAndStrings) {
  const std::filesystem::path bundle = MakeBundle();
  // With and without the trailing '/'.
  for (const XpString& folder :
       {XpString::FromUtf8(bundle.string()), XpString::FromUtf8(bundle.string()) + u"/"}) {
    const ::XpResourceModule module(folder);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(module.FindBitmap(163, &bytes));
    EXPECT_EQ(bytes, Bytes("BM bitmap 163"));
    EXPECT_FALSE(module.FindBitmap(164, &bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(module.LoadString(301), XpString(u"Weiter zur Kamera"));
    EXPECT_EQ(module.LoadString(1012), XpString(u"Übertragen"));
    EXPECT_TRUE(module.LoadString(302).IsEmpty());
    // 4294967296 wraps to 0 in 32 bits; it must not be taken for id 0.
    EXPECT_TRUE(module.LoadString(0).IsEmpty());
  }
}

TEST_F(XpResourceModule, MissingFolderOrStringsFileGivesNothing) {
  const ::XpResourceModule missing(XpString::FromUtf8((Root() / "nowhere").string()));
  std::vector<uint8_t> bytes{1, 2};
  EXPECT_FALSE(missing.FindBitmap(163, &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(missing.LoadString(301).IsEmpty());

  const std::filesystem::path broken = Dir("broken");
  WriteFile(broken / "strings.plist", "<plist><dict><key>301</key>");
  std::filesystem::create_directories(broken / "bitmaps" / "7.bmp");
  const ::XpResourceModule module(XpString::FromUtf8(broken.string()));
  EXPECT_TRUE(module.LoadString(301).IsEmpty());
  // A folder where the bitmap file should be is no bitmap.
  EXPECT_FALSE(module.FindBitmap(7, &bytes));
}

TEST_F(XpResourceModule, InMemoryEntriesComeFirst) {
  ::XpResourceModule memory;
  memory.AddBitmap(160, Bytes("BM 160"));
  memory.AddString(5, u"five");
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(memory.FindBitmap(160, &bytes));
  EXPECT_EQ(bytes, Bytes("BM 160"));
  EXPECT_FALSE(memory.FindBitmap(161, &bytes));
  EXPECT_EQ(memory.LoadString(5), XpString(u"five"));
  EXPECT_TRUE(memory.LoadString(6).IsEmpty());

  ::XpResourceModule module(XpString::FromUtf8(MakeBundle().string()));
  module.AddBitmap(163, Bytes("BM other"));
  module.AddString(301, u"replaced");
  EXPECT_TRUE(module.FindBitmap(163, &bytes));
  EXPECT_EQ(bytes, Bytes("BM other"));
  EXPECT_EQ(module.LoadString(301), XpString(u"replaced"));
  EXPECT_EQ(module.LoadString(1012), XpString(u"Übertragen"));
}

TEST_F(XpResourceModule, LibraryNameIsAFolderBesideTheProgram) {
  const std::filesystem::path bin = Dir("bin");
  const testsupport::FakeProgramFile program((bin / "TLVK2Accessor").string());
  const XpString expected = XpString::FromUtf8((bin / "TLVK2AccessorLOC").string()) + u"/";
  EXPECT_EQ(::XpResourceModule::LibraryFolder(u"TLVK2AccessorLOC.dll"), expected);
  EXPECT_EQ(::XpResourceModule::LibraryFolder(u"TLVK2AccessorLOC.DLL"), expected);
  EXPECT_EQ(::XpResourceModule::LibraryFolder(u"TLVK2AccessorLOC"), expected);
  EXPECT_TRUE(::XpResourceModule::LibraryFolder(u"").IsEmpty());

  WriteFile(bin / "TLVK2AccessorLOC" / "bitmaps" / "160.bmp", "BM 160");
  const ::XpResourceModule module(::XpResourceModule::LibraryFolder(u"TLVK2AccessorLOC.dll"));
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(module.FindBitmap(160, &bytes));
  EXPECT_EQ(bytes, Bytes("BM 160"));
}

}  // namespace
