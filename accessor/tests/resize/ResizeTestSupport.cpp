#include "accessor/tests/resize/ResizeTestSupport.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/text/XpUtf.h"

namespace resizetest {

namespace {

constexpr auto kArrivalGuard = std::chrono::seconds(30);
constexpr uint8_t kRed = 96;
constexpr int32_t kFullChannel = 255;

}  // namespace

XpString Text(const std::string& utf8) { return XpString(XpUtf8ToUtf16(utf8)); }

namespace {

// A gradient: blue follows x, green follows y.
bool FillGradient(XpPixmapBGR24NoHandle& pixmap, int32_t width, int32_t height) {
  if (pixmap.Allocate(width, height) != kXpOk) {
    return false;
  }
  const XpPlaneBase* plane = pixmap.GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixel = plane->Row(y);
    for (int32_t x = 0; x < width; ++x, pixel += 3) {
      pixel[0] = static_cast<uint8_t>(x * kFullChannel / std::max(width - 1, 1));
      pixel[1] = static_cast<uint8_t>(y * kFullChannel / std::max(height - 1, 1));
      pixel[2] = kRed;
    }
  }
  return true;
}

}  // namespace

bool WriteGradientJpeg(const std::string& path, int32_t width, int32_t height,
                       XpSharedPtr<XpTiffTagManager> tags) {
  XpPixmapBGR24NoHandle pixmap;
  if (!FillGradient(pixmap, width, height)) {
    return false;
  }
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"Kavo resize test");
  return writer.WriteToPath(&pixmap, tags, Text(path), nullptr, XpRect(), false, false) == kXpOk;
}

bool WritePlainGradientJpeg(const std::string& path, int32_t width, int32_t height) {
  XpPixmapBGR24NoHandle pixmap;
  XpMemoryFile memory;
  XpImageIoJpeg writer;
  if (!FillGradient(pixmap, width, height) || memory.Open(kXpOpenReadWrite) != kXpOk ||
      writer.EncodePlain(&pixmap, memory, XpImageIoJpeg::kDefaultQuality) != kXpOk) {
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(memory.GetBuffer()),
            static_cast<std::streamsize>(memory.GetDataSize()));
  return static_cast<bool>(out);
}

XpSize JpegSize(const std::string& path) {
  XpImageIoJpeg reader;
  XpSize size;
  if (reader.ReadImageSizeFlag1FromPath(Text(path), &size) != kXpOk) {
    return XpSize();
  }
  return size;
}

void DecodeGate::ArriveAndWait() {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return released_; });
}

bool DecodeGate::WaitForArrival() {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kArrivalGuard, [this] { return arrived_; });
}

void DecodeGate::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

XpPixmapBase* RecordingReader::ReadPixmapFromPath(const XpString& path, int32_t scale,
                                                  IXpImageProgress* observer, bool convertToSRGB,
                                                  bool applyOrientation) {
  scales.push_back(scale);
  if (gate != nullptr) {
    gate->ArriveAndWait();
  }
  XpPixmapBase* pixmap =
      XpImageIoJpeg::ReadPixmapFromPath(path, scale, observer, convertToSRGB, applyOrientation);
  if (pixmap != nullptr) {
    decodedSizes.emplace_back(pixmap->width, pixmap->height);
  }
  if (afterDecode) {
    afterDecode();
  }
  return pixmap;
}

}  // namespace resizetest
