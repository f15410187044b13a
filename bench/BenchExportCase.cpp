#include "bench/BenchExportCase.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <utility>

#include "accessor/resize/ResizeEngine.h"
#include "accessor/settings/K2ExportConfig.h"
#include "accessor/task/K2ExifTagHelper.h"
#include "accessor/tools/K2DemoTool.h"
#include "accessor/tools/K2HandoverTool.h"
#include "bench/BenchConversionCase.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbReader.h"
#include "camerastore/xdb/XdbException.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/registry/XpRegistry.h"
#include "platform/text/XpString.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char16_t* kSettingsVersion = u"\\1.0";
constexpr uint32_t kConversionOn = 1;
constexpr uint32_t kConversionOff = 0;
// The small size, 640 x 480, without cutting.
constexpr uint32_t kSmallSize = 0;
constexpr uint32_t kNoCutting = 0;
constexpr mode_t kPrivateFolderMode = 0700;
// The goals over the project's time.
constexpr double kCopyLimit = 1.15;
constexpr double kVipsLimit = 0.3;
// Variables of the caller that the program must not see.
constexpr const char* kDroppedPrefixes[] = {"KAVO_", "XDG_", "HOME=", "TMPDIR=", "TZ="};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string SizeText(const XpSize& size) {
  return std::to_string(size.cx) + "x" + std::to_string(size.cy);
}

bool Dropped(const char* entry) {
  return std::any_of(std::begin(kDroppedPrefixes), std::end(kDroppedPrefixes),
                     [entry](const char* prefix) {
                       return std::strncmp(entry, prefix, std::strlen(prefix)) == 0;
                     });
}

}  // namespace

BenchExportCase::BenchExportCase(Setup setup, const std::vector<BenchPicture>& pictures,
                                 std::string accessor, const std::string& folder,
                                 const BenchTool& tool)
    : setup_(std::move(setup)),
      pictures_(pictures),
      accessor_(std::move(accessor)),
      demo_(folder + "/demo"),
      copyFolder_(folder + "/cp"),
      tool_(tool) {}

BenchContender BenchExportCase::ProjectContender(const std::string& name) {
  return {name, [this](BenchSample& s, std::string& e) { return RunProject(s, e); }};
}

BenchCase BenchExportCase::MakeCase() {
  BenchCase benchCase;
  benchCase.title = setup_.title;
  benchCase.unit = "per run";
  benchCase.contenders.push_back(ProjectContender("k2 TLVK2Accessor export"));
  if (setup_.converting) {
    benchCase.contenders.push_back(
        {"vipsthumbnail, 1 process + sync",
         [this](BenchSample& s, std::string& e) { return RunVips(s, e); }});
    benchCase.goals.push_back(
        {"k2 / vipsthumbnail + sync", BenchGoal::Measure::kWallTime, 0, 1, kVipsLimit});
  } else {
    benchCase.contenders.push_back(
        {"cp + sync", [this](BenchSample& s, std::string& e) { return RunCopy(false, s, e); }});
    benchCase.contenders.push_back({"cp + sync FILES DIR", [this](BenchSample& s, std::string& e) {
                                      return RunCopy(true, s, e);
                                    }});
    benchCase.goals = {
        {"k2 / cp + sync", BenchGoal::Measure::kWallTime, 0, 1, kCopyLimit},
        {"k2 / cp + sync FILES DIR", BenchGoal::Measure::kWallTime, 0, 2, 0},
    };
  }
  benchCase.verify = [this](std::string& fault) { return Verify(fault); };
  return benchCase;
}

std::vector<std::string> BenchExportCase::DemoEnvironment() const {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!Dropped(*entry)) {
      environment.emplace_back(*entry);
    }
  }
  const std::string home = demo_ + "/home";
  environment.insert(environment.end(),
                     {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                      "XDG_DATA_HOME=" + home + "/.local/share",
                      "XDG_CACHE_HOME=" + home + "/.cache", "XDG_RUNTIME_DIR=" + demo_ + "/run",
                      "KAVO_REGISTRY_DIR=" + demo_ + "/registry", "KAVO_IPC_DIR=" + demo_ + "/ipc",
                      "KAVO_SYSROOT=" + demo_ + "/sysroot",
                      "KAVO_MACHINE_ROOT=" + demo_ + "/machine", "TMPDIR=" + demo_ + "/tmp",
                      "TZ=UTC"});
  return environment;
}

bool BenchExportCase::MakeDemo(std::string& error) const {
  std::error_code failure;
  fs::remove_all(demo_, failure);
  std::ostringstream quiet;
  std::ostringstream complaints;
  K2DemoTool demo(quiet, complaints);
  if (demo.Run({"setup", demo_}) != K2DemoTool::kDone) {
    error = "k2demo setup: " + complaints.str();
    return false;
  }
  for (const char* folder : {"/home/.config", "/home/.local/share", "/home/.cache", "/ipc",
                             "/machine", "/tmp"}) {
    fs::create_directories(demo_ + folder, failure);
  }
  fs::create_directories(demo_ + "/run", failure);
  if (failure || chmod((demo_ + "/run").c_str(), kPrivateFolderMode) != 0) {
    error = demo_ + ": the program's folders cannot be made";
    return false;
  }
  std::vector<std::string> handOver = {demo_ + "/h.xml"};
  for (const BenchPicture& picture : pictures_) {
    handOver.push_back(picture.path);
  }
  K2HandoverTool tool(quiet, complaints);
  if (tool.Run(handOver) != K2HandoverTool::kDone) {
    error = "k2handover: " + complaints.str();
    return false;
  }
  return WriteSettings(error);
}

