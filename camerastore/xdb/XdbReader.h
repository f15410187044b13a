#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "camerastore/xdb/IXdbReader.h"
#include "camerastore/xdb/XdbRecordMapper.h"
#include "camerastore/xdb/XdbRecords.h"
#include "platform/text/XpString.h"

namespace XdbAccessor {

class AlbumList;
class ContentList;

// Reads albums and contents of whichever album database is open, and turns
// result sets into lists. Every query raises XdbException on failure and
// frees each result set it obtained on every way out. Its destruction
// closes the database and, when that succeeds, stops the script runtime.
class XdbReader : public IXdbReader {
 public:
  XdbReader() = default;
  // Attaches to the card at root (its mount point with the trailing '/');
  // raises as AttachDrive does.
  explicit XdbReader(const XpString& root);
  ~XdbReader() override;
  XdbReader(const XdbReader&) = delete;
  XdbReader& operator=(const XdbReader&) = delete;

  IAlbumList* GetAllAlbums() override;
  IContentList* GetAllContents() override;
  // Null for flags 0, without a script call; bits above 0x20 are ignored.
  IContentList* GetContentsByShareFlags(uint32_t flags) override;
  IContentList* GetContentsAfterGuid(int64_t value) override;
  // A running query stops after its current record and returns what it
  // has. The flag is cleared when a query returns normally.
  void Cancel() override { cancelled_ = true; }
  void Release() override { delete this; }

  // Raises 0x8106 when root is not an existing folder.
  virtual void AttachDrive(const XpString& root);

 protected:
  virtual AlbumList* CollectAlbums();
  virtual ContentList* CollectAllContents();
  virtual ContentList* CollectContentsByShareFlags(uint32_t flags);
  virtual ContentList* CollectContentsAfterValue(int64_t value);
  // A new list of the contents of a set.
  ContentList* MakeContentList(XdbResultHandle set);
  void AddContentsFromResult(XdbResultHandle set, ContentList* list);

 private:
  void AttachRoot(const XpString& root);
  // The query's list, then the flag cleared.
  template <typename List>
  List* Finish(List* list) {
    cancelled_ = false;
    return list;
  }

  std::unique_ptr<XdbRecordMapper> mapper_;
  XpString root_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace XdbAccessor
