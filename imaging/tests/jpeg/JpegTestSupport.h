#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/text/XpString.h"

// A JPEG decoded by the system libjpeg to RGB, with its APP1 and APP2
// segments and its frame's component layout.
struct DecodedJpeg {
  bool ok = false;
  int32_t width = 0;
  int32_t height = 0;
  // R, G, B per pixel.
  std::vector<uint8_t> rgb;
  // Component id, sampling (h << 4 | v) and table, per component.
  std::vector<std::vector<int32_t>> components;

  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
  }
};
DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& bytes);

// One marker segment before the scan: its code (0xE1 for APP1) and payload.
struct JpegSegment {
  uint8_t code = 0;
  size_t offset = 0;
  std::vector<uint8_t> payload;
};
// The segments after SOI up to the first SOS.
std::vector<JpegSegment> JpegSegments(const std::vector<uint8_t>& bytes);
// A copy of the first segment with code; empty when none.
std::optional<JpegSegment> FindSegment(const std::vector<JpegSegment>& segments, uint8_t code);

// The tag tree of an APP1 Exif payload ("Exif\0\0" and a TIFF block).
std::unique_ptr<XpTiffTagManager> ParseExifPayload(const std::vector<uint8_t>& payload);
// The tags of an IFD in order.
std::vector<uint16_t> TagsOf(const XpTiffTagIFD& ifd);
// The raw bytes of a value (ASCII with its NUL).
std::string ValueBytes(const XpTiffTagIFD& ifd, uint16_t tag);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
XpString PathText(const std::filesystem::path& path);
// Names in folder ending in ".temp".
std::vector<std::string> TempNamesIn(const std::filesystem::path& folder);

// A BGR pixmap filled with one colour (bytes blue, green, red).
std::unique_ptr<XpPixmapBGR24NoHandle> SolidBGR(int32_t width, int32_t height, uint8_t blue,
                                                uint8_t green, uint8_t red);
// A BGR pixmap of pseudo-random bytes.
std::unique_ptr<XpPixmapBGR24NoHandle> NoiseBGR(int32_t width, int32_t height, uint32_t seed);
// A BGR pixmap whose blue follows x and green follows y.
std::unique_ptr<XpPixmapBGR24NoHandle> GradientBGR(int32_t width, int32_t height);
