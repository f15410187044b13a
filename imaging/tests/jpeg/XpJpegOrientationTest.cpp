// The shown picture and thumbnail of a JPEG under each Exif orientation,
// after the oriented decode and after every lossless transform.

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/gif/GifTestSupport.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 16;
constexpr int32_t kCells = 2;
constexpr uint16_t kTagOrientation = 274;
constexpr uint8_t kApp1 = 0xE1;
// Largest summed channel distance still taken for a quadrant colour.
constexpr int kColourTolerance = 150;

// Colour index (column + 2 x row of QuadrantRgb) seen in each cell of a
// 2 x 2 grid over a shown picture, row by row; -1 for no quadrant colour.
using Grid = std::array<int, kCells * kCells>;

int QuadrantOf(uint8_t red, uint8_t green, uint8_t blue) {
  for (int index = 0; index < kCells * kCells; ++index) {
    const std::array<uint8_t, 3> rgb = QuadrantRgb(index % kCells, index / kCells);
    const int distance = std::abs(red - rgb[0]) + std::abs(green - rgb[1]) + std::abs(blue - rgb[2]);
    if (distance <= kColourTolerance) {
      return index;
    }
  }
  return -1;
}

template <typename ColourAt>
Grid GridOf(int32_t width, int32_t height, const ColourAt& colourAt) {
  Grid grid{};
  for (int32_t row = 0; row < kCells; ++row) {
    for (int32_t column = 0; column < kCells; ++column) {
      const int32_t x = (2 * column + 1) * width / (2 * kCells);
      const int32_t y = (2 * row + 1) * height / (2 * kCells);
      grid[row * kCells + column] = colourAt(x, y);
    }
  }
  return grid;
}

Grid GridOfPixmap(const XpPixmapBase& pixmap) {
  return GridOf(pixmap.width, pixmap.height, [&](int32_t x, int32_t y) {
    const std::array<uint8_t, 3> bgr = PixelAt(pixmap, x, y);
    return QuadrantOf(bgr[2], bgr[1], bgr[0]);
  });
}

Grid GridOfDecoded(const DecodedJpeg& decoded) {
  return GridOf(decoded.width, decoded.height, [&](int32_t x, int32_t y) {
    const uint8_t* rgb = decoded.Pixel(x, y);
    return QuadrantOf(rgb[0], rgb[1], rgb[2]);
  });
}

// The stored quadrants moved by the transform codes in turn.
Grid Moved(const std::vector<int32_t>& codes) {
  Grid grid{};
  for (int32_t row = 0; row < kCells; ++row) {
    for (int32_t column = 0; column < kCells; ++column) {
      Placement at{column, row};
      for (const int32_t code : codes) {
        at = TransformPlacement(code, at.x, at.y, kCells, kCells);
      }
      grid[at.y * kCells + at.x] = row * kCells + column;
    }
  }
  return grid;
}

bool SwapsSides(const std::vector<int32_t>& codes) {
  bool swapped = false;
  for (const int32_t code : codes) {
    swapped = swapped != (code == 3 || code == 4 || code == 5 || code == 7);
  }
  return swapped;
}

class XpJpegOrientation : public testsupport::HermeticTest {
 protected:
  std::filesystem::path Source() { return Dir("in") / "source.jpg"; }
  std::filesystem::path Target() { return Dir("out") / "turned.jpg"; }

  void PlaceSource(uint16_t orientation) {
    ExifPicture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    picture.sampling = Sampling::k444;
    picture.orientation = orientation;
    picture.makerNote = false;
    picture.thumbnail = true;
    picture.quadrants = true;
    WriteBytes(Source(), BuildExifJpeg(picture));
  }

  XpResult Transform(int32_t code, bool applyOrientation) {
    std::filesystem::remove(Target());
    return io_.TransformLossless(PathText(Source()), PathText(Target()), code, applyOrientation);
  }

