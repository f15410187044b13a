// tiffgifsample FOLDER: writes sample.tif (64 x 48 as stored, Orientation
// 6, LZW, red on the left half and blue on the right) and sample.gif (an
// animated 40 x 30 GIF of two images) into the folder.
#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "imaging/tests/gif/GifBuilder.h"
#include "imaging/tests/tiff/TiffFixtures.h"

namespace {

constexpr uint32_t kTiffWidth = 64;
constexpr uint32_t kTiffHeight = 48;
constexpr uint16_t kGifWidth = 40;
constexpr uint16_t kGifHeight = 30;
constexpr uint16_t kFrameDelay = 50;

TiffLayout SampleTiff() {
  TiffLayout layout;
  layout.width = kTiffWidth;
  layout.height = kTiffHeight;
  for (uint32_t y = 0; y < kTiffHeight; ++y) {
    for (uint32_t x = 0; x < kTiffWidth; ++x) {
      const bool left = x < kTiffWidth / 2;
      layout.rgb.insert(layout.rgb.end(), {static_cast<uint8_t>(left ? 220 : 20), 30,
                                       static_cast<uint8_t>(left ? 20 : 220)});
    }
  }
  layout.compression = COMPRESSION_LZW;
  layout.orientation = 6;
  return layout;
}

std::vector<uint8_t> SampleGif() {
  const std::vector<uint8_t> first(size_t{kGifWidth} * kGifHeight, 1);
  const std::vector<uint8_t> second(size_t{kGifWidth} * kGifHeight, 2);
  return GifBuilder()
      .Screen(kGifWidth, kGifHeight, {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 255, 255}}, 0)
      .GraphicControl(kFrameDelay, -1)
      .Image(0, 0, kGifWidth, kGifHeight, first)
      .GraphicControl(kFrameDelay, -1)
      .Image(0, 0, kGifWidth, kGifHeight, second)
      .Trailer()
      .Bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tiffgifsample FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!WriteTiff(folder / "sample.tif", SampleTiff())) {
    std::fprintf(stderr, "tiffgifsample: writing sample.tif failed\n");
    return 1;
  }
  const std::vector<uint8_t> gif = SampleGif();
  std::ofstream out(folder / "sample.gif", std::ios::binary);
  out.write(reinterpret_cast<const char*>(gif.data()), static_cast<std::streamsize>(gif.size()));
  if (!out) {
    std::fprintf(stderr, "tiffgifsample: writing sample.gif failed\n");
    return 1;
  }
  return 0;
}
