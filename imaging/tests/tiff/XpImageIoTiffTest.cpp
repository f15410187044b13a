#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/icc/icc_profile.h"
#include "imaging/tests/gif/GifTestSupport.h"
#include "imaging/tests/icc/IccProfileBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "imaging/tests/tags/TiffBlockBuilder.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/tests/tiff/TiffFixtures.h"
#include "imaging/tiff/XpImageIoTiff.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

// The letter pictures: a b c / d e f, each letter its own colour.
constexpr char kLetters[] = "abcdef";

std::array<uint8_t, 3> RgbOfLetter(char letter) {
  const int k = letter - 'a';
  return {static_cast<uint8_t>(20 + k * 40), static_cast<uint8_t>(250 - k * 30),
          static_cast<uint8_t>(5 + k * 20)};
}

// The pixmap as rows of letters; '?' for a colour of no letter.
std::vector<std::string> LettersOf(const XpPixmapBase& pixmap) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < pixmap.height; ++y) {
    std::string row;
    for (int32_t x = 0; x < pixmap.width; ++x) {
      const auto bgr = PixelAt(pixmap, x, y);
      char found = '?';
      for (const char* letter = kLetters; *letter != 0; ++letter) {
        const auto rgb = RgbOfLetter(*letter);
        if (bgr[0] == rgb[2] && bgr[1] == rgb[1] && bgr[2] == rgb[0]) {
          found = *letter;
        }
      }
      row += found;
    }
    rows.push_back(row);
  }
  return rows;
}

class StopAtFirstCall : public IXpImageProgress {
 public:
  int32_t OnProgress(int32_t percent) override {
    seen.push_back(percent);
    return stop ? 1 : 0;
  }
  bool stop = true;
  std::vector<int32_t> seen;
};

class TiffTest : public testsupport::HermeticTest {
 protected:
  XpString Write(const TiffLayout& layout, const std::string& name = "picture.tif") {
    const auto path = Dir("tiffs") / name;
    EXPECT_TRUE(WriteTiff(path, layout));
    return PathText(path);
  }

  XpString WriteLetters(uint16_t orientation) {
    TiffLayout layout;
    layout.width = 3;
    layout.height = 2;
    for (const char* letter = kLetters; *letter != 0; ++letter) {
      const auto rgb = RgbOfLetter(*letter);
      layout.rgb.insert(layout.rgb.end(), rgb.begin(), rgb.end());
    }
    layout.orientation = orientation;
    return Write(layout, "letters" + std::to_string(orientation) + ".tif");
  }

  std::unique_ptr<XpPixmapBase> Read(const XpString& path, int32_t divisor = 1,
                                     bool applyOrientation = false,
                                     IXpImageProgress* observer = nullptr) {
    return std::unique_ptr<XpPixmapBase>(
        reader_.ReadPixmapFromPath(path, divisor, observer, false, applyOrientation));
  }

  XpImageIoTiff reader_;
};

}  // namespace

