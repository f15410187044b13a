#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchTool.h"

// A picture made for the benchmark.
struct BenchPicture {
  std::string path;
  int32_t width = 0;
  int32_t height = 0;
};

// Makes the benchmark's input pictures at run time: photo-like JPEG files
// (a smooth gradient with noise and hard edges, so that the codec does real
// work) written by the project's JPEG writer at quality 92, carrying Exif
// data with DateTimeOriginal, Orientation 1 and, as the writer adds it, a
// thumbnail in IFD 1. A set has a few distinct pictures, painted on the
// machine's cores, and as many copies of them as make up its count.
class BenchInputs {
 public:
  static constexpr int32_t kQuality = 92;
  // DateTimeOriginal of every input.
  static constexpr const char* kDateTimeOriginal = "2024:05:17 10:11:12";

  struct Set {
    int32_t landscapeCount = 0;
    int32_t portraitCount = 0;
    // The landscape size; portraits are the same turned.
    int32_t longSide = 0;
    int32_t shortSide = 0;
    // The pictures of the set, the distinct ones first, then copies of
    // them in turn.
    int32_t count = 0;
  };

  // 30 landscape 4000 x 3000 and 10 portrait 3000 x 4000 pictures, 200 in
  // all.
  static Set Full();
  // 4 landscape and 2 portrait pictures of 2000 x 1500, 30 in all.
  static Set Quick();
  // 2 landscape and 1 portrait picture of 1280 x 960.
  static Set Small();

  // Writes the set's pictures into folder (which exists); false, with the
  // failing file in error, when a picture cannot be written.
  static bool Make(const Set& set, const std::string& folder, std::vector<BenchPicture>& pictures,
                   std::string& error);

  // Writes one picture; seed varies its content.
  static bool MakePicture(const BenchPicture& picture, uint32_t seed);

  // Writes picture (side x side) with the vips program from source,
  // enlarged strip by strip, so that its pixels are never held at once;
  // its tags (and embedded thumbnail, as a camera's picture has one) are
  // source's. False when vips failed.
  static bool MakeLarge(const BenchPicture& source, BenchPicture& picture, int32_t side,
                        const BenchTool& tool);
};
