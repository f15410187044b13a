#include "imaging/draw/XpPixmapScale.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/draw/XpPixmapCopyRect24.h"
#include "imaging/resample/XpPackedPixmap.h"

namespace {

constexpr int kNearestFractionBits = 16;
constexpr int kBilinearFractionBits = 11;
constexpr int64_t kBilinearOne = int64_t{1} << kBilinearFractionBits;
constexpr int64_t kBilinearFractionMask = kBilinearOne - 1;
// Rounds the bilinear positions a little towards the next pixel.
constexpr int64_t kBilinearOffset = 5;
// Two 11-bit weights multiplied.
constexpr int kBilinearShift = 2 * kBilinearFractionBits;

bool IsBgr(const XpPixmapBase& pixmap) {
  return pixmap.IsAllocated() && XpPackedChannelCount(pixmap) == kXpBgrChannels;
}

// The arguments of one scaled copy.
struct Scale {
  int64_t dx;
  int64_t dy;
  int64_t dw;
  int64_t dh;
  int64_t sx;
  int64_t sy;
  int64_t sw;
  int64_t sh;
};

// The destination pixels a scaled copy writes, right and bottom exclusive.
struct Area {
  int64_t left;
  int64_t top;
  int64_t right;
  int64_t bottom;
};

// One axis: the destination span inside the destination pixmap, cut to
// where the source span inside the source pixmap maps. All 64-bit: the
// products of a 32-bit offset and a 32-bit size need it.
bool ClipAxis(int64_t d, int64_t dLength, int64_t dLimit, int64_t s, int64_t sLength,
              int64_t sLimit, int64_t& first, int64_t& last) {
  const int64_t sFirst = std::max<int64_t>(s, 0);
  const int64_t sLast = std::min<int64_t>(s + sLength, sLimit);
  if (sFirst >= sLast) {
    return false;
  }
  const int64_t mappedFirst = (sFirst - s) * dLength / sLength + d;
  const int64_t mappedLast = (sLast - s) * dLength / sLength + d;
  first = std::max({d, int64_t{0}, mappedFirst});
  last = std::min({d + dLength, dLimit, mappedLast});
  return first < last;
}

bool ClipScale(const XpPixmapBase& destination, const XpPixmapBase& source, const Scale& scale,
               Area& area) {
  return ClipAxis(scale.dx, scale.dw, destination.width, scale.sx, scale.sw, source.width,
                  area.left, area.right) &&
         ClipAxis(scale.dy, scale.dh, destination.height, scale.sy, scale.sh, source.height,
                  area.top, area.bottom);
}

// Runs copy(destination, source, scale, area) after the common checks;
// equal sizes go to the block copy.
template <typename Copy>
void ScaledCopy(XpPixmapBase& destination, const XpPixmapBase& source, const Scale& scale,
                Copy copy) {
  if (scale.dw < 1 || scale.dh < 1 || scale.sw < 1 || scale.sh < 1) {
    return;
  }
  if (!IsBgr(destination) || !IsBgr(source)) {
    return;
  }
  if (scale.dw == scale.sw && scale.dh == scale.sh) {
    XpPixmapCopyRect24(destination, static_cast<int32_t>(scale.dx), static_cast<int32_t>(scale.dy),
                       static_cast<int32_t>(scale.dw), static_cast<int32_t>(scale.dh), source,
                       static_cast<int32_t>(scale.sx), static_cast<int32_t>(scale.sy));
    return;
  }
  Area area{};
  if (!ClipScale(destination, source, scale, area)) {
    return;
  }
  copy(*destination.GetPlane(0), *source.GetPlane(0), scale, area);
}

int64_t Clamp(int64_t value, int64_t low, int64_t high) { return std::min(std::max(value, low), high); }

// The source column or row of each destination one, kept inside the source.
std::unique_ptr<int32_t[]> NearestTable(int64_t first, int64_t last, int64_t d, int64_t s,
                                        int64_t step, int64_t limit) {
  std::unique_ptr<int32_t[]> table(new (std::nothrow) int32_t[static_cast<size_t>(last - first)]);
  if (!table) {
    return table;
  }
  for (int64_t i = first; i < last; ++i) {
    const int64_t position = s + (((i - d) * step) >> kNearestFractionBits);
    table[static_cast<size_t>(i - first)] = static_cast<int32_t>(Clamp(position, 0, limit - 1));
  }
  return table;
}

void NearestCopy(const XpPlaneBase& target, const XpPlaneBase& source, const Scale& scale,
                 const Area& area) {
  const int64_t stepX = (scale.sw << kNearestFractionBits) / scale.dw;
  const int64_t stepY = (scale.sh << kNearestFractionBits) / scale.dh;
  const std::unique_ptr<int32_t[]> columns =
      NearestTable(area.left, area.right, scale.dx, scale.sx, stepX, source.width);
  const std::unique_ptr<int32_t[]> rows =
      NearestTable(area.top, area.bottom, scale.dy, scale.sy, stepY, source.height);
  if (!columns || !rows) {
    return;
  }
  const int64_t width = area.right - area.left;
  for (int64_t y = area.top; y < area.bottom; ++y) {
    const uint8_t* from = source.Row(rows[static_cast<size_t>(y - area.top)]);
    uint8_t* to = target.Row(static_cast<int32_t>(y)) + static_cast<size_t>(area.left) * kXpBgrChannels;
    for (int64_t i = 0; i < width; ++i) {
      std::memcpy(to, from + static_cast<size_t>(columns[static_cast<size_t>(i)]) * kXpBgrChannels,
                  kXpBgrChannels);
      to += kXpBgrChannels;
    }
  }
}

// One bilinear tap pair: the pixel, the next one, and the weight of the
// next one (of kBilinearOne).
struct Tap {
  int32_t first;
  int32_t second;
  uint32_t weight;
};

std::unique_ptr<Tap[]> BilinearTable(int64_t first, int64_t last, int64_t d, int64_t s,
                                     int64_t step, int64_t limit) {
  std::unique_ptr<Tap[]> table(new (std::nothrow) Tap[static_cast<size_t>(last - first)]);
  if (!table) {
    return table;
  }
  for (int64_t i = first; i < last; ++i) {
    const int64_t position = (i - d) * step + kBilinearOffset;
    int64_t pixel = s + (position >> kBilinearFractionBits);
    int64_t weight = position & kBilinearFractionMask;
    if (pixel < 0) {
      pixel = 0;
      weight = 0;
    } else if (pixel > limit - 2) {
      pixel = limit - 2;
      weight = kBilinearFractionMask;
    }
    // A source one pixel across has no second tap: both read pixel 0.
    pixel = std::max<int64_t>(pixel, 0);
    const int64_t next = std::min(pixel + 1, limit - 1);
    table[static_cast<size_t>(i - first)] = Tap{static_cast<int32_t>(pixel),
                                                 static_cast<int32_t>(next),
                                                 static_cast<uint32_t>(weight)};
  }
  return table;
}

void BilinearCopy(const XpPlaneBase& target, const XpPlaneBase& source, const Scale& scale,
                  const Area& area) {
  const int64_t stepX = (scale.sw << kBilinearFractionBits) / scale.dw;
  const int64_t stepY = (scale.sh << kBilinearFractionBits) / scale.dh;
  const std::unique_ptr<Tap[]> columns =
      BilinearTable(area.left, area.right, scale.dx, scale.sx, stepX, source.width);
  const std::unique_ptr<Tap[]> rows =
      BilinearTable(area.top, area.bottom, scale.dy, scale.sy, stepY, source.height);
  if (!columns || !rows) {
    return;
  }
  const auto one = static_cast<uint32_t>(kBilinearOne);
  const int64_t width = area.right - area.left;
  for (int64_t y = area.top; y < area.bottom; ++y) {
    const Tap& row = rows[static_cast<size_t>(y - area.top)];
    const uint8_t* upper = source.Row(row.first);
    const uint8_t* lower = source.Row(row.second);
    const uint32_t upperWeight = one - row.weight;
    const uint32_t lowerWeight = row.weight;
    uint8_t* to = target.Row(static_cast<int32_t>(y)) + static_cast<size_t>(area.left) * kXpBgrChannels;
    for (int64_t i = 0; i < width; ++i) {
      const Tap& column = columns[static_cast<size_t>(i)];
      const size_t left = static_cast<size_t>(column.first) * kXpBgrChannels;
      const size_t right = static_cast<size_t>(column.second) * kXpBgrChannels;
      const uint32_t leftWeight = one - column.weight;
      const uint32_t rightWeight = column.weight;
      for (int32_t c = 0; c < kXpBgrChannels; ++c) {
        const uint32_t top = upper[left + c] * leftWeight + upper[right + c] * rightWeight;
        const uint32_t bottom = lower[left + c] * leftWeight + lower[right + c] * rightWeight;
        to[c] = static_cast<uint8_t>((top * upperWeight + bottom * lowerWeight) >> kBilinearShift);
      }
      to += kXpBgrChannels;
    }
  }
}

}  // namespace

void XpPixmapScaleNearest24(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t dw,
                            int32_t dh, const XpPixmapBase& source, int32_t sx, int32_t sy,
                            int32_t sw, int32_t sh) {
  ScaledCopy(destination, source, Scale{dx, dy, dw, dh, sx, sy, sw, sh}, NearestCopy);
}

void XpPixmapScaleBilinear24(XpPixmapBase& destination, int32_t dx, int32_t dy, int32_t dw,
                             int32_t dh, const XpPixmapBase& source, int32_t sx, int32_t sy,
                             int32_t sw, int32_t sh) {
  ScaledCopy(destination, source, Scale{dx, dy, dw, dh, sx, sy, sw, sh}, BilinearCopy);
}
