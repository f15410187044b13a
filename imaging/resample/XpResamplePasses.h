#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPlane.h"
#include "imaging/resample/XpResampleLines.h"
#include "platform/result/XpResult.h"

// The exact passes of the resize over packed 8-bit pixels (BGR 24-bit or
// BGRA 32-bit, given by the channel count). Every channel is treated alike.
// Source and target are allocated planes; along the other direction they
// must have the same length. Each pass answers kXpErrGeneric, writing
// nothing, for lengths it does not handle.

// Target (x, y) = floor(mean of the factor x factor source block at
// (factor x, factor y)), per channel. The source is factor times the target.
[[nodiscard]] XpResult XpBoxAverage(const XpPlaneBase& source, const XpPlaneBase& target,
                                    int32_t channels, int32_t factor);

// Equal lengths: every line is copied.
[[nodiscard]] XpResult XpCopyPass(const XpPlaneBase& source, const XpPlaneBase& target,
                                  int32_t channels, XpResampleDirection direction);

// Source twice the target: target i = floor((source 2i + source 2i+1) / 2).
[[nodiscard]] XpResult XpPairAveragePass(const XpPlaneBase& source, const XpPlaneBase& target,
                                         int32_t channels, XpResampleDirection direction);

// Source longer than the target: each target is floor of the exact mean of
// the source interval it covers, split source pixels weighted by their
// share. kXpErrOutOfMemory when the weight table cannot be allocated.
[[nodiscard]] XpResult XpAreaAveragePass(const XpPlaneBase& source, const XpPlaneBase& target,
                                         int32_t channels, XpResampleDirection direction);

// Source of length 1: every target repeats it.
[[nodiscard]] XpResult XpReplicatePass(const XpPlaneBase& source, const XpPlaneBase& target,
                                       int32_t channels, XpResampleDirection direction);
