#include "imaging/tests/jpeg/JpegBuilder.h"

#include <jpeglib.h>

#include <cstdlib>

#include "imaging/tests/tags/TagTreeSupport.h"

namespace {

constexpr int32_t kBuildQuality = 90;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp2 = 0xE2;
constexpr uint8_t kApp13 = 0xED;

void Append(std::vector<uint8_t>& bytes, const std::string& text, bool withNul) {
  bytes.insert(bytes.end(), text.begin(), text.end());
  if (withNul) {
    bytes.push_back(0);
  }
}

void Append16(std::vector<uint8_t>& bytes, uint32_t value) {
  bytes.push_back(static_cast<uint8_t>(value >> 8));
  bytes.push_back(static_cast<uint8_t>(value));
}

void Append32(std::vector<uint8_t>& bytes, uint32_t value) {
  Append16(bytes, value >> 16);
  Append16(bytes, value & 0xFFFF);
}

struct ModelLayout {
  J_COLOR_SPACE space;
  int components;
};

ModelLayout LayoutOf(FrameModel model) {
  switch (model) {
    case FrameModel::kGrey:
      return {JCS_GRAYSCALE, 1};
    case FrameModel::kCmyk:
      return {JCS_CMYK, 4};
    case FrameModel::kRgb:
    default:
      return {JCS_RGB, 3};
  }
}

}  // namespace

std::vector<uint8_t> BuildFrame(int32_t width, int32_t height, FrameModel model, uint8_t red,
                                uint8_t green, uint8_t blue) {
  const ModelLayout layout = LayoutOf(model);
  const uint8_t pixel[4] = {red, green, blue, 0};
  std::vector<uint8_t> row(static_cast<size_t>(width) * layout.components);
  for (size_t index = 0; index < row.size(); ++index) {
    row[index] = pixel[index % layout.components];
  }
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  jpeg_mem_dest(&info, &output, &outputSize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = layout.components;
  info.in_color_space = layout.space;
  jpeg_set_defaults(&info);
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = FALSE;
  jpeg_set_quality(&info, kBuildQuality, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (int32_t y = 0; y < height; ++y) {
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> stream(output, output + outputSize);
  std::free(output);
  return stream;
}

std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& stream,
                                  const std::vector<JpegSegment>& segments) {
  std::vector<uint8_t> bytes(stream.begin(), stream.begin() + 2);
  for (const JpegSegment& segment : segments) {
    bytes.push_back(0xFF);
    bytes.push_back(segment.code);
    Append16(bytes, static_cast<uint32_t>(segment.payload.size() + 2));
    bytes.insert(bytes.end(), segment.payload.begin(), segment.payload.end());
  }
  bytes.insert(bytes.end(), stream.begin() + 2, stream.end());
  return bytes;
}

JpegSegment JfifSegment() {
  JpegSegment segment;
  segment.code = kApp0;
  Append(segment.payload, "JFIF", true);
  segment.payload.insert(segment.payload.end(), {1, 1, 0, 0, 1, 0, 1, 0, 0});
  return segment;
}

JpegSegment XmpSegment() {
  JpegSegment segment;
  segment.code = kApp1;
  Append(segment.payload, "http://ns.adobe.com/xap/1.0/", true);
  Append(segment.payload, "<x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>", false);
  return segment;
}

JpegSegment ExifSegment(XpTiffTagManager& tags) {
  JpegSegment segment;
  segment.code = kApp1;
  Append(segment.payload, "Exif", true);
  segment.payload.push_back(0);
  const std::vector<uint8_t> block = WrittenBytes(tags);
  segment.payload.insert(segment.payload.end(), block.begin(), block.end());
  return segment;
}

JpegSegment IccSegment(uint8_t sequence, uint8_t count, const std::vector<uint8_t>& bytes) {
  JpegSegment segment;
  segment.code = kApp2;
  Append(segment.payload, "ICC_PROFILE", true);
  segment.payload.push_back(sequence);
  segment.payload.push_back(count);
  segment.payload.insert(segment.payload.end(), bytes.begin(), bytes.end());
  return segment;
}

JpegSegment PhotoshopSegment(const std::vector<PhotoshopResource>& resources) {
  JpegSegment segment;
  segment.code = kApp13;
  Append(segment.payload, "Photoshop 3.0", true);
  for (const PhotoshopResource& resource : resources) {
    Append(segment.payload, "8BIM", false);
    Append16(segment.payload, resource.id);
    segment.payload.push_back(static_cast<uint8_t>(resource.name.size()));
    Append(segment.payload, resource.name, resource.name.size() % 2 == 0);
    const uint32_t size = resource.declaredSize != 0 ? resource.declaredSize
                                                     : static_cast<uint32_t>(resource.data.size());
    Append32(segment.payload, size);
    segment.payload.insert(segment.payload.end(), resource.data.begin(), resource.data.end());
    if (resource.data.size() % 2 != 0) {
      segment.payload.push_back(0);
    }
  }
  return segment;
}

std::vector<uint8_t> PhotoshopThumbnailData(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> data;
  Append32(data, 1);
  data.resize(28, 0);
  data.insert(data.end(), stream.begin(), stream.end());
  return data;
}

std::unique_ptr<XpTiffTagManager> Ifd0Tags(uint16_t orientation) {
  auto tags = std::make_unique<XpTiffTagManager>();
  tags->Reset();
  tags->GetRoot()->AddIFD(new XpTiffTagIFD());
  if (orientation != 0) {
    tags->GetIFD(0)->SetShort(274, orientation);
  }
  return tags;
}
