#pragma once

#include <cstdint>
#include <string>

// The codec floor of a conversion: libjpeg-turbo alone decoding a JPEG
// file at full size into BGR pixels (exact DCT) and encoding them again at
// a quality, with the library's defaults, into memory. No scaling, no tags.
class BenchCodecFloor {
 public:
  // False, with the reason in error, when the file cannot be read or the
  // library fails; encodedBytes is the size of the new stream.
  static bool Transcode(const std::string& path, int32_t quality, size_t& encodedBytes,
                        std::string& error);
};
