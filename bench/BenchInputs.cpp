#include "bench/BenchInputs.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "accessor/task/K2ExifTagHelper.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr uint16_t kOrientationUpright = 1;
constexpr int32_t kFullLongSide = 4000;
constexpr int32_t kFullShortSide = 3000;
constexpr int32_t kQuickLongSide = 2000;
constexpr int32_t kQuickShortSide = 1500;
constexpr int32_t kSmallLongSide = 1280;
constexpr int32_t kSmallShortSide = 960;
constexpr int32_t kFullCount = 200;
constexpr int32_t kQuickCount = 30;
constexpr int32_t kSmallCount = 3;
constexpr unsigned kMaxPainters = 8;
constexpr int32_t kLargeQuality = 90;
constexpr int32_t kDiscCount = 6;
// Noise of -kNoiseHalf .. kNoiseHalf - 1 on every channel.
constexpr int32_t kNoiseHalf = 8;
constexpr int32_t kNoiseMask = 2 * kNoiseHalf - 1;
constexpr int32_t kChannelMax = 255;
constexpr uint32_t kSeedMultiplier = 2654435761u;

// A small fast generator for the noise and the shapes.
class XorShift {
 public:
  explicit XorShift(uint32_t seed) : state_(seed == 0 ? 1u : seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int32_t Below(int32_t limit) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(limit)); }

 private:
  uint32_t state_;
};

// A disc of flat colour with a hard edge.
struct Disc {
  int32_t x = 0;
  int32_t y = 0;
  int32_t radius = 0;
  uint8_t colour[3] = {};
};

uint8_t Clamp(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, kChannelMax)); }

std::vector<Disc> MakeDiscs(XorShift& random, int32_t width, int32_t height) {
  std::vector<Disc> discs(kDiscCount);
  const int32_t shortSide = std::min(width, height);
  for (Disc& disc : discs) {
    disc.x = random.Below(width);
    disc.y = random.Below(height);
    disc.radius = shortSide / 16 + random.Below(std::max(shortSide / 6, 1));
    for (uint8_t& channel : disc.colour) {
      channel = static_cast<uint8_t>(random.Below(kChannelMax + 1));
    }
  }
  return discs;
}

const Disc* DiscAt(const std::vector<Disc>& discs, int32_t x, int32_t y) {
  for (const Disc& disc : discs) {
    const int64_t dx = x - disc.x;
    const int64_t dy = y - disc.y;
    if (dx * dx + dy * dy <= int64_t{disc.radius} * disc.radius) {
      return &disc;
    }
  }
  return nullptr;
}

// Gradient, stripes in the lower third, discs, and noise over everything.
void Paint(XpPixmapBase& pixmap, uint32_t seed) {
  XorShift random(seed * kSeedMultiplier);
  const int32_t width = pixmap.width;
  const int32_t height = pixmap.height;
  const std::vector<Disc> discs = MakeDiscs(random, width, height);
  const int32_t stripeTop = height * 2 / 3;
  const int32_t stripeWidth = std::max(width / 97, 2);
  const XpPlaneBase* plane = pixmap.GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixel = plane->Row(y);
    for (int32_t x = 0; x < width; ++x, pixel += 3) {
      int32_t blue = 40 + x * 180 / width;
      int32_t green = 50 + y * 160 / height;
      int32_t red = 60 + (x + y) * 140 / (width + height);
      if (y >= stripeTop && (x / stripeWidth) % 2 == 0) {
        blue = kChannelMax - blue;
        red = kChannelMax - red;
      }
      if (const Disc* disc = DiscAt(discs, x, y)) {
        blue = disc->colour[0];
        green = disc->colour[1];
        red = disc->colour[2];
      }
      const uint32_t noise = random.Next();
      pixel[0] = Clamp(blue + static_cast<int32_t>(noise & kNoiseMask) - kNoiseHalf);
      pixel[1] = Clamp(green + static_cast<int32_t>((noise >> 8) & kNoiseMask) - kNoiseHalf);
      pixel[2] = Clamp(red + static_cast<int32_t>((noise >> 16) & kNoiseMask) - kNoiseHalf);
    }
  }
}

