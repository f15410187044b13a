#pragma once

#include <cstdint>

namespace XdbAccessor {

class IAlbumList;
class IContentList;

// Queries of the album database. Each raises XdbException on failure and
// returns a new list that the caller deletes.
class IXdbReader {
 public:
  virtual ~IXdbReader() = 0;
  virtual IAlbumList* GetAllAlbums() = 0;
  virtual IContentList* GetAllContents() = 0;
  virtual IContentList* GetContentsByShareFlags(uint32_t flags) = 0;
  // Contents whose guid lies above value, ordered by guid.
  virtual IContentList* GetContentsAfterGuid(int64_t value) = 0;
  // Asks a running query to stop.
  virtual void Cancel() = 0;
  // Deletes the object.
  virtual void Release() = 0;
};

}  // namespace XdbAccessor
