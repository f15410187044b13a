#include "camerastore/xdb/ContentInfo.h"

#include <cstdlib>

#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/XdbRecordMapper.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "platform/path/XpPath.h"

namespace XdbAccessor {

namespace {

const char16_t* const kThumbnailExtension = u".THM";

// The volume root of an absolute path, else "".
XpString RootOf(const XpString& path) {
  if (path.IsEmpty() || *path.CStr() != kXpPathSeparator) {
    return XpString();
  }
  return XpPathGetRoot(path);
}

}  // namespace

ContentInfo::ContentInfo(const ContentData& data) : data_(data) {
  if (data_.kind != kContentMovie) {
    return;
  }
  const int32_t extensionLength = XpPathGetExtension(data_.path).GetLength();
  thumbnailPath_ = data_.path.Left(data_.path.GetLength() - extensionLength) + kThumbnailExtension;
}

ContentInfo::~ContentInfo() = default;

IAlbumInfo* ContentInfo::GetAlbum() const {
  XdbAlbumRecord record{};
  AlbumInfo* album = nullptr;
  if (XdbGetRecordFromIDA(data_.albumId, &record) == 0) {
    album = XdbRecordMapper::MakeAlbumInfo(record, data_.albumId, RootOf(data_.path));
  }
  std::free(record.title);
  return album;
}

}  // namespace XdbAccessor
