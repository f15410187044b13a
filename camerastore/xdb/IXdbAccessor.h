#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

class IAlbumInfo;
class IAlbumList;
class IContentInfo;
class IContentList;

// The album database of one card: its queries and edits. Every operation
// but Commit raises XdbException on failure; new objects and lists belong to
// the caller.
//
// Example: record one picture in a new album and make it durable.
//
//   IXdbAccessor* accessor = nullptr;
//   const XpResult opened = CreateDeviceXdbAccessor(&accessor, u"/media/CAM/");
//   if (opened != kXpOk) return opened;
//   try {
//     IAlbumInfo* album = accessor->CreateAlbum(u"Trip");
//     IContentInfo* content = accessor->CreateContent(
//         album, u"/media/CAM/DCIM/100ZXDCF/DSC00001.JPG", XpDateTime(2009, 3, 15, 10, 0, 0), 0);
//     content->Release();
//     album->Release();
//   } catch (const XdbException& error) {
//     accessor->Release();  // nothing of the edits is kept
//     return error.GetCode();
//   }
//   const int32_t committed = accessor->Commit();  // 0: durable
//   accessor->Release();
//   return committed;
class IXdbAccessor {
 public:
  virtual IAlbumList* GetAllAlbums() = 0;
  virtual IContentList* GetAllContents() = 0;
  // Null for flags 0.
  virtual IContentList* GetContentsByShareFlags(uint32_t flags) = 0;
  // Contents whose guid lies above value, ordered by guid.
  virtual IContentList* GetContentsAfterGuid(int64_t value) = 0;
  virtual void DeleteAlbum(IAlbumInfo* album) = 0;
  virtual void DeleteContent(IContentInfo* content) = 0;
  virtual IAlbumInfo* CreateAlbum(const XpString& title) = 0;
  // date is UTC.
  virtual IContentInfo* CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                                      int32_t favorite) = 0;
  virtual int64_t GetRemainingContentCapacity() = 0;
  virtual int64_t GetRemainingAlbumCapacity() = 0;
  // Makes the edits so far the card's database: 0 when they are durable;
  // otherwise a result code, and they never appear later.
  virtual int32_t Commit() = 0;
  // Deletes the object.
  virtual void Release() = 0;
  virtual ~IXdbAccessor() = 0;
};

}  // namespace XdbAccessor
