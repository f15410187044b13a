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

bool WriteTiff(const std::filesystem::path& path, const TiffSpec& spec) {
  TIFF* tiff = TIFFOpen(path.c_str(), spec.bigEndian ? "wb" : "wl");
  if (tiff == nullptr) {
    return false;
  }
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, spec.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, spec.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, spec.compression);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, spec.rowsPerStrip);
  if (spec.orientation != 0) {
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, spec.orientation);
  }
  if (spec.hasDotRange) {
    TIFFSetField(tiff, TIFFTAG_DOTRANGE, spec.dotLow, spec.dotHigh);
  }
  if (!spec.iccProfile.empty()) {
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(spec.iccProfile.size()),
                 spec.iccProfile.data());
  }
  bool written = true;
  std::vector<uint8_t> row(spec.rgb.begin(), spec.rgb.end());
  const size_t rowBytes = size_t{spec.width} * 3;
  for (uint32_t y = 0; y < spec.height && written; ++y) {
    written = TIFFWriteScanline(tiff, row.data() + y * rowBytes, y, 0) == 1;
  }
  TIFFClose(tiff);
  return written;
}
