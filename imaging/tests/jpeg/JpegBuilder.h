#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "imaging/tags/XpTiffTagManager.h"

// Colour models of a built frame.
enum class FrameModel { kRgb, kGrey, kCmyk };

// A plain JPEG stream (SOI, tables, frame, scan, EOI; no APP marker) of a
// width x height picture of one colour, encoded by libjpeg at quality 90.
// Grey frames use red as their level; CMYK frames store the four bytes
// red, green, blue, 0.
std::vector<uint8_t> BuildFrame(int32_t width, int32_t height, FrameModel model, uint8_t red,
                                uint8_t green, uint8_t blue);

// The stream with the segments put after its SOI, in the order given.
std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& stream,
                                  const std::vector<JpegSegment>& segments);

// Payloads of marker segments.
JpegSegment JfifSegment();
JpegSegment XmpSegment();
// "Exif", two NULs and the written tag block.
JpegSegment ExifSegment(XpTiffTagManager& tags);
// "ICC_PROFILE", NUL, sequence number, count, bytes.
JpegSegment IccSegment(uint8_t sequence, uint8_t count, const std::vector<uint8_t>& bytes);

// One Photoshop image resource; declaredSize replaces the data's size in
// the size field when it is not 0.
struct PhotoshopResource {
  uint16_t id = 0;
  std::string name;
  std::vector<uint8_t> data;
  uint32_t declaredSize = 0;
};
// "Photoshop 3.0", NUL and the resources, each padded to an even size.
JpegSegment PhotoshopSegment(const std::vector<PhotoshopResource>& resources);
// The data of a JPEG thumbnail resource (0x040C): a 28-byte head with
// format 1, then the stream.
std::vector<uint8_t> PhotoshopThumbnailData(const std::vector<uint8_t>& stream);

// A tag tree with IFD 0 only, holding orientation when it is not 0.
std::unique_ptr<XpTiffTagManager> Ifd0Tags(uint16_t orientation);
