#include "bench/BenchJob.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "accessor/resize/ResizeEngine.h"
#include "accessor/task/K2ExifTagHelper.h"
#include "accessor/task/helpers/K2TaskHelpers.h"
#include "bench/BenchCodecFloor.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "platform/text/XpString.h"

namespace {

constexpr int32_t kFirstFolderNumber = 100;
constexpr int32_t kBaseYear = 2024;
constexpr int32_t kBaseHour = 8;
constexpr int32_t kSecondsPerMinute = 60;
constexpr int32_t kSecondsPerHour = 3600;
// The shooting date an export item would carry; the inputs have their own
// DateTimeOriginal, which must win.
const XpDateTime kItemDate(2001, 2, 3, 4, 5, 6);

bool ParseCount(const std::string& text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && last == end && value >= 0;
}

template <typename Object>
struct Releaser {
  void operator()(Object* object) const { object->Release(); }
};
using OwnedAccessor =
    std::unique_ptr<XdbAccessor::IXdbAccessor, Releaser<XdbAccessor::IXdbAccessor>>;
using OwnedAlbum = std::unique_ptr<XdbAccessor::IAlbumInfo, Releaser<XdbAccessor::IAlbumInfo>>;
using OwnedContent =
    std::unique_ptr<XdbAccessor::IContentInfo, Releaser<XdbAccessor::IContentInfo>>;

// Adds the contents first .. first + count - 1 and commits; the commit's
// result (0 done).
int32_t AddAndCommit(XdbAccessor::IXdbAccessor& accessor, const std::string& card, int32_t first,
                     int32_t count) {
  OwnedAlbum album;
  for (int32_t index = first; index < first + count; ++index) {
    if (!album || index % BenchJob::kContentsPerAlbum == 0) {
      album.reset(accessor.CreateAlbum(
          XpString::FromUtf8(BenchJob::AlbumTitle(index / BenchJob::kContentsPerAlbum))));
    }
    OwnedContent content(accessor.CreateContent(
        album.get(), XpString::FromUtf8(card + "/" + BenchJob::ContentPath(index)),
        BenchJob::ContentDate(index), 0));
  }
  return accessor.Commit();
}

}  // namespace

std::string BenchJob::ContentPath(int32_t index) {
  char path[64];
  std::snprintf(path, sizeof path, "DCIM/%03dMSDCF/DSC0%04d.JPG",
                kFirstFolderNumber + index / kContentsPerFolder, index % kContentsPerFolder + 1);
  return path;
}

std::string BenchJob::AlbumTitle(int32_t album) { return "Trip " + std::to_string(album + 1); }

XpDateTime BenchJob::ContentDate(int32_t index) {
  return XpDateTime(kBaseYear, 5, 17, kBaseHour + index / kSecondsPerHour,
                    index / kSecondsPerMinute % kSecondsPerMinute, index % kSecondsPerMinute);
}

int32_t BenchJob::Quality() { return K2ChooseJpegQuality(false); }

int BenchJob::Usage() {
  err_ << "usage: k2benchjob convert SOURCE DESTINATION [--large] [--cut]\n"
          "       k2benchjob floor SOURCE DESTINATION SCALE QUALITY\n"
          "       k2benchjob database CARD FIRST COUNT\n";
  return kUsage;
}

int BenchJob::Run(const std::vector<std::string>& arguments) {
  const std::string command = arguments.empty() ? std::string() : arguments.front();
  if (command == "convert") {
    return Convert(arguments);
  }
  if (command == "floor") {
    return Floor(arguments);
  }
  if (command == "database") {
    return Database(arguments);
  }
  return Usage();
}

int BenchJob::Convert(const std::vector<std::string>& arguments) {
  if (arguments.size() < 3) {
    return Usage();
  }
  bool large = false;
  bool cutting = false;
  for (size_t index = 3; index < arguments.size(); ++index) {
    if (arguments[index] == "--large") {
      large = true;
    } else if (arguments[index] == "--cut") {
      cutting = true;
    } else {
      return Usage();
    }
  }
  ResizeEngine engine(u"Orvane");
  static_cast<void>(engine.SetQuality(static_cast<uint32_t>(Quality())));
  engine.SetSizeMode(large ? ResizeEngine::kSizeModeLarge : ResizeEngine::kSizeModeSmall);
  engine.SetCutting(cutting);
  const K2ExifTagHelper helper;
  const XpString source = XpString::FromUtf8(arguments[1]);
  XpSharedPtr<XpTiffTagManager> tags;
  XpResult result = helper.EnsureDateTimeOriginal(source, kItemDate, tags);
  if (result == kXpOk) {
    result = engine.Convert(source, XpString::FromUtf8(arguments[2]), tags);
  }
  if (result != kXpOk) {
    err_ << "k2benchjob: " << arguments[1] << ": result " << static_cast<int32_t>(result) << "\n";
    return kFailed;
  }
  return kDone;
}

int BenchJob::Floor(const std::vector<std::string>& arguments) {
  int32_t scale = 0;
  int32_t quality = 0;
  if (arguments.size() != 5 || !ParseCount(arguments[3], scale) ||
      !ParseCount(arguments[4], quality)) {
    return Usage();
  }
  std::string error;
  if (!BenchCodecFloor::Transcode(arguments[1], scale, quality, arguments[2], error)) {
    err_ << "k2benchjob: " << error << "\n";
    return kFailed;
  }
  return kDone;
}

int BenchJob::Database(const std::vector<std::string>& arguments) {
  int32_t first = 0;
  int32_t count = 0;
  if (arguments.size() != 4 || !ParseCount(arguments[2], first) ||
      !ParseCount(arguments[3], count)) {
    return Usage();
  }
  const std::string& card = arguments[1];
  XdbAccessor::IXdbAccessor* opened = nullptr;
  const XpResult result =
      XdbAccessor::CreateDeviceXdbAccessor(&opened, XpString::FromUtf8(card + "/"));
  if (result != kXpOk || opened == nullptr) {
    err_ << "k2benchjob: " << card << ": the album database does not open: result "
         << static_cast<int32_t>(result) << "\n";
    return kFailed;
  }
  OwnedAccessor accessor(opened);
  try {
    const int32_t committed = AddAndCommit(*accessor, card, first, count);
    if (committed != 0) {
      err_ << "k2benchjob: " << card << ": commit: result " << committed << "\n";
      return kFailed;
    }
  } catch (const XdbAccessor::XdbException& thrown) {
    err_ << "k2benchjob: " << card << ": the writer raised "
         << static_cast<int32_t>(thrown.GetCode()) << "\n";
    return kFailed;
  }
  out_ << count << " contents added\n";
  return kDone;
}
