#include "imaging/io/XpImageIo.h"

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/XpPixmapAdobeRGBToSRGB.h"
#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

// How the file at path is open in this process: O_RDONLY, O_WRONLY or
// O_RDWR; -1 when it is not open.
int AccessModeOf(const XpString& path) {
  const std::string target = path.ToMultiByte().ToStdString();
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error).string() != target) continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string key;
    while (info >> key) {
      std::string value;
      info >> value;
      if (key == "flags:") return static_cast<int>(std::stoul(value, nullptr, 8)) & O_ACCMODE;
    }
  }
  return -1;
}

// A reader that notes how the base reaches its file-based operations.
class ProbeReader : public ::XpImageIo {
 public:
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override {
    calls.push_back("oriented " + std::to_string(offset));
    accessModes.push_back(AccessModeOf(file.GetPath()));
    return nullptr;
  }

  XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override {
    calls.push_back("locate " + std::to_string(offset));
    accessModes.push_back(AccessModeOf(file.GetPath()));
    return ::XpImageIo::LocateTiffBlock(file, offset);
  }

  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override {
    calls.push_back("pixmap " + std::to_string(offset) + " " + std::to_string(scale));
    if (!decoded) {
      return ::XpImageIo::ReadPixmap(file, offset, scale, observer, convertToSRGB,
                                     applyOrientation);
    }
    auto* pixmap = new XpPixmapBGR24NoHandle();
    EXPECT_EQ(pixmap->Allocate(4, 4), kXpOk);
    return pixmap;
  }

  using ::XpImageIo::SetLastError;

  bool decoded = false;
  std::vector<std::string> calls;
  std::vector<int> accessModes;
};

class ImageIoTest : public testsupport::HermeticTest {
 protected:
  // A file holding "content".
  XpString MakeFile(const std::string& name) {
    std::ofstream(Root() / name) << "content";
    return PathText(Root() / name);
  }

  std::string ContentOf(const std::string& name) {
    std::ifstream file(Root() / name);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  ProbeReader reader_;
};
using XpImageIo = ImageIoTest;

// Each pixel's blue is its label, green and red the label + 10 and + 20.
void PaintLabels(XpPixmapBase& pixmap, const std::vector<std::vector<uint8_t>>& rows) {
  ASSERT_EQ(pixmap.Allocate(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size())),
            kXpOk);
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      uint8_t* pixel = pixmap.GetPlane(0)->Row(static_cast<int32_t>(y)) + 3 * x;
      pixel[0] = rows[y][x];
      pixel[1] = static_cast<uint8_t>(rows[y][x] + 10);
      pixel[2] = static_cast<uint8_t>(rows[y][x] + 20);
    }
  }
}

std::vector<std::vector<uint8_t>> ReadLabels(const XpPixmapBase& pixmap) {
  std::vector<std::vector<uint8_t>> rows;
  for (int32_t y = 0; y < pixmap.height; ++y) {
    std::vector<uint8_t> row;
    for (int32_t x = 0; x < pixmap.width; ++x) {
      const uint8_t* pixel = pixmap.GetPlane(0)->Row(y) + 3 * x;
      EXPECT_EQ(pixel[1], pixel[0] + 10);
      EXPECT_EQ(pixel[2], pixel[0] + 20);
      row.push_back(pixel[0]);
    }
    rows.push_back(row);
  }
  return rows;
}

// 4 x 2:  A B C D / E F G H.
const std::vector<std::vector<uint8_t>> kPicture = {{'A', 'B', 'C', 'D'}, {'E', 'F', 'G', 'H'}};

