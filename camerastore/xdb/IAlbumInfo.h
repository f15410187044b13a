#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

class IContentList;

// An album of the album database.
class IAlbumInfo {
 public:
  virtual int32_t GetId() const = 0;
  // The same as GetTitle.
  virtual XpString GetName() const = 0;
  virtual XpString GetTitle() const = 0;
  // UTC.
  virtual XpDateTime GetDate() const = 0;
  // The same as GetContents.
  virtual IContentList* GetContentList() const = 0;
  // The album's contents as a new list that the caller deletes; null when
  // the database cannot answer.
  virtual IContentList* GetContents() const = 0;
  // Deletes the object.
  virtual void Release() = 0;
  virtual ~IAlbumInfo() {}
};

}  // namespace XdbAccessor
