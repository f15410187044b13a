#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchCase.h"
#include "bench/BenchInputs.h"
#include "bench/BenchTool.h"
#include "imaging/geometry/XpSize.h"

// The conversion of each input picture to fit a size (or, with cutting, to
// fill it and be cut to it), one process a picture on every side, start-up
// included: the project's resize engine on its full path as the resizing
// exporter drives it (k2benchjob convert: the shooting date ensured in the
// tags, then read at the DCT scale the engine chooses, resized, written
// with the rebuilt Exif data and thumbnail), against vipsthumbnail as a
// user converts a picture, and optionally the codec floor: libjpeg-turbo
// decoding at the engine's DCT scale and encoding that picture, as djpeg
// piped to cjpeg and as k2benchjob floor. Every side writes at the
// exporter's quality with chroma subsampling (vips can only halve the
// chroma both ways; the project and the floor halve it across).
class BenchConversionCase {
 public:
  struct Setup {
    std::string title;
    // 640 x 480 or 1920 x 1080: the engine's two sizes.
    XpSize size;
    bool cutting = false;
    bool withCodecFloor = false;
  };

  // job: the k2benchjob program; outputFolder exists; the contenders write
  // below it.
  BenchConversionCase(Setup setup, const std::vector<BenchPicture>& pictures, std::string job,
                      const std::string& outputFolder, const BenchTool& tool);

  BenchCase MakeCase();

  // The size the project's output of a source must have.
  XpSize ExpectedSize(const BenchPicture& picture) const;
  // The DCT scale the engine decodes the picture at (1 / the result).
  int32_t ScaleDenominator(const BenchPicture& picture) const;
  // A picture of width x height scaled to fit inside box, sides truncated
  // and at least 1.
  static XpSize FitInside(int64_t width, int64_t height, const XpSize& box);
  // vipsthumbnail's output suffix: the exporter's quality, subsampled.
  static std::string VipsSaveOptions();

 private:
  bool RunProject(BenchSample& sample, std::string& error) const;
  bool RunVips(BenchSample& sample, std::string& error) const;
  bool RunPipeFloor(BenchSample& sample, std::string& error) const;
  bool RunJobFloor(BenchSample& sample, std::string& error) const;
  // vipsthumbnail's options for the case's size and cutting.
  std::vector<std::string> VipsOptions() const;
  bool Verify(std::string& fault) const;
  static std::string Output(const std::string& folder, const BenchPicture& picture);

  Setup setup_;
  std::vector<BenchPicture> pictures_;
  std::string job_;
  std::string projectFolder_;
  std::string vipsFolder_;
  std::string floorFolder_;
  const BenchTool& tool_;
};