TEST_F(XpImageIo, OrientationMirrorsAndTurnsForEveryOrientation) {
  const struct {
    int32_t orientation;
    std::vector<std::vector<uint8_t>> expected;
  } cases[] = {
      // Mirrored left to right.
      {2, {{'D', 'C', 'B', 'A'}, {'H', 'G', 'F', 'E'}}},
      {3, {{'H', 'G', 'F', 'E'}, {'D', 'C', 'B', 'A'}}},
      // Flipped top to bottom.
      {4, {{'E', 'F', 'G', 'H'}, {'A', 'B', 'C', 'D'}}},
      // Transposed: the stored top row is the shown left column.
      {5, {{'A', 'E'}, {'B', 'F'}, {'C', 'G'}, {'D', 'H'}}},
      // A quarter clockwise: the top-left is the input's bottom-left.
      {6, {{'E', 'A'}, {'F', 'B'}, {'G', 'C'}, {'H', 'D'}}},
      // Transversed: the stored top row is the shown right column, bottom up.
      {7, {{'H', 'D'}, {'G', 'C'}, {'F', 'B'}, {'E', 'A'}}},
      // A quarter counter-clockwise: the top-left is the input's top-right.
      {8, {{'D', 'H'}, {'C', 'G'}, {'B', 'F'}, {'A', 'E'}}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.orientation);
    auto* input = new XpPixmapBGR24NoHandle();
    PaintLabels(*input, kPicture);
    std::unique_ptr<XpPixmapBase> turned(reader_.ApplyExifOrientation(input, entry.orientation));
    ASSERT_NE(turned, nullptr);
    EXPECT_EQ(ReadLabels(*turned), entry.expected);
    EXPECT_NE(dynamic_cast<XpPixmapBGR24NoHandle*>(turned.get()), nullptr);
    EXPECT_EQ(turned->GetPlane(0)->stride, turned->width == 2 ? 8u : 12u);
  }
}

TEST_F(XpImageIo, OrientationTurnsAPixmapWithBitmapHandle) {
  auto* input = new XpPixmapBGR24();
  PaintLabels(*input, kPicture);
  std::unique_ptr<XpPixmapBase> turned(reader_.ApplyExifOrientation(input, 6));
  ASSERT_NE(turned, nullptr);
  EXPECT_EQ(ReadLabels(*turned)[0], (std::vector<uint8_t>{'E', 'A'}));
}

TEST_F(XpImageIo, OtherOrientationsGiveTheSamePixmapUntouched) {
  for (const int32_t orientation : {0, 1, 9, -6}) {
    SCOPED_TRACE(orientation);
    XpPixmapBGR24NoHandle input;
    PaintLabels(input, kPicture);
    reader_.SetLastError(kXpOk);
    EXPECT_EQ(reader_.ApplyExifOrientation(&input, orientation), &input);
    EXPECT_EQ(ReadLabels(input), kPicture);
    EXPECT_EQ(reader_.GetLastError(), kXpOk);
  }
}

TEST_F(XpImageIo, AFailedTurnReturnsTheInputAndReportsOutOfMemory) {
  XpPixmapBGR24NoHandle input;
  PaintLabels(input, kPicture);
  {
    XpScopedPixmapAllocationFailure failure(1);
    EXPECT_EQ(reader_.ApplyExifOrientation(&input, 6), &input);
  }
  EXPECT_EQ(reader_.GetLastError(), 0x8401u);
  EXPECT_EQ(ReadLabels(input), kPicture);

  reader_.SetLastError(kXpOk);
  EXPECT_EQ(reader_.ApplyExifOrientation(nullptr, 1), nullptr);
  EXPECT_EQ(reader_.GetLastError(), 0x8401u);
}

TEST_F(XpImageIo, OrientationLeavesPixmapsItCannotTurn) {
  XpPixmapBGRA32 fourChannels;
  ASSERT_EQ(fourChannels.Allocate(4, 2), kXpOk);
  EXPECT_EQ(reader_.ApplyExifOrientation(&fourChannels, 6), &fourChannels);
  EXPECT_EQ(fourChannels.width, 4);
  EXPECT_EQ(reader_.GetLastError(), kXpErrBadArgument);

  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(reader_.ApplyExifOrientation(&empty, 3), &empty);
  EXPECT_EQ(reader_.GetLastError(), kXpErrBadArgument);
}

