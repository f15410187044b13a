#include "camerastore/xdb/XdbCachedContent.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "camerastore/xdb/XdbResultCache.h"

namespace XdbAccessor {

namespace {

constexpr int32_t kUnwritten = std::numeric_limits<int32_t>::min();

}  // namespace

bool XdbReadCachedContent(XdbResultHandle set, int32_t position, XdbContentRecord* out) {
  // An album read stores its title over fileID and albumID and never
  // touches folderID or guid, which a content read stores before and after
  // those. With both still unwritten the title word holds either the
  // album's title or the zero put there here, so it can be released.
  XdbRecordBuffer buffer;
  std::memset(&buffer, 0, sizeof buffer);
  buffer.content.folderID = kUnwritten;
  buffer.content.guid = kUnwritten;
  const int32_t result = XdbGetCachedRecord(set, position, &buffer);
  if (buffer.content.folderID == kUnwritten && buffer.content.guid == kUnwritten) {
    std::free(buffer.album.title);
    return false;
  }
  if (result != 0) {
    return false;
  }
  *out = buffer.content;
  return true;
}

}  // namespace XdbAccessor
