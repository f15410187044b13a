#pragma once

#include <cstdint>

#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/XdbObjectList.h"

namespace XdbAccessor {

// Albums in insertion order; the list owns them.
class AlbumList : public IAlbumList {
 public:
  AlbumList() = default;
  ~AlbumList() override;

  int32_t GetCount() const override { return entries_.Count(); }
  IAlbumInfo* Item(int32_t index) const override { return GetAt(index); }
  IAlbumInfo* GetAt(int32_t index) const override { return entries_.At(index); }
  // Takes ownership of album; false (and album deleted) when it could not be
  // held.
  virtual bool Add(AlbumInfo* album) { return entries_.Add(album); }

 private:
  XdbObjectList<AlbumInfo> entries_;
};

}  // namespace XdbAccessor
