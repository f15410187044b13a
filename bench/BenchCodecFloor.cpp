#include "bench/BenchCodecFloor.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "imaging/jpeg/XpJpegError.h"
#include "imaging/jpeg/XpJpegLib.h"

namespace {

constexpr int kBgrComponents = 3;
constexpr int kLumaHorizontalSampling = 2;

// The records and buffers of one transcode. They live outside the frames
// that call setjmp, so that a library error jumping back skips no
// destructor.
struct FloorRun {
  std::vector<uint8_t> file;
  std::vector<uint8_t> pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  XpJpegError decodeError{};
  XpJpegError encodeError{};
  jpeg_decompress_struct decoder{};
  jpeg_compress_struct encoder{};
  unsigned char* encoded = nullptr;
  unsigned long encodedSize = 0;

  ~FloorRun() { std::free(encoded); }
};

bool Decode(FloorRun& run, int32_t scaleDenominator) {
  run.decoder.err = XpJpegErrorSetup(run.decodeError);
  jpeg_create_decompress(&run.decoder);
  if (setjmp(run.decodeError.exit) != 0) {
    jpeg_destroy_decompress(&run.decoder);
    return false;
  }
  jpeg_mem_src(&run.decoder, run.file.data(), static_cast<unsigned long>(run.file.size()));
  jpeg_read_header(&run.decoder, TRUE);
  run.decoder.out_color_space = JCS_EXT_BGR;
  run.decoder.dct_method = JDCT_ISLOW;
  if (scaleDenominator >= 2) {
    run.decoder.scale_num = 1;
    run.decoder.scale_denom = static_cast<unsigned int>(scaleDenominator);
    run.decoder.do_fancy_upsampling = FALSE;
    run.decoder.do_block_smoothing = FALSE;
  }
  jpeg_start_decompress(&run.decoder);
  run.width = run.decoder.output_width;
  run.height = run.decoder.output_height;
  const size_t stride = size_t{run.width} * kBgrComponents;
  run.pixels.resize(stride * run.height);
  while (run.decoder.output_scanline < run.decoder.output_height) {
    JSAMPROW row = run.pixels.data() + stride * run.decoder.output_scanline;
    jpeg_read_scanlines(&run.decoder, &row, 1);
  }
  jpeg_finish_decompress(&run.decoder);
  jpeg_destroy_decompress(&run.decoder);
  return true;
}

bool Encode(FloorRun& run, int32_t quality) {
  run.encoder.err = XpJpegErrorSetup(run.encodeError);
  jpeg_create_compress(&run.encoder);
  if (setjmp(run.encodeError.exit) != 0) {
    jpeg_destroy_compress(&run.encoder);
    return false;
  }
  jpeg_mem_dest(&run.encoder, &run.encoded, &run.encodedSize);
  run.encoder.image_width = run.width;
  run.encoder.image_height = run.height;
  run.encoder.input_components = kBgrComponents;
  run.encoder.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&run.encoder);
  run.encoder.dct_method = JDCT_ISLOW;
  jpeg_set_quality(&run.encoder, quality, TRUE);
  run.encoder.comp_info[0].h_samp_factor = kLumaHorizontalSampling;
  run.encoder.comp_info[0].v_samp_factor = 1;
  for (int component = 1; component < kBgrComponents; ++component) {
    run.encoder.comp_info[component].h_samp_factor = 1;
    run.encoder.comp_info[component].v_samp_factor = 1;
  }
  jpeg_start_compress(&run.encoder, TRUE);
  const size_t stride = size_t{run.width} * kBgrComponents;
  while (run.encoder.next_scanline < run.encoder.image_height) {
    JSAMPROW row = run.pixels.data() + stride * run.encoder.next_scanline;
    jpeg_write_scanlines(&run.encoder, &row, 1);
  }
  jpeg_finish_compress(&run.encoder);
  jpeg_destroy_compress(&run.encoder);
  return true;
}

}  // namespace

bool BenchCodecFloor::Transcode(const std::string& source, int32_t scaleDenominator,
                                int32_t quality, const std::string& destination,
                                std::string& error) {
  FloorRun run;
  std::ifstream in(source, std::ios::binary | std::ios::ate);
  const std::streamsize size = in ? static_cast<std::streamsize>(in.tellg()) : 0;
  run.file.resize(static_cast<size_t>(std::max<std::streamsize>(size, 0)));
  in.seekg(0);
  if (size <= 0 || !in.read(reinterpret_cast<char*>(run.file.data()), size)) {
    error = source + ": cannot be read";
    return false;
  }
  if (!Decode(run, scaleDenominator)) {
    error = source + ": libjpeg cannot decode it";
    return false;
  }
  if (!Encode(run, quality)) {
    error = source + ": libjpeg cannot encode it";
    return false;
  }
  std::ofstream out(destination, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(run.encoded),
            static_cast<std::streamsize>(run.encodedSize));
  if (!out.flush()) {
    error = destination + ": cannot be written";
    return false;
  }
  return true;
}