bool BenchExportCase::WriteSettings(std::string& error) const {
  // The registry of this process is the demo's while the settings are
  // written.
  setenv("KAVO_REGISTRY_DIR", (demo_ + "/registry").c_str(), 1);
  XpRegistry user;
  XpResult result = user.Open(XpString(K2ExportConfig::kVersionKeyPath) + kSettingsVersion,
                              XpRegistry::kRootCurrentUser, XpRegistry::kAccessWrite);
  const uint32_t conversion = setup_.converting ? kConversionOn : kConversionOff;
  for (const auto& [name, value] :
       {std::pair{K2ExportConfig::kChangeImageFileSizeValue, conversion},
        std::pair{K2ExportConfig::kImageFileSizeValue, kSmallSize},
        std::pair{K2ExportConfig::kPictureCuttingValue, kNoCutting}}) {
    if (result == kXpOk) {
      result = user.SetDword(name, value);
    }
  }
  if (result == kXpOk) {
    result = user.SetString(K2ExportConfig::kTempDirValue, XpString::FromUtf8(demo_ + "/tmp"));
  }
  unsetenv("KAVO_REGISTRY_DIR");
  if (result != kXpOk) {
    error = demo_ + ": the export settings cannot be stored: result " +
            std::to_string(static_cast<int32_t>(result));
    return false;
  }
  return true;
}

bool BenchExportCase::RunProject(BenchSample& sample, std::string& error) const {
  if (!MakeDemo(error)) {
    return false;
  }
  const std::vector<std::string> environment = DemoEnvironment();
  Settle();
  const BenchStopwatch stopwatch;
  const BenchToolRun run =
      tool_.RunIn(environment, {accessor_, "-export", demo_ + "/h.xml", "--yes"});
  sample.seconds = stopwatch.Seconds();
  sample.cpuSeconds = run.cpuSeconds;
  sample.peakRssKb = run.peakRssKb;
  if (!run.Succeeded()) {
    error = accessor_ + ": exit code " + std::to_string(run.exitCode);
    return false;
  }
  return true;
}

void BenchExportCase::Settle() const { static_cast<void>(tool_.Run({"sync"})); }

bool BenchExportCase::FreshFolder(const std::string& folder, std::string& error) const {
  std::error_code failure;
  fs::remove_all(folder, failure);
  fs::create_directories(folder, failure);
  if (failure) {
    error = folder + ": cannot be made: " + failure.message();
    return false;
  }
  return true;
}

bool BenchExportCase::RunCopy(bool perFile, BenchSample& sample, std::string& error) const {
  if (!FreshFolder(copyFolder_, error)) {
    return false;
  }
  std::vector<std::string> command = {"cp"};
  std::vector<std::string> sync = {"sync"};
  for (const BenchPicture& picture : pictures_) {
    command.push_back(picture.path);
    if (perFile) {
      sync.push_back(copyFolder_ + "/" + fs::path(picture.path).filename().string());
    }
  }
  command.push_back(copyFolder_ + "/");
  if (perFile) {
    sync.push_back(copyFolder_);
  }
  Settle();
  const BenchStopwatch stopwatch;
  const BenchToolRun copy = tool_.Run(command);
  const BenchToolRun synced = copy.Succeeded() ? tool_.Run(sync) : BenchToolRun();
  sample.seconds = stopwatch.Seconds();
  sample.cpuSeconds = copy.cpuSeconds + synced.cpuSeconds;
  sample.peakRssKb = std::max(copy.peakRssKb, synced.peakRssKb);
  if (!synced.Succeeded()) {
    error = "cp or sync failed, exit code " +
            std::to_string(copy.Succeeded() ? synced.exitCode : copy.exitCode);
    return false;
  }
  return true;
}

bool BenchExportCase::RunVips(BenchSample& sample, std::string& error) const {
  if (!FreshFolder(copyFolder_, error)) {
    return false;
  }
  std::vector<std::string> command = {
      "vipsthumbnail", "--size",
      SizeText(XpSize(ResizeEngine::kSmallWidth, ResizeEngine::kSmallHeight)), "-o",
      copyFolder_ + "/%s.jpg" + BenchConversionCase::VipsSaveOptions()};
  for (const BenchPicture& picture : pictures_) {
    command.push_back(picture.path);
  }
  Settle();
  const BenchStopwatch stopwatch;
  const BenchToolRun convert = tool_.Run(command);
  const BenchToolRun synced = convert.Succeeded() ? tool_.Run({"sync"}) : BenchToolRun();
  sample.seconds = stopwatch.Seconds();
  sample.cpuSeconds = convert.cpuSeconds + synced.cpuSeconds;
  sample.peakRssKb = std::max(convert.peakRssKb, synced.peakRssKb);
  if (!synced.Succeeded()) {
    error = "vipsthumbnail or sync failed, exit code " +
            std::to_string(convert.Succeeded() ? synced.exitCode : convert.exitCode);
    return false;
  }
  return true;
}

