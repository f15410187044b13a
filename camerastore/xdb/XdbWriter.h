#pragma once

#include <cstdint>

#include "camerastore/xdb/IXdbWriter.h"
#include "camerastore/xdb/XdbCardFolders.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

namespace XdbAccessor {

// The edits of a card's album database. The first edit copies the files of
// "DBFILES" into the work copy "DBFILES.tmp" and reopens the database
// there, so "DBFILES" stays as it was until the device accessor swaps the
// folders; later edits go straight on in the work copy.
//
// A work copy that fails part-way is removed again and the database is
// reopened on "DBFILES", so no incomplete copy is ever swapped in. A
// "DBFILES.tmp" found while the database is not open on it (a leftover that
// the factory could not remove) is removed before a new copy is made.
//
// The capacities count one kind of record against the store's one limit.
// Albums and contents share one identifier space, so the content capacity
// overstates the room by the number of albums: an export can still meet a
// full store in mid-run (0x8401 from CreateContent), and that batch fails
// while the batches committed before it stay.
class XdbWriter : public IXdbWriter {
 public:
  // root: the card's mount point with its trailing '/'.
  explicit XdbWriter(const XpString& root);
  ~XdbWriter() override;
  XdbWriter(const XdbWriter&) = delete;
  XdbWriter& operator=(const XdbWriter&) = delete;

  // Deletes the album's contents (their failures are ignored), then the
  // album.
  void DeleteAlbum(IAlbumInfo* album) override;
  // Deletes the content, and its album when that has no contents left.
  void DeleteContent(IContentInfo* content) override;
  IAlbumInfo* CreateAlbum(const XpString& title) override;
  // A path that does not exist is logged and recorded all the same. Each
  // content dated before its album's date, or of an album still dated
  // 1970-01-01, gives the album its date; the album object keeps its own
  // date, so in one run an album ends with the date of its last content.
  IContentInfo* CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                              int32_t favorite) override;
  int64_t GetRemainingContentCapacity() override;
  int64_t GetRemainingAlbumCapacity() override;
  void Release() override { delete this; }

  // Makes the work copy and opens the database on it; 0 at once while the
  // database is open on it.
  [[nodiscard]] virtual XpResult CreateTempFolder();
  // The store's limit less the records found under field, in 32 bits.
  virtual int64_t CheckCapacity(const char* field);
  virtual bool IsRoot(const XpString& root) const;
  // Removes the album index of the work copy.
  virtual void DropIndex(int32_t albumId);
  [[nodiscard]] virtual XpResult RemoveIndexFile();
  // Deletes a file, read-only or hidden alike; 0 when there is none.
  [[nodiscard]] virtual XpResult RemoveFile(const XpString& path);

  // The work copy was swapped in or removed (whether or not the database
  // opened again): the next edit makes a new one.
  void ForgetWorkCopy();
  bool IsWorkCopyOpen() const { return workCopyOpen_; }

 private:
  [[nodiscard]] XpResult CopyDatabaseFiles() const;
  // Removes a failed work copy, reopens "DBFILES" when the database was
  // closed, and passes code on.
  [[nodiscard]] XpResult AbandonWorkCopy(XpResult code, bool reopen) const;
  void EnsureWorkCopy();

  XdbCardFolders folders_;
  bool workCopyOpen_ = false;
};

}  // namespace XdbAccessor