XpSharedPtr<XpTiffTagManager> InputTags() {
  XpSharedPtr<XpTiffTagManager> tags = NewTagManager();
  XpTiffTagIFD* exif = GetOrCreateExifIFD(tags);
  if (exif == nullptr || tags->GetIFD(0) == nullptr) {
    return XpSharedPtr<XpTiffTagManager>();
  }
  exif->SetAscii(kTagDateTimeOriginal, BenchInputs::kDateTimeOriginal);
  tags->GetIFD(0)->SetShort(kTagOrientation, kOrientationUpright);
  return tags;
}

}  // namespace

BenchInputs::Set BenchInputs::Full() {
  return Set{30, 10, kFullLongSide, kFullShortSide, kFullCount};
}

BenchInputs::Set BenchInputs::Quick() {
  return Set{4, 2, kQuickLongSide, kQuickShortSide, kQuickCount};
}

BenchInputs::Set BenchInputs::Small() {
  return Set{2, 1, kSmallLongSide, kSmallShortSide, kSmallCount};
}

bool BenchInputs::MakePicture(const BenchPicture& picture, uint32_t seed) {
  XpPixmapBGR24NoHandle pixmap;
  if (pixmap.Allocate(picture.width, picture.height) != kXpOk) {
    return false;
  }
  Paint(pixmap, seed);
  XpSharedPtr<XpTiffTagManager> tags = InputTags();
  if (!tags) {
    return false;
  }
  XpImageIoJpeg writer(kQuality, u"k2bench");
  const XpString path(XpUtf8ToUtf16(picture.path));
  return writer.WriteToPath(&pixmap, tags, path, nullptr, XpRect(), false, false) == kXpOk;
}

bool BenchInputs::Make(const Set& set, const std::string& folder,
                       std::vector<BenchPicture>& pictures, std::string& error) {
  const int32_t distinct = set.landscapeCount + set.portraitCount;
  const int32_t total = std::max(set.count, distinct);
  pictures.clear();
  for (int32_t index = 0; index < total; ++index) {
    const bool portrait = index % distinct >= set.landscapeCount;
    char name[32];
    std::snprintf(name, sizeof name, "/IMG_%04d.JPG", index + 1);
    BenchPicture picture;
    picture.path = folder + name;
    picture.width = portrait ? set.shortSide : set.longSide;
    picture.height = portrait ? set.longSide : set.shortSide;
    pictures.push_back(picture);
  }
  // The distinct pictures, painted and written on several threads.
  std::atomic<int32_t> next{0};
  std::atomic<int32_t> failed{-1};
  const auto paint = [&] {
    for (int32_t index = next++; index < distinct; index = next++) {
      if (!MakePicture(pictures[index], static_cast<uint32_t>(index + 1))) {
        failed = index;
      }
    }
  };
  const unsigned painters = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxPainters);
  std::vector<std::thread> threads;
  for (unsigned thread = 0; thread < painters; ++thread) {
    threads.emplace_back(paint);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  if (failed >= 0) {
    error = pictures[failed].path;
    return false;
  }
  for (int32_t index = distinct; index < total; ++index) {
    std::error_code failure;
    std::filesystem::copy_file(pictures[index % distinct].path, pictures[index].path,
                               std::filesystem::copy_options::overwrite_existing, failure);
    if (failure) {
      error = pictures[index].path;
      return false;
    }
  }
  return true;
}

bool BenchInputs::MakeLarge(const BenchPicture& source, BenchPicture& picture, int32_t side,
                            const BenchTool& tool) {
  const double across = static_cast<double>(side) / source.width;
  const double down = static_cast<double>(side) / source.height;
  const BenchToolRun run =
      tool.Run({"vips", "resize", source.path,
                picture.path + "[Q=" + std::to_string(kLargeQuality) + "]", std::to_string(across),
                "--vscale", std::to_string(down)});
  if (!run.Succeeded()) {
    return false;
  }
  XpImageIoJpeg reader;
  XpSize size;
  if (reader.ReadImageSizeFlag1FromPath(XpString(XpUtf8ToUtf16(picture.path)), &size) != kXpOk) {
    return false;
  }
  picture.width = size.cx;
  picture.height = size.cy;
  return true;
}