namespace tiff_reader {

using XpImageIoTiff = TiffTest;

TEST_F(XpImageIoTiff, DivisorReducesRowsThenWidth) {
  TiffLayout layout;
  layout.width = 1000;
  layout.height = 999;
  layout.rgb = SolidRgb(1000, 999, 9, 99, 199);
  layout.compression = COMPRESSION_LZW;
  const XpString path = Write(layout);
  struct Case {
    int32_t divisor;
    int32_t width;
    int32_t height;
  };
  for (const Case& c : {Case{4, 250, 250}, Case{1, 1000, 999}, Case{32, 31, 32}}) {
    const auto pixmap = Read(path, c.divisor);
    ASSERT_NE(pixmap, nullptr) << c.divisor;
    EXPECT_EQ(pixmap->width, c.width) << c.divisor;
    EXPECT_EQ(pixmap->height, c.height) << c.divisor;
    EXPECT_EQ(PixelAt(*pixmap, c.width - 1, c.height - 1), (std::array<uint8_t, 3>{199, 99, 9}));
  }
  for (int32_t divisor : {3, 0, 64, -2}) {
    EXPECT_EQ(Read(path, divisor), nullptr) << divisor;
    EXPECT_EQ(reader_.GetLastError(), kXpErrImageBadRegion) << divisor;
  }
}

TEST_F(XpImageIoTiff, SizeTurnsForOrientationsFiveToEight) {
  TiffLayout layout;
  layout.width = 30;
  layout.height = 20;
  layout.rgb = SolidRgb(30, 20, 1, 2, 3);
  for (uint16_t orientation : {1, 3, 5, 6, 8}) {
    layout.orientation = orientation;
    const XpString path = Write(layout, "o" + std::to_string(orientation) + ".tif");
    const bool turned = orientation >= 5;
    XpSize size;
    EXPECT_EQ(reader_.ReadImageSizeFlag0FromPath(path, &size), kXpOk);
    EXPECT_EQ(size.cx, turned ? 20 : 30) << orientation;
    EXPECT_EQ(size.cy, turned ? 30 : 20) << orientation;
    EXPECT_EQ(reader_.ReadImageSizeFlag1FromPath(path, &size), kXpOk);
    EXPECT_EQ(size.cx, 30) << orientation;
    EXPECT_EQ(size.cy, 20) << orientation;
  }
}

TEST_F(XpImageIoTiff, RedComesOutRedForEveryCompression) {
  struct Case {
    uint16_t compression;
    int tolerance;
  };
  const Case cases[] = {{COMPRESSION_NONE, 0},
                        {COMPRESSION_LZW, 0},
                        {COMPRESSION_ADOBE_DEFLATE, 0},
                        {COMPRESSION_JPEG, 4}};
  for (const Case& c : cases) {
    TiffLayout layout;
    layout.width = 16;
    layout.height = 16;
    layout.rgb = SolidRgb(16, 16, 255, 0, 0);
    layout.compression = c.compression;
    const auto pixmap = Read(Write(layout, "red" + std::to_string(c.compression) + ".tif"));
    ASSERT_NE(pixmap, nullptr) << c.compression;
    for (const auto& bgr : AllPixels(*pixmap)) {
      EXPECT_LE(bgr[0], c.tolerance) << c.compression;
      EXPECT_LE(bgr[1], c.tolerance) << c.compression;
      EXPECT_GE(bgr[2], 255 - c.tolerance) << c.compression;
    }
  }
}

TEST_F(XpImageIoTiff, OrientationsComeOutStoredOrUpright) {
  using Rows = std::vector<std::string>;
  const Rows stored = {"abc", "def"};
  struct Case {
    uint16_t orientation;
    Rows plain;
    Rows applied;
  };
  const Case cases[] = {
      {1, stored, stored},
      {2, stored, {"cba", "fed"}},
      {3, {"fed", "cba"}, {"fed", "cba"}},
      {4, {"def", "abc"}, {"def", "abc"}},
      {5, stored, {"ad", "be", "cf"}},
      {6, stored, {"da", "eb", "fc"}},
      {7, stored, {"fc", "eb", "da"}},
      {8, stored, {"cf", "be", "ad"}},
  };
  for (const Case& c : cases) {
    const XpString path = WriteLetters(c.orientation);
    const auto plain = Read(path);
    const auto applied = Read(path, 1, true);
    ASSERT_NE(plain, nullptr) << c.orientation;
    ASSERT_NE(applied, nullptr) << c.orientation;
    EXPECT_EQ(LettersOf(*plain), c.plain) << c.orientation;
    EXPECT_EQ(LettersOf(*applied), c.applied) << c.orientation;
  }
}

TEST_F(XpImageIoTiff, DotRangeMapsTheChannels) {
  struct Case {
    uint16_t low;
    uint16_t high;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {0, 255, {255, 200, 127}},
      {10, 10, {255, 200, 127}},
      {0, 127, {255, 145, 0}},
  };
  for (const Case& c : cases) {
    TiffLayout layout;
    layout.width = 3;
    layout.height = 1;
    layout.rgb = {255, 255, 255, 200, 200, 200, 127, 127, 127};
    layout.hasDotRange = true;
    layout.dotLow = c.low;
    layout.dotHigh = c.high;
    const auto pixmap = Read(Write(layout));
    ASSERT_NE(pixmap, nullptr) << c.low << "-" << c.high;
    for (int32_t x = 0; x < 3; ++x) {
      const uint8_t v = c.expected[static_cast<size_t>(x)];
      EXPECT_EQ(PixelAt(*pixmap, x, 0), (std::array<uint8_t, 3>{v, v, v}))
          << c.low << "-" << c.high << " x " << x;
    }
  }
}

TEST_F(XpImageIoTiff, ObserverStopsTheReadAndSeesItsEnd) {
  TiffLayout layout;
  layout.width = 8;
  layout.height = 600;
  layout.rgb = SolidRgb(8, 600, 1, 2, 3);
  const XpString path = Write(layout);
  StopAtFirstCall stopper;
  EXPECT_EQ(Read(path, 1, false, &stopper), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpErrImageStopped);
  EXPECT_EQ(stopper.seen, std::vector<int32_t>{0});

  StopAtFirstCall watcher;
  watcher.stop = false;
  EXPECT_NE(Read(path, 2, false, &watcher), nullptr);
  EXPECT_EQ(watcher.seen, (std::vector<int32_t>{0, 42, 85, 100}));
}

TEST_F(XpImageIoTiff, IccProfileOfIfd0) {
  TiffLayout layout;
  layout.rgb = SolidRgb(1, 1, 1, 2, 3);
  layout.iccProfile = IccProfileBuilder().Tag("desc", IccDescData("Studio RGB")).Build();
  XpSharedPtr<icc_profile> profile = reader_.ReadIccProfileFromPath(Write(layout, "icc.tif"));
  ASSERT_TRUE(profile);
  EXPECT_EQ(reader_.GetLastError(), kXpOk);
  EXPECT_EQ(profile->GetTag("desc").GetTextDescriptionType().GetText(), XpStringA("Studio RGB"));

  layout.iccProfile.clear();
  EXPECT_FALSE(reader_.ReadIccProfileFromPath(Write(layout, "plain.tif")));
  EXPECT_EQ(reader_.GetLastError(), kXpErrImageTagNotFound);
}

TEST_F(XpImageIoTiff, OrientedReadIsNotSupported) {
  TiffLayout layout;
  layout.rgb = SolidRgb(1, 1, 1, 2, 3);
  EXPECT_EQ(reader_.ReadOrientedPixmapFromPath(Write(layout)), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpErrImageNotSupported);
}

// A block of IFD 0, Exif with a marked maker note, Interop, GPS and IFD 1,
// one byte longer than written so that its size is odd.
std::vector<uint8_t> OddMakerNoteFile(bool bigEndian, bool with2002) {
  auto tree = FullTagTree(bigEndian);
  if (with2002) {
    tree->GetMakerNoteIFD()->SetLong(0x2002, 77);
  }
  std::vector<uint8_t> bytes = WrittenBytes(*tree);
  if (bytes.size() % 2 == 0) {
    bytes.push_back(0xEE);
  }
  return bytes;
}

std::unique_ptr<XpTiffTagManager> ParseFile(const std::filesystem::path& path) {
  return ParsedBytes(ReadBytes(path));
}

TEST_F(XpImageIoTiff, MakerNoteUpdateAppendsIfd0AndKeepsIfd1) {
  for (bool bigEndian : {false, true}) {
    const auto path = Dir("notes") / (bigEndian ? "mm.tif" : "ii.tif");
    const std::vector<uint8_t> before = OddMakerNoteFile(bigEndian, false);
    WriteBytes(path, before);
    const auto original = ParsedBytes(before);
    ASSERT_NE(original->GetIFD(1), nullptr);
    auto expectedTree = ParsedBytes(before);
    expectedTree->GetMakerNoteIFD()->SetLong(0x2002, 0x12345678);
    const auto ifd0Size = static_cast<size_t>(expectedTree->GetIFD(0)->GetSize(true));

    ASSERT_EQ(reader_.RewriteTagsInPlace(PathText(path), 0x12345678), kXpOk) << bigEndian;
    const std::vector<uint8_t> after = ReadBytes(path);
    const uint32_t newIfd0 = Load32At(after, 4, bigEndian);
    EXPECT_EQ(newIfd0, before.size() + 1) << bigEndian;
    EXPECT_EQ(newIfd0 % 2, 0u);
    EXPECT_EQ(after[before.size()], 0) << bigEndian;
    EXPECT_EQ(after.size(), before.size() + 1 + ifd0Size) << bigEndian;

    const auto reparsed = ParseFile(path);
    ASSERT_NE(reparsed->GetMakerNoteIFD(), nullptr);
    EXPECT_EQ(reparsed->GetMakerNoteIFD()->GetLong(0x2002), 0x12345678u);
    ASSERT_NE(reparsed->GetIFD(1), nullptr) << bigEndian;
    EXPECT_EQ(DescribeIFD(*reparsed->GetIFD(1)), DescribeIFD(*original->GetIFD(1)));
  }
}

TEST_F(XpImageIoTiff, MakerNoteUpdatePatchesAnExistingTag) {
  const auto path = Dir("notes") / "patched.tif";
  const std::vector<uint8_t> before = OddMakerNoteFile(false, true);
  WriteBytes(path, before);
  ASSERT_EQ(reader_.RewriteTagsInPlace(PathText(path), 0x0A0B0C0D), kXpOk);
  const std::vector<uint8_t> after = ReadBytes(path);
  ASSERT_EQ(after.size(), before.size());
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    changed += before[i] != after[i] ? 1 : 0;
  }
  EXPECT_EQ(changed, 4u);
  EXPECT_EQ(ParsedBytes(after)->GetMakerNoteIFD()->GetLong(0x2002), 0x0A0B0C0Du);
}

