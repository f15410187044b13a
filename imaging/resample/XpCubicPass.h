#pragma once

#include <array>
#include <cstdint>

#include "imaging/pixmap/XpPlane.h"
#include "imaging/resample/XpResampleLines.h"
#include "platform/result/XpResult.h"

// Q16 weights of the cubic Lagrange polynomials through the pixels at
// offsets -1, 0, 1 and 2, at the fraction f in [0, 1) past offset 0. Each
// is truncated as computed: a negative weight is stored as trunc(0.5 - x),
// so the four need not sum to 65536.
std::array<int32_t, 4> XpCubicWeights(double fraction);

// Enlarges along the direction, source length at least 2 and shorter than
// the target's, packed 8-bit pixels of the given channel count. Target i
// sits at i (s - 1) / (t - 1) in the source: the first and last source
// intervals are interpolated linearly, the inner ones by the cubic (clamped
// to bytes), and the last target copies the last source pixel.
// kXpErrOutOfMemory when the weight table cannot be allocated.
[[nodiscard]] XpResult XpCubicPass(const XpPlaneBase& source, const XpPlaneBase& target,
                                   int32_t channels, XpResampleDirection direction);
