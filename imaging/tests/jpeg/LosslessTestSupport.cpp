#include "imaging/tests/jpeg/LosslessTestSupport.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <cstdlib>
#include <functional>

#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr int32_t kQuality = 90;
constexpr int32_t kRedCorner = 16;
constexpr int32_t kThumbnailWidth = 160;
constexpr int32_t kThumbnailHeight = 120;
constexpr size_t kExifHeaderSize = 6;
constexpr size_t kSegmentHead = 4;
constexpr uint32_t kTiffHeaderSize = 8;

using PixelSource = std::function<void(int32_t x, int32_t y, uint8_t* rgb)>;

struct SamplingLayout {
  int luma[2];
  bool grey;
};

SamplingLayout LayoutOf(Sampling sampling) {
  switch (sampling) {
    case Sampling::k420:
      return {{2, 2}, false};
    case Sampling::k422:
      return {{2, 1}, false};
    case Sampling::k444:
      return {{1, 1}, false};
    case Sampling::kGrey:
    default:
      return {{1, 1}, true};
  }
}

std::vector<uint8_t> Encode(int32_t width, int32_t height, Sampling sampling,
                            const PixelSource& source) {
  const SamplingLayout layout = LayoutOf(sampling);
  const int components = layout.grey ? 1 : 3;
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  jpeg_mem_dest(&info, &output, &outputSize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = layout.grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = FALSE;
  jpeg_set_quality(&info, kQuality, TRUE);
  if (!layout.grey) {
    info.comp_info[0].h_samp_factor = layout.luma[0];
    info.comp_info[0].v_samp_factor = layout.luma[1];
    for (int component = 1; component < 3; ++component) {
      info.comp_info[component].h_samp_factor = 1;
      info.comp_info[component].v_samp_factor = 1;
    }
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * components);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t rgb[3] = {};
      source(x, y, rgb);
      if (layout.grey) {
        row[x] = rgb[0];
      } else {
        std::copy(rgb, rgb + 3, row.begin() + x * 3);
      }
    }
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> stream(output, output + outputSize);
  std::free(output);
  return stream;
}

struct ReadError {
  jpeg_error_mgr manager;
  std::jmp_buf exit;
};

void ReadErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ReadError*>(info->err)->exit, 1);
}

void Silent(j_common_ptr) {}

