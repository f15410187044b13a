#pragma once

#include <cstdint>

#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/XdbObjectData.h"

namespace XdbAccessor {

// A picture or movie as the layer hands it out: fixed values, and its album
// read from the open database on request.
class ContentInfo : public IContentInfo {
 public:
  // A movie's thumbnail path is its path with the extension of its last
  // component, in any case, replaced by ".THM".
  explicit ContentInfo(const ContentData& data);

  int32_t GetKind() const override { return data_.kind; }
  XpString GetPath() const override { return data_.path; }
  XpString GetThumbnailPath() const override { return thumbnailPath_; }
  XpDateTime GetDate() const override { return data_.date; }
  int32_t GetShareFlags() const override { return data_.shareFlags; }
  int32_t GetFavoriteFlags() const override { return data_.favorite; }
  int64_t GetGuid() const override { return data_.guid; }
  // Reads the album; null on any failure, never raises. Its root is the
  // volume root of an absolute path, else "".
  IAlbumInfo* GetAlbum() const override;
  int64_t GetId() const override { return data_.id; }
  void Release() override { delete this; }
  ~ContentInfo() override;

  virtual int64_t GetAlbumId() const { return data_.albumId; }

 private:
  ContentData data_;
  XpString thumbnailPath_;
};

}  // namespace XdbAccessor
