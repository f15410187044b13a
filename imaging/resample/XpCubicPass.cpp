#include "imaging/resample/XpCubicPass.h"

#include <cstddef>
#include <memory>
#include <new>

namespace {

constexpr double kHalfUnit = 32768.0;
constexpr double kThirdOfHalfUnit = 32768.0 / 3.0;
constexpr int32_t kRounding = 32768;
constexpr int32_t kMaxValue = 255 * 65536;
constexpr int32_t kShift = 16;

enum class Method { kLinear, kCubic, kLast };

struct Position {
  Method method;
  int32_t index;
  double fraction;
  std::array<int32_t, 4> weights;
};

// The cases follow one another as the index grows: linear across the first
// source interval, cubic across the inner ones, linear across the last, and
// the final target on the last pixel.
Method MethodAt(int32_t index, int32_t sourceLength) {
  if (index < 1) {
    return Method::kLinear;
  }
  if (index < sourceLength - 2) {
    return Method::kCubic;
  }
  if (index < sourceLength - 1) {
    return Method::kLinear;
  }
  return Method::kLast;
}

uint8_t Linear(const Position& at, int32_t here, int32_t next) {
  const double f = at.fraction;
  return static_cast<uint8_t>(next * f + here * (1.0 - f) + 0.5);
}

uint8_t Cubic(const Position& at, int32_t before, int32_t here, int32_t next, int32_t after) {
  int32_t v = kRounding + at.weights[0] * before + at.weights[1] * here + at.weights[2] * next +
              at.weights[3] * after;
  if (v < 0) {
    v = 0;
  } else if (v > kMaxValue) {
    v = kMaxValue;
  }
  return static_cast<uint8_t>(v >> kShift);
}

void FillLines(const XpLineGroup& lines, const Position* positions, int32_t targetLength) {
  for (int32_t i = 0; i < targetLength; ++i) {
    const Position& at = positions[i];
    uint8_t* out = lines.TargetAt(i);
    const uint8_t* here = lines.SourceAt(at.index);
    if (at.method == Method::kLast) {
      for (ptrdiff_t lane = 0; lane < lines.lanes; ++lane) {
        out[lane] = here[lane];
      }
      continue;
    }
    const uint8_t* next = lines.SourceAt(at.index + 1);
    if (at.method == Method::kLinear) {
      for (ptrdiff_t lane = 0; lane < lines.lanes; ++lane) {
        out[lane] = Linear(at, here[lane], next[lane]);
      }
      continue;
    }
    const uint8_t* before = lines.SourceAt(at.index - 1);
    const uint8_t* after = lines.SourceAt(at.index + 2);
    for (ptrdiff_t lane = 0; lane < lines.lanes; ++lane) {
      out[lane] = Cubic(at, before[lane], here[lane], next[lane], after[lane]);
    }
  }
}

}  // namespace

std::array<int32_t, 4> XpCubicWeights(double fraction) {
  const double u = fraction + 1.0;
  const double a = u - 1.0;
  const double b = u - 2.0;
  const double c = u - 3.0;
  const double ab = b * a;
  return {static_cast<int32_t>(0.5 - c * ab * kThirdOfHalfUnit),
          static_cast<int32_t>(c * b * u * kHalfUnit + 0.5),
          static_cast<int32_t>(0.5 - c * a * u * kHalfUnit),
          static_cast<int32_t>(ab * u * kThirdOfHalfUnit + 0.5)};
}

[[nodiscard]] XpResult XpCubicPass(const XpPlaneBase& source, const XpPlaneBase& target,
                                   int32_t channels, XpResampleDirection direction) {
  const int32_t sourceLength = XpSourceLength(source, direction);
  const int32_t targetLength = XpTargetLength(target, direction);
  if (!XpCrossLengthsAgree(source, target, direction) || sourceLength < 2 ||
      targetLength <= sourceLength) {
    return kXpErrGeneric;
  }
  std::unique_ptr<Position[]> positions(new (std::nothrow)
                                            Position[static_cast<size_t>(targetLength)]);
  if (!positions) {
    return kXpErrOutOfMemory;
  }
  const double span = static_cast<double>(targetLength - 1);
  for (int32_t i = 0; i < targetLength; ++i) {
    const double position = static_cast<double>(static_cast<int64_t>(i) * (sourceLength - 1)) / span;
    Position& at = positions[static_cast<size_t>(i)];
    at.index = static_cast<int32_t>(position);
    at.fraction = position - at.index;
    at.method = MethodAt(at.index, sourceLength);
    at.weights = XpCubicWeights(at.fraction);
  }
  XpForEachLineGroup(source, target, channels, direction, [&](const XpLineGroup& lines) {
    FillLines(lines, positions.get(), targetLength);
  });
  return kXpOk;
}
