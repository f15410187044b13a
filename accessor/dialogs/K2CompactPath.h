#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Shortens a path to at most maxUnits UTF-16 units. A path that fits is
// returned whole. Otherwise the first component stays, the components after
// it give way to "..." from the front, and as many trailing components as
// fit are kept, at least the leaf ("/media/.../Trip/IMG_0010.JPG"). When
// even the first component, "..." and the leaf are too long, the result is
// "..." and the end of the leaf.
XpString K2CompactPath(const XpString& path, int32_t maxUnits);
