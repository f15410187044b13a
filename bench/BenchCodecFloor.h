#pragma once

#include <cstdint>
#include <string>

// The codec floor of a conversion: libjpeg-turbo alone decoding a JPEG
// file at the DCT scale the conversion reads it at (1 / scaleDenominator,
// exact DCT, no fancy upsampling, as the project's reader decodes a scaled
// picture) into BGR pixels, and encoding that picture at a quality with the
// chroma subsampling of the project's writer (2 x 1) into a file. No
// resizing, no tags.
class BenchCodecFloor {
 public:
  // The chroma subsampling of the project's writer, as cjpeg's -sample
  // option names it.
  static constexpr const char* kSampling = "2x1";

  // False, with the reason in error, when a file cannot be read or written
  // or the library fails.
  static bool Transcode(const std::string& source, int32_t scaleDenominator, int32_t quality,
                        const std::string& destination, std::string& error);
};
