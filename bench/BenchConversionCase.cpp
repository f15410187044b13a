#include "bench/BenchConversionCase.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "accessor/resize/ResizeEngine.h"
#include "accessor/task/K2ExifTagHelper.h"
#include "bench/BenchCodecFloor.h"
#include "bench/BenchJob.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/text/XpString.h"

namespace {

// The goals of the fit case, over the project's time.
constexpr double kPipeFloorLimit = 1.2;
constexpr double kVipsLimit = 0.6;

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string SizeText(const XpSize& size) {
  return std::to_string(size.cx) + "x" + std::to_string(size.cy);
}

void Accumulate(const BenchToolRun& run, BenchSample& sample) {
  sample.cpuSeconds += run.cpuSeconds;
  sample.peakRssKb = std::max(sample.peakRssKb, run.peakRssKb);
}

}  // namespace

BenchConversionCase::BenchConversionCase(Setup setup, const std::vector<BenchPicture>& pictures,
                                         std::string job, const std::string& outputFolder,
                                         const BenchTool& tool)
    : setup_(std::move(setup)),
      pictures_(pictures),
      job_(std::move(job)),
      projectFolder_(outputFolder + "/project"),
      vipsFolder_(outputFolder + "/vips"),
      floorFolder_(outputFolder + "/floor"),
      tool_(tool) {
  std::filesystem::create_directories(projectFolder_);
  std::filesystem::create_directories(vipsFolder_);
  std::filesystem::create_directories(floorFolder_);
}

BenchCase BenchConversionCase::MakeCase() {
  BenchCase benchCase;
  benchCase.title = setup_.title;
  benchCase.unit = "per picture";
  benchCase.perCount = static_cast<int32_t>(pictures_.size());
  benchCase.contenders.push_back(
      {"k2benchjob convert", [this](BenchSample& s, std::string& e) { return RunProject(s, e); }});
  benchCase.contenders.push_back(
      {"vipsthumbnail", [this](BenchSample& s, std::string& e) { return RunVips(s, e); }});
  if (!setup_.withCodecFloor) {
    benchCase.goals.push_back({"k2 / vipsthumbnail", BenchGoal::Measure::kWallTime, 0, 1, 0});
  } else {
    benchCase.contenders.push_back({"djpeg -scale | cjpeg", [this](BenchSample& s, std::string& e) {
                                      return RunPipeFloor(s, e);
                                    }});
    benchCase.contenders.push_back({"k2benchjob floor (libjpeg-turbo)",
                                    [this](BenchSample& s, std::string& e) {
                                      return RunJobFloor(s, e);
                                    }});
    benchCase.goals = {
        {"k2 / djpeg -scale | cjpeg", BenchGoal::Measure::kWallTime, 0, 2, kPipeFloorLimit},
        {"k2 / vipsthumbnail", BenchGoal::Measure::kWallTime, 0, 1, kVipsLimit},
        {"k2 / k2benchjob floor", BenchGoal::Measure::kWallTime, 0, 3, 0},
    };
  }
  benchCase.verify = [this](std::string& fault) { return Verify(fault); };
  return benchCase;
}

XpSize BenchConversionCase::ExpectedSize(const BenchPicture& picture) const {
  if (setup_.cutting) {
    return setup_.size;
  }
  const int64_t width = picture.width;
  const int64_t height = picture.height;
  // The large size fits a picture that is not exactly 16:9 into 2048 x 1536.
  XpSize box = setup_.size;
  if (box.cx == ResizeEngine::kLargeWidth && box.cy == ResizeEngine::kLargeHeight &&
      9 * width != 16 * height) {
    box = XpSize(ResizeEngine::kLargeFitWidth, ResizeEngine::kLargeFitHeight);
  }
  return FitInside(width, height, box);
}

int32_t BenchConversionCase::ScaleDenominator(const BenchPicture& picture) const {
  const XpSize source(picture.width, picture.height);
  const XpSize target = ResizeEngine::TargetFor(source, setup_.size, setup_.cutting);
  return ResizeEngine::ChooseScaleDenominator(source, ResizeEngine::OutputSizeFor(source, target));
}

XpSize BenchConversionCase::FitInside(int64_t width, int64_t height, const XpSize& box) {
  if (width * box.cy < height * box.cx) {
    return XpSize(static_cast<int32_t>(std::max<int64_t>(width * box.cy / height, 1)), box.cy);
  }
  return XpSize(box.cx, static_cast<int32_t>(std::max<int64_t>(height * box.cx / width, 1)));
}

std::string BenchConversionCase::VipsSaveOptions() {
  return "[Q=" + std::to_string(BenchJob::Quality()) + ",subsample-mode=on]";
}

