#pragma once

#include <cstdint>

#include "camerastore/xdb/IContentInfo.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

inline constexpr int32_t kXdbNoId = -1;

// The values of an album.
struct AlbumData {
  int32_t id = kXdbNoId;
  XpString title;
  XpDateTime date;  // UTC
};

// The values of a content.
struct ContentData {
  int32_t kind = kContentOther;
  XpString path;
  XpDateTime date;  // UTC
  int32_t shareFlags = 0;
  int32_t favorite = 0;
  int64_t guid = -1;
  int32_t albumId = kXdbNoId;
  int32_t id = kXdbNoId;
};

}  // namespace XdbAccessor
