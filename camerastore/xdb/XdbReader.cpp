#include "camerastore/xdb/XdbReader.h"

#include <cstdlib>
#include <new>

#include "camerastore/xdb/AlbumList.h"
#include "camerastore/xdb/ContentList.h"
#include "camerastore/xdb/XdbCachedContent.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbException.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbScopedSet.h"
#include "camerastore/xdb/XdbSearches.h"
#include "platform/fs/XpPathQueries.h"

namespace XdbAccessor {

namespace {

constexpr char kAlbumSearchField[] = "ad";
constexpr char kAlbumField[] = "a";
constexpr char kGuidField[] = "g";
constexpr char kShareGroup[] = "sf";
constexpr double kLargestGuid = 2147483647.0;
constexpr uint32_t kLastShareBit = 0x20;
constexpr int32_t kScriptNoMemory = -1;
constexpr int32_t kScriptBadObject = -9999;
constexpr int32_t kScriptReadFailed = -300;

void Check(int32_t scriptResult) {
  if (scriptResult != 0) {
    XdbRaiseScriptResult(scriptResult);
  }
}

// An album record's title, released when it goes.
struct TitleGuard {
  explicit TitleGuard(XdbAlbumRecord* record) : record_(record) {}
  ~TitleGuard() { std::free(record_->title); }
  TitleGuard(const TitleGuard&) = delete;
  TitleGuard& operator=(const TitleGuard&) = delete;
  XdbAlbumRecord* record_;
};

template <typename List>
std::unique_ptr<List> NewList() {
  std::unique_ptr<List> list(new (std::nothrow) List);
  if (!list) {
    XdbRaiseScriptResult(kScriptNoMemory);
  }
  return list;
}

}  // namespace

XdbReader::XdbReader(const XpString& root) { AttachRoot(root); }

XdbReader::~XdbReader() {
  mapper_.reset();
  if (XdbCloseDatabase() == 0) {
    XdbRuntimeStop();
  }
}

IAlbumList* XdbReader::GetAllAlbums() { return Finish(CollectAlbums()); }

IContentList* XdbReader::GetAllContents() { return Finish(CollectAllContents()); }

IContentList* XdbReader::GetContentsByShareFlags(uint32_t flags) {
  ContentList* list = flags == 0 ? nullptr : CollectContentsByShareFlags(flags);
  return Finish(list);
}

IContentList* XdbReader::GetContentsAfterGuid(int64_t value) { return Finish(CollectContentsAfterValue(value)); }

void XdbReader::AttachDrive(const XpString& root) { AttachRoot(root); }

void XdbReader::AttachRoot(const XpString& root) {
  mapper_.reset();
  std::unique_ptr<XdbRecordMapper> mapper(new (std::nothrow) XdbRecordMapper);
  if (!mapper) {
    XdbRaiseCode(kXpErrOutOfMemory);
  }
  if (!XpDirectoryExists(root)) {
    XdbRaiseCode(kXpErrPathNotFound);
  }
  mapper->SetRoot(root);
  mapper_ = std::move(mapper);
  root_ = root;
}

AlbumList* XdbReader::CollectAlbums() {
  XdbScopedSet set;
  Check(XdbSearchAll(kAlbumSearchField, set.Out()));
  set.Keep();
  int32_t count = 0;
  Check(XdbCount(set.Get(), &count));
  std::unique_ptr<AlbumList> list = NewList<AlbumList>();
  for (int32_t position = 0; position < count && !cancelled_; ++position) {
    int32_t id = 0;
    Check(XdbGetID(set.Get(), position, &id));
    XdbAlbumRecord record{};
    TitleGuard title(&record);
    Check(XdbGetRecordFromIDA(id, &record));
    if (!list->Add(XdbRecordMapper::MakeAlbumInfo(record, id, root_))) {
      XdbRaiseScriptResult(kScriptBadObject);
    }
  }
  return list.release();
}

ContentList* XdbReader::CollectAllContents() {
  std::unique_ptr<AlbumList> albums(CollectAlbums());
  std::unique_ptr<ContentList> list = NewList<ContentList>();
  for (int32_t index = 0; index < albums->GetCount() && !cancelled_; ++index) {
    XdbScopedSet set;
    Check(XdbSearch(kAlbumField, albums->GetAt(index)->GetId(), set.Out()));
    set.Keep();
    AddContentsFromResult(set.Get(), list.get());
  }
  return list.release();
}

ContentList* XdbReader::CollectContentsByShareFlags(uint32_t flags) {
  XdbScopedSet united;
  for (uint32_t bit = 1; bit <= kLastShareBit && !cancelled_; bit <<= 1) {
    if ((flags & bit) == 0) {
      continue;
    }
    XdbScopedSet group;
    Check(XdbSearchGroup(kShareGroup, static_cast<int32_t>(2 * bit), group.Out()));
    group.Keep();
    if (!united.Held()) {
      united.Adopt(group.Release());
      continue;
    }
    XdbScopedSet joined;
    Check(XdbOr(group.Get(), united.Get(), joined.Out()));
    joined.Keep();
    united.Free();
    group.Free();
    united.Adopt(joined.Release());
  }
  if (!united.Held()) {
    return NewList<ContentList>().release();
  }
  return MakeContentList(united.Get());
}

ContentList* XdbReader::CollectContentsAfterValue(int64_t value) {
  XdbScopedSet found;
  Check(XdbRangeSearchNumber(kGuidField, static_cast<double>(value + 1), kLargestGuid, found.Out()));
  found.Keep();
  XdbScopedSet sorted;
  Check(XdbSort(found.Get(), kGuidField, "", sorted.Out()));
  sorted.Keep();
  ContentList* list = MakeContentList(sorted.Get());
  sorted.Free();
  return list;
}

ContentList* XdbReader::MakeContentList(XdbResultHandle set) {
  std::unique_ptr<ContentList> list = NewList<ContentList>();
  AddContentsFromResult(set, list.get());
  return list.release();
}

void XdbReader::AddContentsFromResult(XdbResultHandle set, ContentList* list) {
  int32_t count = 0;
  Check(XdbCount(set, &count));
  for (int32_t position = 0; position < count && !cancelled_; ++position) {
    XdbContentRecord record{};
    if (!XdbReadCachedContent(set, position, &record)) {
      XdbRaiseScriptResult(kScriptReadFailed);
    }
    int32_t id = 0;
    Check(XdbGetID(set, position, &id));
    if (!list->Add(mapper_ ? mapper_->MakeContentInfo(record, id) : nullptr)) {
      XdbRaiseScriptResult(kScriptBadObject);
    }
  }
}

}  // namespace XdbAccessor