TEST_F(XpImageIoTiff, MakerNoteUpdateFailures) {
  EXPECT_EQ(reader_.RewriteTagsInPlace(PathText(Dir("notes") / "missing.tif"), 1),
            kXpErrFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(Dir("notes") / "missing.tif"));
  TiffLayout layout;
  layout.rgb = SolidRgb(1, 1, 1, 2, 3);
  EXPECT_EQ(reader_.RewriteTagsInPlace(Write(layout), 1), kXpErrImageTagNotFound);
  const auto text = Dir("notes") / "text.tif";
  WriteBytes(text, {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(reader_.RewriteTagsInPlace(PathText(text), 1), kXpErrImageNoTiffBlock);
  EXPECT_EQ(ReadBytes(text).size(), 5u);
}

TEST_F(XpImageIoTiff, HugeHeaderIsRefusedBeforeAllocating) {
  TiffBlockBuilder block;
  block.Header(8).Ifd({{256, 4, 1, 70000},
                       {257, 4, 1, 70000},
                       {258, 3, 1, 8},
                       {259, 3, 1, 1},
                       {262, 3, 1, 1},
                       {273, 4, 1, 200},
                       {277, 3, 1, 1},
                       {278, 4, 1, 70000},
                       {279, 4, 1, 16}});
  block.At(200).Bytes(std::string(16, 'x'));
  const auto path = Dir("hostile") / "huge.tif";
  WriteBytes(path, block.Data());
  EXPECT_EQ(Read(PathText(path)), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpErrOutOfMemory);
}

TEST_F(XpImageIoTiff, CutFilesEndQuietly) {
  TiffLayout layout;
  layout.width = 20;
  layout.height = 30;
  layout.rgb = SolidRgb(20, 30, 5, 6, 7);
  layout.rowsPerStrip = 4;
  const XpString path = Write(layout, "whole.tif");
  const std::vector<uint8_t> bytes = ReadBytes(Dir("tiffs") / "whole.tif");
  ASSERT_GT(bytes.size(), 1800u);
  ASSERT_LT(bytes.size(), 2200u);
  const auto cutPath = Dir("hostile") / "cut.tif";
  testing::internal::CaptureStderr();
  for (size_t length = 0; length <= bytes.size(); ++length) {
    WriteBytes(cutPath,
               std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(length)));
    const auto pixmap = Read(PathText(cutPath));
    if (pixmap != nullptr) {
      EXPECT_EQ(pixmap->width, 20) << length;
    }
  }
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed, "");
  EXPECT_NE(Read(path), nullptr);
}

TEST_F(XpImageIoTiff, CheckerDatesTiffThroughTheReader) {
  auto tree = FullTagTree(false);
  tree->GetExifIFD()->SetAscii(36867, "2021:03:04 05:06:07");
  const auto path = Dir("dated") / "dated.tif";
  WriteBytes(path, WrittenBytes(*tree));
  XpDateTime date;
  ASSERT_TRUE(XpFormatChecker::GetShootingDate(PathText(path), date));
  EXPECT_EQ(date.GetYear(), 2021);
  EXPECT_EQ(date.GetMonth(), 3);
  EXPECT_EQ(date.GetDay(), 4);
  EXPECT_EQ(date.GetHour(), 5);
  EXPECT_EQ(date.GetMinute(), 6);
  EXPECT_EQ(date.GetSecond(), 7);
}

}  // namespace tiff_reader