std::string BenchConversionCase::Output(const std::string& folder, const BenchPicture& picture) {
  return folder + "/" + FileName(picture.path);
}

bool BenchConversionCase::RunProject(BenchSample& sample, std::string& error) const {
  const BenchStopwatch stopwatch;
  for (const BenchPicture& picture : pictures_) {
    std::vector<std::string> command = {job_, "convert", picture.path,
                                        Output(projectFolder_, picture)};
    if (setup_.size.cx == ResizeEngine::kLargeWidth) {
      command.emplace_back("--large");
    }
    if (setup_.cutting) {
      command.emplace_back("--cut");
    }
    const BenchToolRun run = tool_.Run(command);
    if (!run.Succeeded()) {
      error = picture.path + ": exit code " + std::to_string(run.exitCode);
      return false;
    }
    Accumulate(run, sample);
  }
  sample.seconds = stopwatch.Seconds();
  return true;
}

std::vector<std::string> BenchConversionCase::VipsOptions() const {
  std::vector<std::string> options = {"--size", SizeText(setup_.size)};
  if (setup_.cutting) {
    options.insert(options.end(), {"--smartcrop", "centre"});
  }
  return options;
}

bool BenchConversionCase::RunVips(BenchSample& sample, std::string& error) const {
  const BenchStopwatch stopwatch;
  for (const BenchPicture& picture : pictures_) {
    std::vector<std::string> command = {"vipsthumbnail", picture.path};
    const std::vector<std::string> options = VipsOptions();
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {"-o", Output(vipsFolder_, picture) + VipsSaveOptions()});
    const BenchToolRun run = tool_.Run(command);
    if (!run.Succeeded()) {
      error = picture.path + ": exit code " + std::to_string(run.exitCode);
      return false;
    }
    Accumulate(run, sample);
  }
  sample.seconds = stopwatch.Seconds();
  return true;
}

bool BenchConversionCase::RunPipeFloor(BenchSample& sample, std::string& error) const {
  const BenchStopwatch stopwatch;
  for (const BenchPicture& picture : pictures_) {
    const std::string scale = "1/" + std::to_string(ScaleDenominator(picture));
    const BenchToolRun run = tool_.RunPipe(
        {"djpeg", "-scale", scale, "-dct", "int", "-nosmooth", picture.path},
        {"cjpeg", "-quality", std::to_string(BenchJob::Quality()), "-sample",
         BenchCodecFloor::kSampling, "-dct", "int"},
        Output(floorFolder_, picture));
    if (!run.Succeeded()) {
      error = picture.path + ": exit code " + std::to_string(run.exitCode);
      return false;
    }
    Accumulate(run, sample);
  }
  sample.seconds = stopwatch.Seconds();
  return true;
}

bool BenchConversionCase::RunJobFloor(BenchSample& sample, std::string& error) const {
  const BenchStopwatch stopwatch;
  for (const BenchPicture& picture : pictures_) {
    const BenchToolRun run =
        tool_.Run({job_, "floor", picture.path, Output(floorFolder_, picture),
                   std::to_string(ScaleDenominator(picture)), std::to_string(BenchJob::Quality())});
    if (!run.Succeeded()) {
      error = picture.path + ": exit code " + std::to_string(run.exitCode);
      return false;
    }
    Accumulate(run, sample);
  }
  sample.seconds = stopwatch.Seconds();
  return true;
}

bool BenchConversionCase::Verify(std::string& fault) const {
  for (const BenchPicture& picture : pictures_) {
    const std::string output = Output(projectFolder_, picture);
    const XpString path = XpString::FromUtf8(output);
    XpImageIoJpeg reader;
    XpSize size;
    if (reader.ReadImageSizeFlag1FromPath(path, &size) != kXpOk) {
      fault = output + ": no JPEG header";
      return false;
    }
    const XpSize expected = ExpectedSize(picture);
    if (size.cx != expected.cx || size.cy != expected.cy) {
      fault = output + ": " + SizeText(size) + " instead of " + SizeText(expected);
      return false;
    }
    std::unique_ptr<XpPixmapBase> pixels(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
    if (!pixels || pixels->width != expected.cx || pixels->height != expected.cy) {
      fault = output + ": does not decode to its size";
      return false;
    }
    const XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
    const XpTiffTagIFD* exif = tags ? tags->GetExifIFD() : nullptr;
    if (exif == nullptr ||
        exif->GetAsciiA(kTagDateTimeOriginal).View() != BenchInputs::kDateTimeOriginal) {
      fault = output + ": DateTimeOriginal not kept";
      return false;
    }
    if (!FileHasThumbnailIFD(path)) {
      fault = output + ": no thumbnail IFD";
      return false;
    }
  }
  return true;
}
