#include "camerastore/xdb/XdbCachedContent.h"

#include <cstdlib>
#include <cstring>

#include "camerastore/xdb/XdbResultCache.h"

namespace XdbAccessor {

bool XdbReadCachedContent(XdbResultHandle set, int32_t position, XdbContentRecord* out) {
  XdbRecordBuffer buffer;
  std::memset(&buffer, 0, sizeof buffer);
  XdbRecordKind kind = XdbRecordKind::kUnknown;
  const int32_t result = XdbGetCachedRecordOfKind(set, position, &buffer, &kind);
  if (kind == XdbRecordKind::kAlbum) {
    // Null unless the read got as far as the title.
    std::free(buffer.album.title);
    return false;
  }
  if (kind != XdbRecordKind::kContent || result != 0) {
    return false;
  }
  *out = buffer.content;
  return true;
}

}  // namespace XdbAccessor
