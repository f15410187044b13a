#pragma once

#include <cstdint>

#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/IXdbReader.h"
#include "camerastore/xdb/XdbCardFolders.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

namespace XdbAccessor {

class XdbReader;
class XdbWriter;

// The album database of one card: queries go to its reader, edits to its
// writer, which makes them in the work copy "DBFILES.tmp". Commit makes
// them permanent by a swap of folders:
//   1. "DBFILES" -> "DBFILES.bak" (a leftover backup is removed first);
//   2. "DBFILES.tmp" -> "DBFILES";
//   3. "DBFILES.bak" removed; then the database is reopened on "DBFILES".
// Each step has ten tries a second apart, every failed try logged to a
// "_TempK2TLV_#####.log" file in the temporary folder. The backup is never
// removed before the new "DBFILES" is in place, and a swap that finds no
// "DBFILES" (an earlier one stopped after step 1) goes straight to step 2.
// The card thus holds the old or the new database at every moment; a kill
// of the process is covered at every step, a power cut during a rename on
// a FAT card is not (FAT renames are not atomic).
class DeviceXdbAccessor : public IXdbAccessor {
 public:
  // root: the card's mount point with its trailing '/'. Raises
  // XdbException when the reader cannot attach.
  explicit DeviceXdbAccessor(const XpString& root);
  ~DeviceXdbAccessor() override;
  DeviceXdbAccessor(const DeviceXdbAccessor&) = delete;
  DeviceXdbAccessor& operator=(const DeviceXdbAccessor&) = delete;

  IAlbumList* GetAllAlbums() override;
  IContentList* GetAllContents() override;
  IContentList* GetContentsByShareFlags(uint32_t flags) override;
  IContentList* GetContentsAfterGuid(int64_t value) override;
  void DeleteAlbum(IAlbumInfo* album) override;
  void DeleteContent(IContentInfo* content) override;
  IAlbumInfo* CreateAlbum(const XpString& title) override;
  IContentInfo* CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                              int32_t favorite) override;
  int64_t GetRemainingContentCapacity() override;
  int64_t GetRemainingAlbumCapacity() override;
  // Flush, close, swap and reopen: the flush or close result when it is
  // not 0 (nothing swapped), else the swap's.
  int32_t Commit() override;
  // The destructor closes the database and swaps a pending work copy in,
  // without a flush.
  void Release() override { delete this; }

  // The swap of the writer's work copy (a leftover "DBFILES.tmp" that no
  // edit made stays where it is), then with reopen the database opened on
  // "DBFILES": 0, the failing step's result, or 0x8000 when the reopen
  // fails.
  virtual int32_t CommitFolderSwap(bool reopen);

 private:
  // Whether the writer's edits wait in the work copy.
  bool HasPendingWorkCopy() const;
  int32_t SwapFolders(bool pending, bool reopen);
  int32_t Reopen();

  XdbReader* reader_ = nullptr;
  XdbWriter* writer_ = nullptr;
  XdbCardFolders folders_;
};

// Puts a card's folders in order after an interrupted commit, starts the
// script runtime and opens the card's database. With "DBFILES" present the
// leftovers "DBFILES.bak" and "DBFILES.tmp" are removed; without it the
// work copy, else the backup, becomes "DBFILES". 0 with *out set to a new
// accessor; 0x8000 without any of the three folders (nothing changed) or
// when the database does not open, 0x810D when it refuses to open, 0x8401
// when the accessor cannot be made. XdbException from the accessor's
// reader passes out.
XpResult CreateDeviceXdbAccessor(IXdbAccessor** out, const XpString& root);
// A reader of the card's database: 0 with *out set, else 0x8401.
XpResult CreateXdbReader(IXdbReader** out, const XpString& root);

}  // namespace XdbAccessor