  // The picture of path as the reader shows it; width and height receive
  // its size.
  Grid Shown(const std::filesystem::path& path, int32_t& width, int32_t& height) {
    XpImageIoJpeg reader;
    const std::unique_ptr<XpPixmapBase> pixmap(
        reader.ReadPixmapFromPath(PathText(path), 1, nullptr, false, true));
    if (pixmap == nullptr) {
      ADD_FAILURE() << "no picture";
      return Grid{};
    }
    width = pixmap->width;
    height = pixmap->height;
    return GridOfPixmap(*pixmap);
  }

  // The thumbnail of path as the reader shows it; wide receives whether it
  // is wider than high.
  Grid ShownThumbnail(const std::filesystem::path& path, bool& wide) {
    XpImageIoJpeg reader;
    const std::unique_ptr<XpPixmapBase> pixmap(reader.ReadOrientedPixmapFromPath(PathText(path)));
    if (pixmap == nullptr) {
      ADD_FAILURE() << "no thumbnail";
      return Grid{};
    }
    wide = pixmap->width > pixmap->height;
    return GridOfPixmap(*pixmap);
  }

  uint16_t TargetOrientation() {
    const auto exif = FindSegment(JpegSegments(ReadBytes(Target())), kApp1);
    const auto tags = exif ? ParseExifPayload(exif->payload) : nullptr;
    return tags && tags->GetIFD(0) != nullptr ? tags->GetIFD(0)->GetShort(kTagOrientation) : 0;
  }

  // Shown picture and thumbnail of path against the stored quadrants moved
  // by codes.
  void ExpectShown(const std::filesystem::path& path, const std::vector<int32_t>& codes) {
    const bool swapped = SwapsSides(codes);
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_EQ(Shown(path, width, height), Moved(codes)) << "picture";
    EXPECT_EQ(width, swapped ? kHeight : kWidth);
    EXPECT_EQ(height, swapped ? kWidth : kHeight);
    bool wide = false;
    EXPECT_EQ(ShownThumbnail(path, wide), Moved(codes)) << "thumbnail";
    EXPECT_EQ(wide, !swapped);
  }

  XpImageIoJpeg io_;
};

TEST_F(XpJpegOrientation, EveryOrientationIsShownMirroredAndTurned) {
  for (uint16_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    PlaceSource(o);
    ASSERT_EQ(GridOfDecoded(DecodeJpeg(ReadBytes(Source()))), Moved({}));
    ExpectShown(Source(), {UprightCodeOf(o)});
  }
}

TEST_F(XpJpegOrientation, ApplyingTheOrientationStoresWhatWasShown) {
  for (uint16_t o = 1; o <= 8; ++o) {
    PlaceSource(o);
    for (int32_t t = 0; t <= 7; ++t) {
      SCOPED_TRACE("orientation " + std::to_string(o) + " transform " + std::to_string(t));
      ASSERT_EQ(Transform(t, true), kXpOk);
      EXPECT_EQ(TargetOrientation(), 1);
      const std::vector<int32_t> codes = {UprightCodeOf(o), t};
      EXPECT_EQ(GridOfDecoded(DecodeJpeg(ReadBytes(Target()))), Moved(codes));
      ExpectShown(Target(), codes);
    }
  }
}

TEST_F(XpJpegOrientation, TheThumbnailFollowsEveryTransformOfTheStoredPixels) {
  for (uint16_t o = 1; o <= 8; ++o) {
    PlaceSource(o);
    for (int32_t t = 0; t <= 7; ++t) {
      SCOPED_TRACE("orientation " + std::to_string(o) + " transform " + std::to_string(t));
      ASSERT_EQ(Transform(t, false), kXpOk);
      EXPECT_EQ(TargetOrientation(), o);
      EXPECT_EQ(GridOfDecoded(DecodeJpeg(ReadBytes(Target()))), Moved({t}));
      ExpectShown(Target(), {t, UprightCodeOf(o)});
    }
  }
}

}  // namespace
