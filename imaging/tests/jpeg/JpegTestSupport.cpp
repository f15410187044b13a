#include "imaging/tests/jpeg/JpegTestSupport.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "imaging/tests/tags/TagTreeSupport.h"

namespace {

constexpr size_t kExifHeaderSize = 6;

struct DecodeError {
  jpeg_error_mgr manager;
  std::jmp_buf exit;
};

void DecodeErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<DecodeError*>(info->err)->exit, 1);
}

void Silent(j_common_ptr) {}

// Fills result; no object with a destructor is created after the setjmp.
void Decode(const std::vector<uint8_t>& bytes, DecodedJpeg& result, jpeg_decompress_struct& info,
            DecodeError& error) {
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = DecodeErrorExit;
  error.manager.output_message = Silent;
  if (setjmp(error.exit) != 0) {
    jpeg_destroy_decompress(&info);
    result.ok = false;
    return;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  for (int index = 0; index < info.num_components; ++index) {
    const jpeg_component_info& component = info.comp_info[index];
    result.components.push_back({component.component_id,
                                 component.h_samp_factor << 4 | component.v_samp_factor,
                                 component.quant_tbl_no});
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  result.width = static_cast<int32_t>(info.output_width);
  result.height = static_cast<int32_t>(info.output_height);
  result.rgb.resize(static_cast<size_t>(result.width) * result.height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = result.rgb.data() + static_cast<size_t>(info.output_scanline) * result.width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  result.ok = true;
}

}  // namespace

DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& bytes) {
  DecodedJpeg result;
  if (bytes.empty()) {
    return result;
  }
  // Room reserved before the setjmp so that the vectors never allocate
  // across a jump.
  result.components.reserve(4);
  jpeg_decompress_struct info{};
  DecodeError error{};
  Decode(bytes, result, info, error);
  return result;
}

std::vector<JpegSegment> JpegSegments(const std::vector<uint8_t>& bytes) {
  std::vector<JpegSegment> segments;
  size_t position = 2;
  while (position + 4 <= bytes.size() && bytes[position] == 0xFF) {
    const uint8_t code = bytes[position + 1];
    const size_t length = static_cast<size_t>(bytes[position + 2]) << 8 | bytes[position + 3];
    if (code == 0xDA || length < 2 || position + 2 + length > bytes.size()) {
      break;
    }
    JpegSegment segment;
    segment.code = code;
    segment.offset = position;
    segment.payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(position + 4),
                           bytes.begin() + static_cast<std::ptrdiff_t>(position + 2 + length));
    segments.push_back(std::move(segment));
    position += 2 + length;
  }
  return segments;
}

std::optional<JpegSegment> FindSegment(const std::vector<JpegSegment>& segments, uint8_t code) {
  for (const JpegSegment& segment : segments) {
    if (segment.code == code) {
      return segment;
    }
  }
  return std::nullopt;
}

std::unique_ptr<XpTiffTagManager> ParseExifPayload(const std::vector<uint8_t>& payload) {
  if (payload.size() < kExifHeaderSize) {
    return nullptr;
  }
  const std::vector<uint8_t> block(payload.begin() + kExifHeaderSize, payload.end());
  bool parsed = false;
  auto tags = ParsedBytes(block, XpTiffMakerNoteMode::MakerNoteWhenMarked, &parsed);
  return parsed ? std::move(tags) : nullptr;
}

std::vector<uint16_t> TagsOf(const XpTiffTagIFD& ifd) {
  std::vector<uint16_t> tags;
  for (int32_t index = 0; index < ifd.GetCount(); ++index) {
    tags.push_back(ifd.GetAt(index)->GetTag());
  }
  return tags;
}

std::string ValueBytes(const XpTiffTagIFD& ifd, uint16_t tag) {
  const XpTiffTagDataBase* value = ifd.FindTag(tag, false);
  if (value == nullptr) {
    return "<missing>";
  }
  return std::string(reinterpret_cast<const char*>(value->GetData()), value->GetByteSize());
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

XpString PathText(const std::filesystem::path& path) { return XpString::FromUtf8(path.string()); }

std::vector<std::string> TempNamesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".temp") == 0) {
      names.push_back(name);
    }
  }
  return names;
}

namespace {

std::unique_ptr<XpPixmapBGR24NoHandle> Allocated(int32_t width, int32_t height) {
  auto pixmap = std::make_unique<XpPixmapBGR24NoHandle>();
  if (pixmap->Allocate(width, height) != kXpOk) {
    return nullptr;
  }
  return pixmap;
}

template <typename Fill>
std::unique_ptr<XpPixmapBGR24NoHandle> Filled(int32_t width, int32_t height, Fill fill) {
  auto pixmap = Allocated(width, height);
  if (pixmap == nullptr) {
    return nullptr;
  }
  const XpPlaneBase& plane = *pixmap->GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixel = plane.Row(y);
    for (int32_t x = 0; x < width; ++x, pixel += 3) {
      fill(x, y, pixel);
    }
  }
  return pixmap;
}

}  // namespace

std::unique_ptr<XpPixmapBGR24NoHandle> SolidBGR(int32_t width, int32_t height, uint8_t blue,
                                                uint8_t green, uint8_t red) {
  return Filled(width, height, [&](int32_t, int32_t, uint8_t* pixel) {
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
  });
}

std::unique_ptr<XpPixmapBGR24NoHandle> NoiseBGR(int32_t width, int32_t height, uint32_t seed) {
  uint32_t state = seed;
  return Filled(width, height, [&](int32_t, int32_t, uint8_t* pixel) {
    for (int channel = 0; channel < 3; ++channel) {
      state = state * 1664525u + 1013904223u;
      pixel[channel] = static_cast<uint8_t>(state >> 24);
    }
  });
}

std::unique_ptr<XpPixmapBGR24NoHandle> GradientBGR(int32_t width, int32_t height) {
  return Filled(width, height, [&](int32_t x, int32_t y, uint8_t* pixel) {
    pixel[0] = static_cast<uint8_t>(x * 255 / std::max(width - 1, 1));
    pixel[1] = static_cast<uint8_t>(y * 255 / std::max(height - 1, 1));
    pixel[2] = 96;
  });
}
