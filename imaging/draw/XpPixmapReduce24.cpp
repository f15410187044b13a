#include "imaging/draw/XpPixmapReduce24.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <new>

#include "imaging/resample/XpPackedPixmap.h"

namespace {

constexpr int32_t kSmallestFactor = 2;
constexpr int32_t kLargestFactor = 16;

bool IsFactor(int32_t factor) {
  return factor >= kSmallestFactor && factor <= kLargestFactor &&
         std::has_single_bit(static_cast<uint32_t>(factor));
}

int32_t CeilDiv(int32_t value, int32_t divisor) {
  return static_cast<int32_t>((static_cast<int64_t>(value) + divisor - 1) / divisor);
}

// Reduces the source rows of destination row y: sums first, then the
// averages.
void ReduceRow(const XpPlaneBase& source, const XpPlaneBase& target, int32_t y, int32_t factor,
               uint32_t* sums) {
  const int32_t firstRow = y * factor;
  const int32_t rows = std::min(factor, source.height - firstRow);
  const size_t sumCount = static_cast<size_t>(target.width) * kXpBgrChannels;
  std::fill(sums, sums + sumCount, 0u);
  for (int32_t row = firstRow; row < firstRow + rows; ++row) {
    const uint8_t* pixel = source.Row(row);
    for (int32_t x = 0; x < source.width; ++x) {
      uint32_t* sum = sums + static_cast<size_t>(x / factor) * kXpBgrChannels;
      for (int32_t c = 0; c < kXpBgrChannels; ++c) {
        sum[c] += pixel[c];
      }
      pixel += kXpBgrChannels;
    }
  }
  const int fullShift = 2 * std::countr_zero(static_cast<uint32_t>(factor));
  uint8_t* out = target.Row(y);
  for (int32_t x = 0; x < target.width; ++x) {
    const int32_t columns = std::min(factor, source.width - x * factor);
    const bool full = rows == factor && columns == factor;
    const auto count = static_cast<uint32_t>(rows * columns);
    const uint32_t* sum = sums + static_cast<size_t>(x) * kXpBgrChannels;
    for (int32_t c = 0; c < kXpBgrChannels; ++c) {
      out[c] = static_cast<uint8_t>(full ? sum[c] >> fullShift : sum[c] / count);
    }
    out += kXpBgrChannels;
  }
}

}  // namespace

[[nodiscard]] XpResult XpPixmapReduce24(const XpPixmapBase& source, XpPixmapBase& destination,
                                        int32_t factor) {
  if (!IsFactor(factor) || &source == &destination || !source.IsAllocated() ||
      XpPackedChannelCount(source) != kXpBgrChannels ||
      XpPackedChannelCount(destination) != kXpBgrChannels) {
    return kXpErrGeneric;
  }
  const XpResult result =
      destination.Allocate(CeilDiv(source.width, factor), CeilDiv(source.height, factor));
  if (XpFailed(result)) {
    return result;
  }
  const XpPlaneBase& from = *source.GetPlane(0);
  const XpPlaneBase& to = *destination.GetPlane(0);
  const size_t sumCount = static_cast<size_t>(to.width) * kXpBgrChannels;
  const std::unique_ptr<uint32_t[]> sums(new (std::nothrow) uint32_t[sumCount]);
  if (!sums) {
    destination.Free();
    return kXpErrOutOfMemory;
  }
  for (int32_t y = 0; y < to.height; ++y) {
    ReduceRow(from, to, y, factor, sums.get());
  }
  return kXpOk;
}
