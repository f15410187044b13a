#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

class IAlbumInfo;

// Content kinds.
inline constexpr int32_t kContentOther = 0;
inline constexpr int32_t kContentPicture = 1;
inline constexpr int32_t kContentMovie = 2;

// A picture or movie of the album database.
class IContentInfo {
 public:
  // kContentPicture, kContentMovie or kContentOther.
  virtual int32_t GetKind() const = 0;
  // The file on the card; "" when it was not found.
  virtual XpString GetPath() const = 0;
  // A movie's thumbnail file; "" for other kinds.
  virtual XpString GetThumbnailPath() const = 0;
  // UTC.
  virtual XpDateTime GetDate() const = 0;
  virtual int32_t GetShareFlags() const = 0;
  virtual int32_t GetFavoriteFlags() const = 0;
  virtual int64_t GetGuid() const = 0;
  // The content's album as a new object that the caller releases; null when
  // the database cannot answer.
  virtual IAlbumInfo* GetAlbum() const = 0;
  virtual int64_t GetId() const = 0;
  // Deletes the object.
  virtual void Release() = 0;
  virtual ~IContentInfo() = 0;
};

}  // namespace XdbAccessor