TEST_F(XpImageIo, TagUpdatesOnAMissingPathCreateNothing) {
  const XpString missing = PathText(Root() / "missing.jpg");
  const XpDateTime date(2020, 5, 6, 7, 8, 9);
  const std::function<XpResult()> updates[] = {
      [&] { return reader_.UpdateTagFromPath(missing, 1, false); },
      [&] { return reader_.UpdateTagsFromPath(missing, date, true); },
      [&] { return reader_.WriteDateTimeFromPath(missing, date); },
      [&] { return reader_.RewriteTagsInPlace(missing, 7); },
  };
  for (size_t i = 0; i < std::size(updates); ++i) {
    SCOPED_TRACE(i);
    reader_.SetLastError(kXpOk);
    EXPECT_EQ(updates[i](), 0x8105u);
    EXPECT_EQ(reader_.GetLastError(), 0x8105u);
    EXPECT_FALSE(std::filesystem::exists(Root() / "missing.jpg"));
  }
  // A folder is not a file to update either.
  std::filesystem::create_directory(Root() / "folder.jpg");
  EXPECT_EQ(reader_.RewriteTagsInPlace(PathText(Root() / "folder.jpg"), 7), 0x8105u);
  EXPECT_TRUE(reader_.calls.empty());
}

TEST_F(XpImageIo, TagUpdatesOnAFileStopAtTheMissingTagBlock) {
  const XpString path = MakeFile("picture.jpg");
  const XpDateTime date(2020, 5, 6, 7, 8, 9);
  const std::function<XpResult()> updates[] = {
      [&] { return reader_.UpdateTagFromPath(path, 1, false); },
      [&] { return reader_.UpdateTagsFromPath(path, date, true); },
      [&] { return reader_.WriteDateTimeFromPath(path, date); },
      [&] { return reader_.RewriteTagsInPlace(path, 7); },
  };
  for (size_t i = 0; i < std::size(updates); ++i) {
    SCOPED_TRACE(i);
    reader_.calls.clear();
    reader_.accessModes.clear();
    reader_.SetLastError(kXpOk);
    EXPECT_EQ(updates[i](), 0x8602u);
    EXPECT_EQ(reader_.GetLastError(), 0x8602u);
    EXPECT_EQ(reader_.calls, std::vector<std::string>{"locate 0"});
    EXPECT_EQ(reader_.accessModes, std::vector<int>{O_RDWR});
  }
  EXPECT_EQ(ContentOf("picture.jpg"), "content");

  // The check-only companion opens the file for reading.
  reader_.accessModes.clear();
  EXPECT_EQ(reader_.CheckTagsInPlace(path, 7), 0x8602u);
  EXPECT_EQ(reader_.accessModes, std::vector<int>{O_RDONLY});
}

TEST_F(XpImageIo, ReadingTagsStopsAtTheMissingTagBlock) {
  const XpString path = MakeFile("picture.jpg");
  EXPECT_FALSE(reader_.ReadTagsFromPath(path));
  EXPECT_EQ(reader_.GetLastError(), 0x8602u);
  EXPECT_EQ(reader_.accessModes, std::vector<int>{O_RDONLY});

  EXPECT_FALSE(reader_.ReadTagsFromPath(PathText(Root() / "missing.jpg")));
  EXPECT_EQ(reader_.GetLastError(), 0x8105u);
  EXPECT_FALSE(reader_.ReadIccProfileFromPath(path));
  EXPECT_EQ(reader_.GetLastError(), 0x8605u);
}

TEST_F(XpImageIo, ByPathReadsKeepTheOpenResultOrTheOperationsResult) {
  const XpString path = MakeFile("picture.jpg");
  const XpString missing = PathText(Root() / "missing.jpg");
  XpSize size(1, 1);

  EXPECT_EQ(reader_.ReadPixmapFromPath(missing, 1, nullptr, true, true), nullptr);
  EXPECT_EQ(reader_.GetLastError(), 0x8105u);
  EXPECT_EQ(reader_.ReadPixmapFromPath(path, 2, nullptr, true, true), nullptr);
  EXPECT_EQ(reader_.GetLastError(), 0x8605u);
  EXPECT_EQ(reader_.ReadImageSizeFlag0FromPath(missing, &size), 0x8105u);
  EXPECT_EQ(reader_.ReadImageSizeFlag1FromPath(path, &size), 0x8605u);
  EXPECT_EQ(reader_.ReadImageSizeFromPathCopy(path, &size), 0x8605u);
  EXPECT_EQ(size, XpSize(1, 1));
  EXPECT_EQ(reader_.ReadOrientedPixmapFromPath(path), nullptr);
  const std::vector<std::string> expected = {"pixmap 0 2", "oriented 0"};
  EXPECT_EQ(reader_.calls, expected);
}