std::vector<std::string> BenchExportCase::ExportedFiles() const {
  std::vector<std::string> files;
  std::error_code failure;
  for (auto it = fs::recursive_directory_iterator(demo_ + "/cam/DCIM", failure);
       !failure && it != fs::recursive_directory_iterator(); it.increment(failure)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file() && name.rfind(kCameraPicturePrefix, 0) != 0) {
      files.push_back(it->path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool BenchExportCase::Verify(std::string& fault) const {
  const std::vector<std::string> exported = ExportedFiles();
  if (exported.size() != pictures_.size()) {
    fault = demo_ + "/cam: " + std::to_string(exported.size()) + " exported files instead of " +
            std::to_string(pictures_.size());
    return false;
  }
  const bool filesRight = setup_.converting ? VerifyConversions(exported, fault)
                                            : VerifyCopies(exported, fault);
  return filesRight && VerifyDatabase(fault);
}

bool BenchExportCase::VerifyCopies(const std::vector<std::string>& exported,
                                   std::string& fault) const {
  // Each input must lie on the camera byte for byte, once.
  std::vector<std::pair<size_t, std::string>> left;
  for (const std::string& path : exported) {
    const std::string bytes = ReadBytes(path);
    left.emplace_back(std::hash<std::string>()(bytes), path);
  }
  for (const BenchPicture& picture : pictures_) {
    const std::string bytes = ReadBytes(picture.path);
    const size_t hash = std::hash<std::string>()(bytes);
    const auto match = std::find_if(left.begin(), left.end(), [&](const auto& entry) {
      return entry.first == hash && ReadBytes(entry.second) == bytes;
    });
    if (match == left.end()) {
      fault = picture.path + ": no byte-identical copy on the camera";
      return false;
    }
    left.erase(match);
  }
  return true;
}

bool BenchExportCase::VerifyConversions(const std::vector<std::string>& exported,
                                        std::string& fault) const {
  std::vector<std::pair<int32_t, int32_t>> expected;
  for (const BenchPicture& picture : pictures_) {
    const XpSize size = BenchConversionCase::FitInside(
        picture.width, picture.height, XpSize(ResizeEngine::kSmallWidth, ResizeEngine::kSmallHeight));
    expected.emplace_back(size.cx, size.cy);
  }
  std::vector<std::pair<int32_t, int32_t>> found;
  for (const std::string& output : exported) {
    const XpString path = XpString::FromUtf8(output);
    XpImageIoJpeg reader;
    std::unique_ptr<XpPixmapBase> pixels(reader.ReadPixmapFromPath(path, 1, nullptr, false, false));
    if (!pixels) {
      fault = output + ": does not decode";
      return false;
    }
    const XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
    const XpTiffTagIFD* exif = tags ? tags->GetExifIFD() : nullptr;
    if (exif == nullptr ||
        exif->GetAsciiA(kTagDateTimeOriginal).View() != BenchInputs::kDateTimeOriginal) {
      fault = output + ": DateTimeOriginal not kept";
      return false;
    }
    found.emplace_back(pixels->width, pixels->height);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  if (found != expected) {
    fault = demo_ + "/cam: the exported pictures do not have the sizes that fit " +
            SizeText(XpSize(ResizeEngine::kSmallWidth, ResizeEngine::kSmallHeight));
    return false;
  }
  return true;
}

bool BenchExportCase::VerifyDatabase(std::string& fault) const {
  XdbAccessor::IXdbReader* opened = nullptr;
  const XpResult result =
      XdbAccessor::CreateXdbReader(&opened, XpString::FromUtf8(demo_ + "/cam/"));
  if (result != kXpOk || opened == nullptr) {
    fault = demo_ + "/cam: the album database does not open: result " +
            std::to_string(static_cast<int32_t>(result));
    return false;
  }
  std::unique_ptr<XdbAccessor::IXdbReader, void (*)(XdbAccessor::IXdbReader*)> reader(
      opened, [](XdbAccessor::IXdbReader* object) { object->Release(); });
  try {
    std::unique_ptr<XdbAccessor::IContentList> contents(reader->GetAllContents());
    const int32_t count = contents ? contents->GetCount() : 0;
    if (count != static_cast<int32_t>(pictures_.size())) {
      fault = demo_ + "/cam: the album database reads back " + std::to_string(count) +
              " contents";
      return false;
    }
  } catch (const XdbAccessor::XdbException& thrown) {
    fault = demo_ + "/cam: reading back raised " + std::to_string(static_cast<int32_t>(thrown.GetCode()));
    return false;
  }
  return true;
}
