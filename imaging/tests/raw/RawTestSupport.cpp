#include "imaging/tests/raw/RawTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <sstream>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPlane.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr int32_t kBytesPerPixel = 3;

const uint8_t* PixelAt(const XpPixmapBase& pixmap, int32_t x, int32_t y) {
  return pixmap.GetPlane(0)->Row(y) + static_cast<size_t>(x) * kBytesPerPixel;
}

}  // namespace

XpString WriteRawFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  WriteBytes(path, bytes);
  return PathText(path);
}

std::unique_ptr<XpPixmapBase> DecodePreviewBytes(const std::vector<uint8_t>& jpeg) {
  std::vector<uint8_t> copy = jpeg;
  XpMemoryFile file(copy.data(), copy.size(), false);
  XpImageIoJpeg reader;
  return std::unique_ptr<XpPixmapBase>(reader.ReadPixmap(file, 0, 1, nullptr, true, true));
}

bool EqualsRegion(const XpPixmapBase& shown, const XpPixmapBase& source, int32_t left,
                  int32_t top) {
  if (left + shown.width > source.width || top + shown.height > source.height) {
    return false;
  }
  for (int32_t y = 0; y < shown.height; ++y) {
    if (std::memcmp(PixelAt(shown, 0, y), PixelAt(source, left, top + y),
                    static_cast<size_t>(shown.width) * kBytesPerPixel) != 0) {
      return false;
    }
  }
  return true;
}

bool IsQuarterTurnOf(const XpPixmapBase& turned, const XpPixmapBase& source) {
  if (turned.width != source.height || turned.height != source.width) {
    return false;
  }
  for (int32_t y = 0; y < source.height; ++y) {
    for (int32_t x = 0; x < source.width; ++x) {
      const uint8_t* from = PixelAt(source, x, y);
      const uint8_t* to = PixelAt(turned, source.height - 1 - y, x);
      if (std::memcmp(from, to, kBytesPerPixel) != 0) {
        return false;
      }
    }
  }
  return true;
}

double SecondsFromNow(const std::string& text) {
  std::tm parts{};
  std::istringstream in(text);
  in >> std::get_time(&parts, "%Y:%m:%d %H:%M:%S");
  if (in.fail()) {
    return 1e9;
  }
  return std::fabs(std::difftime(timegm(&parts), std::time(nullptr)));
}

std::vector<size_t> ChangedPositions(const std::vector<uint8_t>& before,
                                     const std::vector<uint8_t>& after) {
  std::vector<size_t> changed;
  const size_t length = std::min(before.size(), after.size());
  for (size_t index = 0; index < length; ++index) {
    if (before[index] != after[index]) {
      changed.push_back(index);
    }
  }
  return changed;
}

size_t FindText(const std::vector<uint8_t>& bytes, const std::string& text) {
  const auto found = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
  return found == bytes.end() ? std::string::npos : static_cast<size_t>(found - bytes.begin());
}
