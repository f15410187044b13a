#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"

// Frame layouts: luma sampling of a colour frame, or one grey component.
enum class Sampling { k420, k422, k444, kGrey };

// A plain JPEG (no APP marker) of an asymmetric picture: gradients, and a
// pure red 8 x 8 block in the top-left corner.
std::vector<uint8_t> BuildSampledFrame(int32_t width, int32_t height, Sampling sampling);

// The DCT coefficients of a JPEG as libjpeg reads them.
struct ComponentCoefficients {
  int32_t widthInBlocks = 0;
  int32_t heightInBlocks = 0;
  int32_t horizontalSampling = 0;
  int32_t verticalSampling = 0;
  // The component's quantisation table, natural order.
  std::vector<uint16_t> quantisation;
  // Blocks row by row, 64 coefficients each in natural order.
  std::vector<int16_t> blocks;

  const int16_t* Block(int32_t x, int32_t y) const {
    return blocks.data() + (static_cast<size_t>(y) * widthInBlocks + x) * 64;
  }
};
struct JpegCoefficients {
  bool ok = false;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<ComponentCoefficients> components;
};
JpegCoefficients ReadCoefficients(const std::vector<uint8_t>& bytes);

// Segment payloads.
JpegSegment AdobeSegment();
JpegSegment CommentSegment(const std::string& text);

// A JPEG whose Exif block comes from a tag tree: IFD 0 (Make, Model,
// Orientation when set), the Exif IFD (DateTimeOriginal, PixelXDimension
// and PixelYDimension as SHORT), optionally a marked maker note holding
// 0x2002 = 1 and a preview behind the picture, and an IFD 1 thumbnail.
struct ExifPicture {
  int32_t width = 64;
  int32_t height = 48;
  Sampling sampling = Sampling::k422;
  uint16_t orientation = 0;
  bool makerNote = true;
  // Bytes of a preview appended behind the picture; 0 for none.
  uint32_t previewSize = 0;
  // The preview is held by 0x88/0x89 of the 0xB028 IFD instead of 0x2001.
  bool previewInSubIFD = false;
  // Preview bytes that the file lacks at its end.
  uint32_t previewShortBy = 0;
  bool thumbnail = false;
  // Picture and thumbnail are four solid quadrants (QuadrantRgb) instead
  // of the gradient and the blue and yellow halves.
  bool quadrants = false;
  // Written into 514 instead of the thumbnail's size when not 0.
  uint32_t declaredThumbnailLength = 0;
  // When not 0: ImageDescription pads the Exif payload to this size.
  size_t exifPayloadSize = 0;
  bool withExif = true;
  // Segments before and after the Exif APP1.
  std::vector<JpegSegment> before;
  std::vector<JpegSegment> after;
};
std::vector<uint8_t> BuildExifJpeg(const ExifPicture& picture);
// The preview bytes BuildExifJpeg appends for a size.
std::vector<uint8_t> PreviewBytes(uint32_t size);
// The thumbnail stream BuildExifJpeg puts into IFD 1: 160 x 120, blue on
// its left half, yellow on its right.
std::vector<uint8_t> ThumbnailStream();
// The colour of quadrant (column, row), each 0 or 1: red, green / blue,
// white.
std::array<uint8_t, 3> QuadrantRgb(int32_t column, int32_t row);
// A plain JPEG of four solid quadrants.
std::vector<uint8_t> BuildQuadrantFrame(int32_t width, int32_t height, Sampling sampling);

// The bytes of a JPEG up to and including its EOI; empty without one.
std::vector<uint8_t> UpToEndOfImage(const std::vector<uint8_t>& bytes);
// Where position (x, y) of a width x height grid (of pixels or blocks)
// lands under a transform code.
struct Placement {
  int32_t x;
  int32_t y;
};
Placement TransformPlacement(int32_t code, int32_t x, int32_t y, int32_t width, int32_t height);
// The code that makes a picture stored with orientation 1-8 upright.
int32_t UprightCodeOf(int32_t orientation);

// Names in folder other than the ones given.
std::vector<std::string> OtherNamesIn(const std::filesystem::path& folder,
                                      const std::vector<std::string>& expected);