TEST_F(XpImageIo, ScaledReadResizesTheDecodedPicture) {
  const XpString path = MakeFile("picture.jpg");
  reader_.decoded = true;
  std::unique_ptr<XpPixmapBase> scaled(
      reader_.ReadPixmapScaledFromPath(path, XpSize(2, 3), nullptr, false, false));
  ASSERT_NE(scaled, nullptr);
  EXPECT_EQ(scaled->width, 2);
  EXPECT_EQ(scaled->height, 3);
  EXPECT_EQ(reader_.GetLastError(), kXpOk);
  EXPECT_EQ(reader_.calls, std::vector<std::string>{"pixmap 0 1"});

  EXPECT_EQ(reader_.ReadPixmapScaledFromPath(path, XpSize(0, 3), nullptr, false, false), nullptr);
  EXPECT_EQ(reader_.GetLastError(), kXpErrGeneric);
}

TEST_F(XpImageIo, AdobeRGBGreysStayGrey) {
  XpPixmapBGR24NoHandle pixmap;
  ASSERT_EQ(pixmap.Allocate(256, 1), kXpOk);
  for (int32_t v = 0; v < 256; ++v) {
    std::memset(pixmap.block + 3 * v, v, 3);
  }
  ASSERT_EQ(XpPixmapAdobeRGBToSRGB(pixmap), kXpOk);
  int previous = -1;
  for (int32_t v = 0; v < 256; ++v) {
    const uint8_t* pixel = pixmap.block + 3 * v;
    EXPECT_EQ(pixel[0], pixel[1]) << v;
    EXPECT_EQ(pixel[2], pixel[1]) << v;
    EXPECT_GE(pixel[1], previous) << v;
    previous = pixel[1];
  }
  EXPECT_EQ(pixmap.block[0], 0);
  EXPECT_EQ(pixmap.block[3 * 255], 255);
}

TEST_F(XpImageIo, AdobeRGBToSRGBValues) {
  const struct {
    uint8_t in[3];
    uint8_t out[3];
  } cases[] = {
      {{100, 100, 100}, {100, 100, 100}},
      {{50, 100, 150}, {42, 100, 167}},
      {{0, 0, 200}, {0, 0, 234}},
      // Red pulled below zero by green is clamped.
      {{0, 255, 0}, {0, 255, 0}},
  };
  XpPixmapBGR24NoHandle pixmap;
  ASSERT_EQ(pixmap.Allocate(static_cast<int32_t>(std::size(cases)), 2), kXpOk);
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::memcpy(pixmap.GetPlane(0)->Row(1) + 3 * i, cases[i].in, 3);
  }
  ASSERT_EQ(XpPixmapAdobeRGBToSRGB(pixmap), kXpOk);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const uint8_t* pixel = pixmap.GetPlane(0)->Row(1) + 3 * i;
    EXPECT_EQ(std::vector<int>(pixel, pixel + 3),
              std::vector<int>(cases[i].out, cases[i].out + 3))
        << i;
  }
}

TEST_F(XpImageIo, AdobeRGBConversionRefusesOtherPixmaps) {
  XpPixmapBGRA32 fourChannels;
  ASSERT_EQ(fourChannels.Allocate(1, 1), kXpOk);
  std::memset(fourChannels.block, 200, 4);
  EXPECT_EQ(XpPixmapAdobeRGBToSRGB(fourChannels), kXpErrBadArgument);
  EXPECT_EQ(fourChannels.block[0], 200);
  XpPixmapBGR24NoHandle empty;
  EXPECT_EQ(XpPixmapAdobeRGBToSRGB(empty), kXpErrBadArgument);
}

}  // namespace
