#include "imaging/resample/XpResampleTable.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>

#include "imaging/resample/XpLanczos3.h"

namespace {

constexpr int64_t kEnlargementTaps = 6;
// Three target pixels each side: 6 s / t source pixels.
constexpr int64_t kReductionSpan = 6;
constexpr int32_t kReach = 3;
constexpr double kHalfPixel = 0.5;
constexpr double kEnlargementOffset = 2.5;
constexpr double kUnit = 65536.0;
// Bounds the table so that no size computation can overflow.
constexpr int64_t kMaxEntries = std::numeric_limits<int32_t>::max();

}  // namespace

XpResult XpResampleTable::Build(int32_t sourceLength, int32_t targetLength) {
  count = 0;
  taps = 0;
  if (sourceLength < 1 || targetLength < 1) {
    return kXpErrGeneric;
  }
  const bool reduction = sourceLength > targetLength;
  const int64_t tapCount =
      reduction ? (targetLength + kReductionSpan * sourceLength - 1) / targetLength
                : kEnlargementTaps;
  const XpResult result = Reserve(targetLength, tapCount);
  if (XpFailed(result)) {
    return result;
  }
  if (reduction) {
    BuildReduction(sourceLength, targetLength);
  } else {
    BuildEnlargement(sourceLength, targetLength);
  }
  return kXpOk;
}

XpResult XpResampleTable::Reserve(int32_t targetLength, int64_t tapCount) {
  if (tapCount > kMaxEntries / targetLength) {
    return kXpErrOutOfMemory;
  }
  const size_t entries = static_cast<size_t>(targetLength) * static_cast<size_t>(tapCount);
  starts_.reset(new (std::nothrow) int64_t[static_cast<size_t>(targetLength)]);
  indices_.reset(new (std::nothrow) int32_t[entries]);
  weights_.reset(new (std::nothrow) int32_t[entries]);
  raw_.reset(new (std::nothrow) double[static_cast<size_t>(tapCount)]);
  if (!starts_ || !indices_ || !weights_ || !raw_) {
    return kXpErrOutOfMemory;
  }
  count = targetLength;
  taps = static_cast<int32_t>(tapCount);
  return kXpOk;
}

void XpResampleTable::BuildReduction(int32_t sourceLength, int32_t targetLength) {
  const double s = sourceLength;
  const double t = targetLength;
  const double inverseT = 1.0 / t;
  const double inverseS = 1.0 / s;
  for (int32_t i = 0; i < count; ++i) {
    const double from = (static_cast<double>(i - kReach) + kHalfPixel) * s * inverseT + kHalfPixel;
    const int64_t start = static_cast<int64_t>(std::floor(from));
    const double centre = static_cast<double>(i) + kHalfPixel;
    double sum = 0.0;
    for (int32_t j = 0; j < taps; ++j) {
      const double distance =
          (static_cast<double>(start + j) + kHalfPixel) * t * inverseS - centre;
      raw_[static_cast<size_t>(j)] = XpLanczos3(distance);
      sum += raw_[static_cast<size_t>(j)];
    }
    Store(i, start, sourceLength, raw_.get(), sum);
  }
}

void XpResampleTable::BuildEnlargement(int32_t sourceLength, int32_t targetLength) {
  const double s = sourceLength;
  const double inverseT = 1.0 / static_cast<double>(targetLength);
  for (int32_t i = 0; i < count; ++i) {
    const double centre = (static_cast<double>(i) + kHalfPixel) * s * inverseT;
    const int64_t start = static_cast<int64_t>(std::floor(centre - kEnlargementOffset));
    double distance = (static_cast<double>(start) + kHalfPixel) - centre;
    double sum = 0.0;
    for (int32_t j = 0; j < taps; ++j) {
      raw_[static_cast<size_t>(j)] = XpLanczos3(distance);
      sum += raw_[static_cast<size_t>(j)];
      distance = distance + 1.0;
    }
    Store(i, start, sourceLength, raw_.get(), sum);
  }
}

void XpResampleTable::Store(int32_t i, int64_t start, int32_t sourceLength, const double* raw,
                            double sum) {
  starts_[static_cast<size_t>(i)] = start;
  int32_t* indices = &indices_[Offset(i)];
  int32_t* weights = &weights_[Offset(i)];
  const double inverseSum = 1.0 / sum;
  for (int32_t j = 0; j < taps; ++j) {
    indices[j] = static_cast<int32_t>(std::clamp<int64_t>(start + j, 0, sourceLength - 1));
    // Rounds to nearest, ties to even, under the default rounding mode.
    weights[j] = static_cast<int32_t>(std::nearbyint(inverseSum * raw[j] * kUnit));
  }
}
