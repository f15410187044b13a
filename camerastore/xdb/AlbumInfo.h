#pragma once

#include <cstdint>

#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/XdbObjectData.h"

namespace XdbAccessor {

// An album as the layer hands it out: fixed values, and its contents read
// from the open database on request.
class AlbumInfo : public IAlbumInfo {
 public:
  // An empty title is replaced by the album's date in the short date form
  // of the user's locale. root is the card's volume root with its trailing
  // '/', or "" when unknown.
  AlbumInfo(const AlbumData& data, const XpString& root);

  int32_t GetId() const override { return data_.id; }
  XpString GetName() const override { return GetTitle(); }
  XpString GetTitle() const override { return data_.title; }
  XpDateTime GetDate() const override { return data_.date; }
  IContentList* GetContentList() const override { return GetContents(); }
  // Searches the album's contents; null on any failure, never raises.
  IContentList* GetContents() const override;
  void Release() override { delete this; }
  ~AlbumInfo() override;

  const XpString& GetRoot() const { return root_; }

 private:
  AlbumData data_;
  XpString root_;
};

}  // namespace XdbAccessor
