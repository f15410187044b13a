#pragma once

#include <cstdint>

#include "camerastore/xdb/XdbRecords.h"

namespace XdbAccessor {

// Reads record position of a cached set as a content record. False when
// the read fails or the record is an album; an album's title is released
// either way.
bool XdbReadCachedContent(XdbResultHandle set, int32_t position, XdbContentRecord* out);

}  // namespace XdbAccessor
