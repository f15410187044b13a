#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchCase.h"
#include "bench/BenchInputs.h"
#include "bench/BenchTool.h"
#include "imaging/geometry/XpSize.h"

// The conversion of every input picture to fit a size (or, with cutting,
// to fill it and be cut to it): the project's resize engine on its full
// path as the resizing exporter drives it (the shooting date ensured in the
// tags, then read at the DCT scale the engine chooses, resized, written
// with the rebuilt Exif data and thumbnail), against vipsthumbnail run once
// per file as a user converts a picture, vipsthumbnail run once over all
// files (its start-up paid once), and optionally the codec floor of
// libjpeg-turbo at full size.
class BenchConversionCase {
 public:
  struct Setup {
    std::string title;
    // 640 x 480 or 1920 x 1080: the engine's two sizes.
    XpSize size;
    bool cutting = false;
    bool withCodecFloor = false;
  };

  // The engine's quality as the exporter sets it, and the one given to
  // vipsthumbnail.
  static constexpr int32_t kProjectQuality = 90;
  static constexpr int32_t kVipsQuality = 85;

  // outputFolder exists; the contenders write below it.
  BenchConversionCase(Setup setup, const std::vector<BenchPicture>& pictures,
                      const std::string& outputFolder, const BenchTool& tool);

  BenchCase MakeCase();

  // The size the project's output of a source must have.
  XpSize ExpectedSize(const BenchPicture& picture) const;
  // A picture of width x height scaled to fit inside box, sides truncated
  // and at least 1.
  static XpSize FitInside(int64_t width, int64_t height, const XpSize& box);

 private:
  bool RunProject(BenchSample& sample, std::string& error) const;
  bool RunVips(BenchSample& sample, std::string& error) const;
  bool RunVipsBatch(BenchSample& sample, std::string& error) const;
  // vipsthumbnail's options for the case's size and cutting.
  std::vector<std::string> VipsOptions() const;
  bool RunCodecFloor(BenchSample& sample, std::string& error) const;
  bool Verify(std::string& fault) const;
  std::string ProjectOutput(const BenchPicture& picture) const;
  std::string VipsOutput(const BenchPicture& picture) const;

  Setup setup_;
  std::vector<BenchPicture> pictures_;
  std::string projectFolder_;
  std::string vipsFolder_;
  std::string vipsBatchFolder_;
  const BenchTool& tool_;
};
