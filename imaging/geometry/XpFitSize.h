#pragma once

#include <cstdint>

// The largest size with the aspect ratio of width x height that fits inside
// boxWidth x boxHeight. The limiting side takes the box's value, the other
// is rounded down. (0, 0) when any of the four sizes is below 1.
void XpFitSizeInside(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight,
                     int32_t& outWidth, int32_t& outHeight);

// The smallest size with the aspect ratio of width x height that covers
// boxWidth x boxHeight. (0, 0) when any of the four sizes is below 1 or the
// result does not fit 32 bits.
void XpFitSizeCovering(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight,
                       int32_t& outWidth, int32_t& outHeight);
