#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// A byte count as people read it: "N bytes" below 1024, otherwise in the
// largest of KB, MB, GB, TB, PB and EB (powers of 1024) that holds at least
// one, with three significant digits, truncated; 1000 and more show as an
// integer ("1023 KB"). The decimal point is always '.'.
XpString K2FormatByteSize(uint64_t bytes);
