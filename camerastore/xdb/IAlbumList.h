#pragma once

#include <cstdint>

namespace XdbAccessor {

class IAlbumInfo;

// An ordered set of albums that owns them.
class IAlbumList {
 public:
  virtual ~IAlbumList() = 0;
  virtual int32_t GetCount() const = 0;
  // The same as GetAt.
  virtual IAlbumInfo* Item(int32_t index) const = 0;
  // The entry, still owned by the list; std::out_of_range when index is
  // not below GetCount.
  virtual IAlbumInfo* GetAt(int32_t index) const = 0;
};

}  // namespace XdbAccessor
