#pragma once

#include <cstdint>

// Greatest common divisor by Euclid's algorithm over signed values, in 64-bit
// arithmetic so that no step overflows. XpGcd(a, 0) is 0.
int64_t XpGcd(int32_t a, int32_t b);
