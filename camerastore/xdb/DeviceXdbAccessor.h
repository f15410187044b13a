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
// them permanent by a swap of folders. Every file of the work copy is
// synced first. Where the card's file system can, the work copy and
// "DBFILES" then trade places in one step (renameat2 RENAME_EXCHANGE) and
// the old copy, now "DBFILES.tmp", is removed; elsewhere two renames:
//   1. "DBFILES" -> "DBFILES.bak" (a leftover backup is removed first);
//   2. "DBFILES.tmp" -> "DBFILES";
//   3. "DBFILES.bak" removed.
// The edits are committed once "DBFILES" holds them and the card's root is
// synced. A step that fails before that puts the old database back (a root
// sync that fails after the exchange or rename is answered by undoing it)
// and removes the work copy, so the edits never appear later. Then the
// database is reopened on "DBFILES".
//
// Each step has ten tries a second apart, every failed try logged to a
// "_TempK2TLV_#####.log" file in the temporary folder. A kill of the
// process leaves the old or the new database at every moment: the factory
// keeps "DBFILES" when it exists, else the backup (the two renames had not
// both been done), and the work copy only when it is the one copy. A power
// cut during a rename on a FAT card is not covered (FAT renames are not
// atomic).
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
  // Flush, close, swap and reopen, with this thread's failure record
  // (XpSysFailure.h) cleared first. 0: the edits are in "DBFILES" and the
  // root is synced, or there were none; a reopen that then fails does not
  // change that (the next edit makes a new work copy). Non-zero, the
  // flush's or close's result or the failing step's XpResult: the edits
  // are not committed, their work copy is removed and the database is
  // reopened on "DBFILES"; nothing places them later. The record then
  // names the failing call (empty when the store refused without one).
  // After a 0 the record is empty, except when the root sync failed and
  // the swap could not be undone: "DBFILES" holds the edits, so they count
  // as committed, and the record names that sync. Without edits, a reopen
  // that fails gives 0x8000.
  int32_t Commit() override;
  // The destructor closes the database. A work copy of edits that all
  // succeeded and that no Commit saw is swapped in, without a flush; one
  // whose edit raised is removed. This thread's failure record is kept.
  void Release() override { delete this; }

  // The swap of the writer's work copy, then with reopen the database
  // opened on "DBFILES": the result as for Commit, 0 when there is no work
  // copy of edits (a leftover "DBFILES.tmp" stays where it is).
  virtual int32_t CommitFolderSwap(bool reopen);

 private:
  // Whether the writer's edits wait in the work copy.
  bool HasPendingWorkCopy() const;
  // The next edit makes a new work copy.
  void ForgetWorkCopy();
  // An edit that raises or answers nothing marks its work copy as one the
  // release removes.
  template <typename Edit>
  auto Guarded(Edit&& edit) -> decltype(edit());
  // A flush or close that failed: the work copy goes, "DBFILES" reopens.
  int32_t Refuse(int32_t code);
  // Until the root sync after the swap: kXpOk when "DBFILES" holds the
  // work copy, else the failing step's result with the old database back.
  [[nodiscard]] XpResult PlaceWorkCopy() const;
  [[nodiscard]] XpResult SettleExchange() const;
  [[nodiscard]] XpResult RenameFolders() const;
  [[nodiscard]] XpResult MoveDatabaseAside() const;
  // Puts the backup back as "DBFILES" when that is missing and removes the
  // work copy; code passes on with this thread's failure record kept.
  [[nodiscard]] XpResult RollBack(XpResult code) const;
  void DiscardWorkCopy() const;
  // The edits are committed; the old copies go.
  [[nodiscard]] XpResult FinishCommit() const;
  int32_t Reopen();

  XdbReader* reader_ = nullptr;
  XdbWriter* writer_ = nullptr;
  XdbCardFolders folders_;
  bool editFailed_ = false;
};

// Puts a card's folders in order after an interrupted commit, starts the
// script runtime and opens the card's database. With "DBFILES" present the
// leftovers "DBFILES.bak" and "DBFILES.tmp" are removed; without it the
// backup, else the work copy, becomes "DBFILES" (a work copy beside a
// backup is removed). 0 with *out set to a new accessor; 0x8000 without any of the three folders (nothing changed) or
// when the database does not open, 0x810D when it refuses to open, 0x8401
// when the accessor cannot be made. XdbException from the accessor's
// reader passes out.
[[nodiscard]] XpResult CreateDeviceXdbAccessor(IXdbAccessor** out, const XpString& root);
// A reader of the card's database: 0 with *out set, else 0x8401.
[[nodiscard]] XpResult CreateXdbReader(IXdbReader** out, const XpString& root);

}  // namespace XdbAccessor
