#include "imaging/bitmap/XpPixmapLoadBitmap.h"

#include <vector>

#include "imaging/bitmap/XpBitmapDecoder.h"
#include "platform/fs/XpReadWholeFile.h"

XpPixmapBase* XpPixmapLoadBitmapResource(const XpResourceModule& module, uint32_t id) {
  std::vector<uint8_t> bytes;
  if (!module.FindBitmap(id, &bytes)) {
    return nullptr;
  }
  return XpDecodeBitmap(bytes.data(), bytes.size());
}

XpPixmapBase* XpPixmapLoadBitmapFile(const XpString& path) {
  std::vector<uint8_t> bytes;
  if (XpFailed(XpReadWholeFile(path, &bytes))) {
    return nullptr;
  }
  return XpDecodeBitmap(bytes.data(), bytes.size());
}
