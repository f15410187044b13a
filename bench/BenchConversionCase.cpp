#include "bench/BenchConversionCase.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "accessor/resize/ResizeEngine.h"
#include "accessor/task/K2ExifTagHelper.h"
#include "bench/BenchCodecFloor.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/text/XpUtf.h"

namespace {

// The shooting date an export item would carry; the inputs have their own
// DateTimeOriginal, which must win.
const XpDateTime kItemDate(2001, 2, 3, 4, 5, 6);

XpString Xp(const std::string& utf8) { return XpString(XpUtf8ToUtf16(utf8)); }

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string SizeText(const XpSize& size) {
  return std::to_string(size.cx) + "x" + std::to_string(size.cy);
}

}  // namespace

BenchConversionCase::BenchConversionCase(Setup setup, const std::vector<BenchPicture>& pictures,
                                         const std::string& outputFolder, const BenchTool& tool)
    : setup_(std::move(setup)),
      pictures_(pictures),
      projectFolder_(outputFolder + "/project"),
      vipsFolder_(outputFolder + "/vips"),
      vipsBatchFolder_(outputFolder + "/vips-batch"),
      tool_(tool) {
  std::filesystem::create_directories(projectFolder_);
  std::filesystem::create_directories(vipsFolder_);
  std::filesystem::create_directories(vipsBatchFolder_);
}

BenchCase BenchConversionCase::MakeCase() {
  BenchCase benchCase;
  benchCase.title = setup_.title;
  benchCase.unit = "per picture";
  benchCase.perCount = static_cast<int32_t>(pictures_.size());
  benchCase.contenders.push_back(
      {"k2 ResizeEngine", [this](BenchSample& s, std::string& e) { return RunProject(s, e); }});
  benchCase.contenders.push_back(
      {"vipsthumbnail", [this](BenchSample& s, std::string& e) { return RunVips(s, e); }});
  benchCase.contenders.push_back({"vipsthumbnail, 1 process", [this](BenchSample& s, std::string& e) {
                                    return RunVipsBatch(s, e);
                                  }});
  if (setup_.withCodecFloor) {
    benchCase.contenders.push_back({"libjpeg-turbo floor", [this](BenchSample& s, std::string& e) {
                                      return RunCodecFloor(s, e);
                                    }});
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

XpSize BenchConversionCase::FitInside(int64_t width, int64_t height, const XpSize& box) {
  if (width * box.cy < height * box.cx) {
    return XpSize(static_cast<int32_t>(std::max<int64_t>(width * box.cy / height, 1)), box.cy);
  }
  return XpSize(box.cx, static_cast<int32_t>(std::max<int64_t>(height * box.cx / width, 1)));
}

std::string BenchConversionCase::ProjectOutput(const BenchPicture& picture) const {
  return projectFolder_ + "/" + FileName(picture.path);
}

std::string BenchConversionCase::VipsOutput(const BenchPicture& picture) const {
  return vipsFolder_ + "/" + FileName(picture.path);
}

bool BenchConversionCase::RunProject(BenchSample& sample, std::string& error) const {
  ResizeEngine engine(u"Orvane");
  engine.SetQuality(kProjectQuality);
  engine.SetSizeMode(setup_.size.cx == ResizeEngine::kLargeWidth ? ResizeEngine::kSizeModeLarge
                                                                 : ResizeEngine::kSizeModeSmall);
  engine.SetCutting(setup_.cutting);
  const K2ExifTagHelper helper;
  BenchPeakRss::Reset();
  const BenchStopwatch stopwatch;
  for (const BenchPicture& picture : pictures_) {
    const XpString source = Xp(picture.path);
    XpSharedPtr<XpTiffTagManager> tags;
    XpResult result = helper.EnsureDateTimeOriginal(source, kItemDate, tags);
    if (result == kXpOk) {
      result = engine.Convert(source, Xp(ProjectOutput(picture)), tags);
    }
    if (result != kXpOk) {
      error = picture.path + ": result " + std::to_string(static_cast<int32_t>(result));
      return false;
    }
  }
  sample.seconds = stopwatch.Seconds();
  sample.peakRssKb = BenchPeakRss::CurrentKb();
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
  const std::string quality = "[Q=" + std::to_string(kVipsQuality) + "]";
  const BenchStopwatch stopwatch;
  int64_t peak = -1;
  for (const BenchPicture& picture : pictures_) {
    std::vector<std::string> command = {"vipsthumbnail", picture.path};
    const std::vector<std::string> options = VipsOptions();
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {"-o", VipsOutput(picture) + quality});
    const BenchToolRun run = tool_.Run(command);
    if (!run.Succeeded()) {
      error = picture.path + ": exit code " + std::to_string(run.exitCode);
      return false;
    }
    peak = std::max(peak, run.peakRssKb);
  }
  sample.seconds = stopwatch.Seconds();
  sample.peakRssKb = peak;
  return true;
}

bool BenchConversionCase::RunVipsBatch(BenchSample& sample, std::string& error) const {
  std::vector<std::string> command = {"vipsthumbnail"};
  const std::vector<std::string> options = VipsOptions();
  command.insert(command.end(), options.begin(), options.end());
  command.insert(command.end(), {"-o", vipsBatchFolder_ + "/%s.jpg[Q=" +
                                           std::to_string(kVipsQuality) + "]"});
  for (const BenchPicture& picture : pictures_) {
    command.push_back(picture.path);
  }
  const BenchStopwatch stopwatch;
  const BenchToolRun run = tool_.Run(command);
  sample.seconds = stopwatch.Seconds();
  sample.peakRssKb = run.peakRssKb;
  if (!run.Succeeded()) {
    error = "exit code " + std::to_string(run.exitCode);
    return false;
  }
  return true;
}

bool BenchConversionCase::RunCodecFloor(BenchSample& sample, std::string& error) const {
  BenchPeakRss::Reset();
  const BenchStopwatch stopwatch;
  for (const BenchPicture& picture : pictures_) {
    size_t encodedBytes = 0;
    if (!BenchCodecFloor::Transcode(picture.path, kProjectQuality, encodedBytes, error)) {
      return false;
    }
  }
  sample.seconds = stopwatch.Seconds();
  sample.peakRssKb = BenchPeakRss::CurrentKb();
  return true;
}

bool BenchConversionCase::Verify(std::string& fault) const {
  for (const BenchPicture& picture : pictures_) {
    const std::string output = ProjectOutput(picture);
    const XpString path = Xp(output);
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
        exif->GetAsciiA(kK2TagDateTimeOriginal).View() != BenchInputs::kDateTimeOriginal) {
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