void ReadInto(const std::vector<uint8_t>& bytes, JpegCoefficients& result,
              jpeg_decompress_struct& info, ReadError& error) {
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ReadErrorExit;
  error.manager.output_message = Silent;
  if (setjmp(error.exit) != 0) {
    jpeg_destroy_decompress(&info);
    result.ok = false;
    return;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  result.width = static_cast<int32_t>(info.image_width);
  result.height = static_cast<int32_t>(info.image_height);
  result.components.resize(static_cast<size_t>(info.num_components));
  for (int index = 0; index < info.num_components; ++index) {
    const jpeg_component_info& component = info.comp_info[index];
    ComponentCoefficients& out = result.components[static_cast<size_t>(index)];
    out.widthInBlocks = static_cast<int32_t>(component.width_in_blocks);
    out.heightInBlocks = static_cast<int32_t>(component.height_in_blocks);
    out.horizontalSampling = component.h_samp_factor;
    out.verticalSampling = component.v_samp_factor;
    const JQUANT_TBL* table = info.quant_tbl_ptrs[component.quant_tbl_no];
    out.quantisation.assign(table->quantval, table->quantval + DCTSIZE2);
    for (JDIMENSION y = 0; y < component.height_in_blocks; ++y) {
      JBLOCKARRAY rows = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info),
                                                         arrays[index], y, 1, FALSE);
      for (JDIMENSION x = 0; x < component.width_in_blocks; ++x) {
        out.blocks.insert(out.blocks.end(), rows[0][x], rows[0][x] + DCTSIZE2);
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  result.ok = true;
}

void Append(std::vector<uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

// The Exif payload of the picture with an ImageDescription of
// descriptionLength bytes (none for 0).
std::vector<uint8_t> ExifPayload(const ExifPicture& picture, int32_t descriptionLength,
                                 const std::vector<uint8_t>& thumbnail) {
  XpTiffTagManager tags;
  tags.Reset();
  tags.SetByteOrder(kXpByteOrderLittleEndian);
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(271, "KAVO");
  ifd0->SetAscii(272, "DSC-1");
  if (picture.orientation != 0) {
    ifd0->SetShort(274, picture.orientation);
  }
  if (descriptionLength > 0) {
    ifd0->SetAscii(270, std::string(static_cast<size_t>(descriptionLength), 'd').c_str(),
                   descriptionLength);
  }
  auto* exif = new XpTiffTagIFD();
  exif->SetAscii(36867, "2020:01:02 03:04:05");
  exif->SetShort(40962, static_cast<uint16_t>(picture.width));
  exif->SetShort(40963, static_cast<uint16_t>(picture.height));
  if (picture.makerNote) {
    auto* makerNote = new XpTiffTagIFD();
    makerNote->SetMakerNote(true);
    makerNote->SetLong(0x2002, 1);
    if (picture.previewSize != 0 && !picture.previewInSubIFD) {
      makerNote->SetUndefined(0x2001, nullptr, 0);
    }
    if (picture.previewSize != 0 && picture.previewInSubIFD) {
      auto* sub = new XpTiffTagIFD();
      sub->SetLong(0x0088, 0);
      sub->SetLong(0x0089, picture.previewSize);
      XpTiffTagDataIFD* subValue = XpTiffTagDataIFD::Create(0xB028, 0);
      subValue->AddIFD(sub);
      makerNote->SetEntry(subValue);
    }
    XpTiffTagDataIFD* makerValue = XpTiffTagDataIFD::Create(37500, 0);
    makerValue->AddIFD(makerNote);
    exif->SetEntry(makerValue);
  }
  XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(34665, 0);
  exifValue->AddIFD(exif);
  ifd0->SetEntry(exifValue);
  tags.GetRoot()->AddIFD(ifd0);
  if (!thumbnail.empty()) {
    auto* ifd1 = new XpTiffTagIFD();
    ifd1->SetShort(259, 6);
    ifd1->SetLong(514, picture.declaredThumbnailLength != 0
                            ? picture.declaredThumbnailLength
                            : static_cast<uint32_t>(thumbnail.size()));
    ifd1->SetLong(513, 0);
    const uint64_t offset = ifd1->GetSize(true) + ifd0->GetSize(true) + kTiffHeaderSize;
    ifd1->SetLong(513, static_cast<uint32_t>(offset));
    tags.GetRoot()->AddIFD(ifd1);
  }
  std::vector<uint8_t> payload;
  Append(payload, std::string("Exif\0\0", kExifHeaderSize));
  const std::vector<uint8_t> block = WrittenBytes(tags);
  payload.insert(payload.end(), block.begin(), block.end());
  payload.insert(payload.end(), thumbnail.begin(), thumbnail.end());
  return payload;
}

std::vector<uint8_t> SizedExifPayload(const ExifPicture& picture,
                                      const std::vector<uint8_t>& thumbnail) {
  std::vector<uint8_t> payload = ExifPayload(picture, 0, thumbnail);
  if (picture.exifPayloadSize == 0) {
    return payload;
  }
  int32_t length = 8;
  for (int attempt = 0; attempt < 8 && payload.size() != picture.exifPayloadSize; ++attempt) {
    payload = ExifPayload(picture, length, thumbnail);
    length += static_cast<int32_t>(picture.exifPayloadSize) - static_cast<int32_t>(payload.size());
  }
  return payload;
}

size_t SegmentsSize(const std::vector<JpegSegment>& segments) {
  size_t size = 0;
  for (const JpegSegment& segment : segments) {
    size += kSegmentHead + segment.payload.size();
  }
  return size;
}

}  // namespace

std::vector<uint8_t> BuildSampledFrame(int32_t width, int32_t height, Sampling sampling) {
  return Encode(width, height, sampling, [&](int32_t x, int32_t y, uint8_t* rgb) {
    if (x < kRedCorner && y < kRedCorner) {
      rgb[0] = 255;
      rgb[1] = 0;
      rgb[2] = 0;
      return;
    }
    rgb[0] = static_cast<uint8_t>(40 + x * 150 / std::max(width - 1, 1));
    rgb[1] = static_cast<uint8_t>(30 + y * 170 / std::max(height - 1, 1));
    rgb[2] = static_cast<uint8_t>(200 - (x + y) * 100 / std::max(width + height - 2, 1));
  });
}

JpegCoefficients ReadCoefficients(const std::vector<uint8_t>& bytes) {
  JpegCoefficients result;
  if (bytes.empty()) {
    return result;
  }
  result.components.reserve(4);
  jpeg_decompress_struct info{};
  ReadError error{};
  ReadInto(bytes, result, info, error);
  return result;
}

JpegSegment AdobeSegment() {
  JpegSegment segment;
  segment.code = 0xEE;
  Append(segment.payload, "Adobe");
  segment.payload.insert(segment.payload.end(), {0, 100, 0, 0, 0, 0, 1});
  return segment;
}

JpegSegment CommentSegment(const std::string& text) {
  JpegSegment segment;
  segment.code = 0xFE;
  Append(segment.payload, text);
  return segment;
}

std::vector<uint8_t> PreviewBytes(uint32_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t index = 0; index < size; ++index) {
    bytes[index] = static_cast<uint8_t>(index * 7 + 3);
  }
  return bytes;
}

std::array<uint8_t, 3> QuadrantRgb(int32_t column, int32_t row) {
  static constexpr std::array<uint8_t, 3> kColours[2][2] = {{{255, 0, 0}, {0, 255, 0}},
                                                              {{0, 0, 255}, {255, 255, 255}}};
  return kColours[row != 0 ? 1 : 0][column != 0 ? 1 : 0];
}

std::vector<uint8_t> BuildQuadrantFrame(int32_t width, int32_t height, Sampling sampling) {
  return Encode(width, height, sampling, [&](int32_t x, int32_t y, uint8_t* rgb) {
    const std::array<uint8_t, 3> colour = QuadrantRgb(x >= width / 2, y >= height / 2);
    std::copy(colour.begin(), colour.end(), rgb);
  });
}

std::vector<uint8_t> ThumbnailStream() {
  return Encode(160, 120, Sampling::k422, [](int32_t x, int32_t, uint8_t* rgb) {
    const bool left = x < 80;
    rgb[0] = left ? 0 : 255;
    rgb[1] = left ? 0 : 255;
    rgb[2] = left ? 255 : 0;
  });
}

std::vector<uint8_t> BuildExifJpeg(const ExifPicture& picture) {
  const std::vector<uint8_t> frame =
      picture.quadrants ? BuildQuadrantFrame(picture.width, picture.height, picture.sampling)
                        : BuildSampledFrame(picture.width, picture.height, picture.sampling);
  std::vector<uint8_t> thumbnail;
  if (picture.thumbnail) {
    thumbnail = picture.quadrants ? BuildQuadrantFrame(kThumbnailWidth, kThumbnailHeight,
                                                       Sampling::k444)
                                  : ThumbnailStream();
  }
  std::vector<JpegSegment> segments = picture.before;
  if (picture.withExif) {
    JpegSegment exif;
    exif.code = 0xE1;
    exif.payload = SizedExifPayload(picture, thumbnail);
    segments.push_back(exif);
  }
  segments.insert(segments.end(), picture.after.begin(), picture.after.end());
  std::vector<uint8_t> bytes = WithSegments(frame, segments);
  if (picture.previewSize == 0 || !picture.withExif) {
    return bytes;
  }
  const int64_t base =
      static_cast<int64_t>(2 + SegmentsSize(picture.before) + kSegmentHead + kExifHeaderSize);
  const auto offset = static_cast<uint32_t>(bytes.size() - static_cast<size_t>(base));
  const std::vector<uint8_t> preview = PreviewBytes(picture.previewSize);
  bytes.insert(bytes.end(), preview.begin(), preview.end());
  XpMemoryFile file;
  (void)file.Open(kXpOpenReadWrite);
  (void)file.Write(bytes.data(), bytes.size(), nullptr);
  if (picture.previewInSubIFD) {
    (void)XpTiffSetMakerSubValueInFile(file, base, offset);
  } else {
    (void)XpTiffSetMakerTag2001InFile(file, base, offset, picture.previewSize);
  }
  std::memcpy(bytes.data(), file.GetBuffer(), bytes.size());
  (void)file.Close();
  bytes.resize(bytes.size() - std::min<size_t>(picture.previewShortBy, bytes.size()));
  return bytes;
}

std::vector<uint8_t> UpToEndOfImage(const std::vector<uint8_t>& bytes) {
  const std::vector<JpegSegment> segments = JpegSegments(bytes);
  size_t position = segments.empty()
                        ? 2
                        : segments.back().offset + kSegmentHead + segments.back().payload.size();
  for (; position + 1 < bytes.size(); ++position) {
    if (bytes[position] == 0xFF && bytes[position + 1] == 0xD9) {
      return std::vector<uint8_t>(bytes.begin(),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(position + 2));
    }
  }
  return {};
}

std::vector<std::string> OtherNamesIn(const std::filesystem::path& folder,
                                      const std::vector<std::string>& expected) {
  std::vector<std::string> others;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
      others.push_back(name);
    }
  }
  std::sort(others.begin(), others.end());
  return others;
}

Placement TransformPlacement(int32_t code, int32_t x, int32_t y, int32_t width, int32_t height) {
  switch (code) {
    case 1:
      return {width - 1 - x, y};
    case 2:
      return {x, height - 1 - y};
    case 3:
      return {y, x};
    case 4:
      return {height - 1 - y, width - 1 - x};
    case 5:
      return {height - 1 - y, x};
    case 6:
      return {width - 1 - x, height - 1 - y};
    case 7:
      return {y, width - 1 - x};
    default:
      return {x, y};
  }
}

int32_t UprightCodeOf(int32_t orientation) {
  // Mirrored, half turn, flipped, transposed, quarter turn to undo,
  // transverse, three quarters to undo.
  static constexpr int32_t kCodes[] = {0, 0, 1, 6, 2, 3, 5, 4, 7};
  return orientation >= 1 && orientation <= 8 ? kCodes[orientation] : 0;
}
