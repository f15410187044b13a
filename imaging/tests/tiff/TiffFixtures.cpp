#include "imaging/tests/tiff/TiffFixtures.h"

#include <tiffio.h>

std::vector<uint8_t> SolidRgb(uint32_t width, uint32_t height, uint8_t red, uint8_t green,
                              uint8_t blue) {
  std::vector<uint8_t> rgb;
  for (uint64_t i = 0; i < uint64_t{width} * height; ++i) {
    rgb.insert(rgb.end(), {red, green, blue});
  }
  return rgb;
}

bool WriteTiff(const std::filesystem::path& path, const TiffLayout& layout) {
  TIFF* tiff = TIFFOpen(path.c_str(), layout.bigEndian ? "wb" : "wl");
  if (tiff == nullptr) {
    return false;
  }
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, layout.compression);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip);
  if (layout.orientation != 0) {
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, layout.orientation);
  }
  if (layout.hasDotRange) {
    TIFFSetField(tiff, TIFFTAG_DOTRANGE, layout.dotLow, layout.dotHigh);
  }
  if (!layout.iccProfile.empty()) {
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(layout.iccProfile.size()),
                 layout.iccProfile.data());
  }
  bool written = true;
  std::vector<uint8_t> row(layout.rgb.begin(), layout.rgb.end());
  const size_t rowBytes = size_t{layout.width} * 3;
  for (uint32_t y = 0; y < layout.height && written; ++y) {
    written = TIFFWriteScanline(tiff, row.data() + y * rowBytes, y, 0) == 1;
  }
  TIFFClose(tiff);
  return written;
}
