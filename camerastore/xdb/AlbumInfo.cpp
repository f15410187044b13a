#include "camerastore/xdb/AlbumInfo.h"

#include <memory>
#include <new>

#include "camerastore/xdb/ContentList.h"
#include "camerastore/xdb/XdbCachedContent.h"
#include "camerastore/xdb/XdbRecordMapper.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbSearches.h"

namespace XdbAccessor {

namespace {

const char* const kAlbumField = "a";

// The contents of a searched set; null on any failure.
ContentList* ReadContents(XdbResultHandle set, const XpString& root) {
  int32_t count = 0;
  if (XdbCount(set, &count) != 0) {
    return nullptr;
  }
  std::unique_ptr<ContentList> list(new (std::nothrow) ContentList);
  if (!list) {
    return nullptr;
  }
  XdbRecordMapper mapper;
  mapper.SetRoot(root);
  for (int32_t position = 0; position < count; ++position) {
    XdbContentRecord record{};
    int32_t id = kXdbNoId;
    if (!XdbReadCachedContent(set, position, &record) || XdbGetID(set, position, &id) != 0) {
      return nullptr;
    }
    if (!list->Add(mapper.MakeContentInfo(record, id))) {
      return nullptr;
    }
  }
  return list.release();
}

}  // namespace

AlbumInfo::AlbumInfo(const AlbumData& data, const XpString& root) : data_(data), root_(root) {
  if (data_.title.IsEmpty()) {
    data_.title = XdbRecordMapper::FormatAlbumDate(data_.date);
  }
}

AlbumInfo::~AlbumInfo() = default;

IContentList* AlbumInfo::GetContents() const {
  XdbResultHandle set{};
  if (XdbSearch(kAlbumField, data_.id, &set) != 0) {
    return nullptr;
  }
  ContentList* list = nullptr;
  try {
    list = ReadContents(set, root_);
  } catch (const std::bad_alloc&) {
    list = nullptr;
  }
  XdbResultFree(set);
  return list;
}

}  // namespace XdbAccessor
