#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

class IAlbumInfo;
class IContentInfo;

// Edits of the album database. Each raises XdbException on failure; new
// objects belong to the caller, who releases them.
class IXdbWriter {
 public:
  virtual void DeleteAlbum(IAlbumInfo* album) = 0;
  virtual void DeleteContent(IContentInfo* content) = 0;
  virtual IAlbumInfo* CreateAlbum(const XpString& title) = 0;
  // date is UTC.
  virtual IContentInfo* CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                                      int32_t favorite) = 0;
  virtual int64_t GetRemainingContentCapacity() = 0;
  virtual int64_t GetRemainingAlbumCapacity() = 0;
  // Deletes the object.
  virtual void Release() = 0;
  virtual ~IXdbWriter() = 0;
};

}  // namespace XdbAccessor
