#include "camerastore/xdb/XdbWriter.h"

#include <sys/stat.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/XdbCommitHooks.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbException.h"
#include "camerastore/xdb/XdbRecordMapper.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbScopedSet.h"
#include "camerastore/xdb/XdbSearches.h"
#include "imaging/format/XpFormatChecker.h"
#include "outside/fsk/dbmanager/XdbUnjournaledFolders.h"
#include "platform/fs/XpCopyBatch.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/sync/XpRetry.h"

namespace XdbAccessor {

namespace {

constexpr char kAlbumField[] = "a";
constexpr char kContentSearchField[] = "d";
constexpr char kAlbumSearchField[] = "ad";
constexpr char kFavoriteGroup[] = "ff";
constexpr char16_t kIndexFile[] = u"OAI.IND";
constexpr int32_t kAlbumPreference = 3;
constexpr int32_t kEpochDayOfMonth = 1;
constexpr int32_t kEpochYearsSince1900 = 70;
constexpr int32_t kMiscPicture = 1;
constexpr int32_t kMiscMovie = 2;
constexpr int32_t kMiscOther = 0;

XpDateTime Epoch() { return XpDateTime(1970, 1, 1, 0, 0, 0); }

void Check(int32_t scriptResult) {
  if (scriptResult != 0) {
    XdbRaiseScriptResult(scriptResult);
  }
}

void CheckCode(XpResult code) {
  if (code != kXpOk) {
    XdbRaiseCode(code);
  }
}

// 1 for a picture, 2 for a movie, else 0 (also for a folder), by the
// name's extension.
int32_t MiscOfPath(const XpString& path, bool isFolder) {
  if (isFolder) {
    return kMiscOther;
  }
  const XpFormatKind kind = XpFormatChecker::KindFromName(path);
  if (kind == kXpKindJpegByName) {
    return kMiscPicture;
  }
  return kind == kXpKindMpegByName ? kMiscMovie : kMiscOther;
}

// Only the database's own files are copied: a link there is never read
// through, and a folder or a device is no file of the database.
bool IsRegularFile(const XpString& path) {
  struct stat info {};
  return XpSysCalls::Current().Lstat(path.ToMultiByte().CStr(), &info) == 0 &&
         S_ISREG(info.st_mode);
}

void LogMissingPath(const XpString& path) {
  XdbWriteLogLine("[CreateContent] IsPathAvailable (" + path.ToMultiByte().ToStdString() + ")\n");
}

void LogCreateFailure(XpResult error) {
  XdbWriteLogLine("[createTempFolder] [" + std::to_string(static_cast<int32_t>(error)) + "]\n");
}

// Gives the album the content's date when it is earlier, or when the album
// still has its first date.
// content holds the local date words of date when dated; otherwise the
// album keeps its own words.
void UpdateAlbumDate(const IAlbumInfo& album, const XpDateTime& date, const XdbContentRecord& content, bool dated) {
  const XpDateTime albumDate = album.GetDate();
  if (!(date < albumDate) && !(albumDate == Epoch())) {
    return;
  }
  MappedAlbumRecord mapped;
  if (dated) {
    XdbRecordMapper::MakeAlbumRecord(album, content, &mapped);
  } else {
    XdbRecordMapper::MakeAlbumRecord(album, &mapped);
  }
  mapped.record.preference = kAlbumPreference;
  Check(XdbUpdateAlbumInfo(album.GetId(), mapped.record));
}

}  // namespace

XdbWriter::XdbWriter(const XpString& root) : folders_(root) {}

XdbWriter::~XdbWriter() {
  XdbUnjournaledFolders::Remove(folders_.WorkCopy().ToMultiByte().ToStdString());
}

bool XdbWriter::IsRoot(const XpString& root) const { return root == folders_.Root(); }

void XdbWriter::EnsureWorkCopy() { CheckCode(CreateTempFolder()); }

XpResult XdbWriter::CreateTempFolder() {
  if (workCopyOpen_) {
    return kXpOk;
  }
  if (folders_.HasWorkCopy() || folders_.IsLink(folders_.WorkCopy())) {
    const XpResult removed = folders_.Remove(folders_.WorkCopy());
    if (removed != kXpOk) {
      return removed;
    }
  }
  if (!folders_.HasDatabase()) {
    return kXpErrPathNotFound;
  }
  const XpResult made = XpRetry(
      kXdbStepTries, [&] { return XpCreateDirectory(folders_.WorkCopy()); },
      [&](XpResult failed) {
        LogCreateFailure(failed);
        XdbSleep(kXdbStepPauseMilliseconds);
      });
  if (made != kXpOk) {
    return made;
  }
  const XpResult copied = CopyDatabaseFiles();
  if (copied != kXpOk) {
    return AbandonWorkCopy(copied, false);
  }
  if (XdbCloseDatabase() != 0) {
    return AbandonWorkCopy(kXpErrGeneric, false);
  }
  if (XdbCreateMaster() != 0) {
    return AbandonWorkCopy(kXpErrGeneric, true);
  }
  // The commit makes the work copy durable as a whole before the swap, and
  // a work copy left by a crash is dropped: its flushes need no journal.
  XdbUnjournaledFolders::Add(folders_.WorkCopy().ToMultiByte().ToStdString());
  if (XdbOpenDatabase(folders_.WorkCopy().CStr()) != kXdbOpened) {
    return AbandonWorkCopy(kXpErrGeneric, true);
  }
  workCopyOpen_ = true;
  return kXpOk;
}

XpResult XdbWriter::CopyDatabaseFiles() const {
  XpDir database(folders_.Database());
  XpResult result = database.BeginEnum(kXpEnumAll, u"");
  if (result != kXpOk) {
    return result;
  }
  // The work copy need not wait for the medium: the commit flushes every
  // file of it before the folders are swapped, and a work copy left by a
  // crash is removed before the next one is made.
  XpCopyBatch copies;
  for (XpSharedPtr<XpAbstractFSObj> entry = database.GetNext(); entry.Get() != nullptr; entry = database.GetNext()) {
    const XpString path = entry->GetPath();
    if (!IsRegularFile(path)) {
      continue;
    }
    // Opened without following a link: one put in its place since the test
    // above fails the copy.
    result = copies.AddRegularFile(path, folders_.WorkCopy() + XpPathGetLeafName(path), nullptr);
    if (result != kXpOk) {
      break;
    }
    XdbObserveStep(kXdbStepWorkCopyFile);
  }
  (void)database.EndEnum();
  if (result != kXpOk) {
    return result;
  }
  std::vector<XpResult> published;
  return copies.Publish(&published, XpCopyBatch::Durability::kUnflushed);
}

void XdbWriter::ForgetWorkCopy() {
  workCopyOpen_ = false;
  XdbUnjournaledFolders::Remove(folders_.WorkCopy().ToMultiByte().ToStdString());
}

XpResult XdbWriter::AbandonWorkCopy(XpResult code, bool reopen) const {
  XdbUnjournaledFolders::Remove(folders_.WorkCopy().ToMultiByte().ToStdString());
  // A work copy that stays is removed by the next edit or the factory.
  (void)folders_.Remove(folders_.WorkCopy());
  // The caller learns code; a database that did not open again fails the
  // next call on it.
  if (reopen && XdbCreateMaster() == 0) {
    (void)XdbOpenDatabase(folders_.Database().CStr());
  }
  return code;
}

IContentInfo* XdbWriter::CreateContent(IAlbumInfo* album, const XpString& path, const XpDateTime& date,
                                       int32_t favorite) {
  bool isFolder = false;
  if (!XpPathExists(path, &isFolder)) {
    LogMissingPath(path);
  }
  EnsureWorkCopy();
  bool dated = false;
  XdbContentRecord record = XdbRecordMapper::MakeContentRecord(date, path, &dated);
  record.albumID = album->GetId();
  record.misc = MiscOfPath(path, isFolder);
  int32_t newId = 0;
  Check(XdbAddPhoto(record, &newId));
  if (favorite != 0) {
    Check(XdbAddPhotoToGroup(kFavoriteGroup, newId, 2 * favorite));
  }
  UpdateAlbumDate(*album, date, record, dated);
  ContentData data;
  data.kind = record.misc;
  data.path = path;
  data.date = date;
  data.shareFlags = 0;
  data.favorite = favorite;
  data.guid = 0;
  data.albumId = album->GetId();
  data.id = newId;
  ContentInfo* content = new (std::nothrow) ContentInfo(data);
  if (content == nullptr) {
    XdbRaiseCode(kXpErrOutOfMemory);
  }
  return content;
}

IAlbumInfo* XdbWriter::CreateAlbum(const XpString& title) {
  EnsureWorkCopy();
  XdbAlbumRecord record{};
  record.dayOfMonth = kEpochDayOfMonth;
  record.yearsSince1900 = kEpochYearsSince1900;
  // The glue only reads the title.
  record.title = const_cast<char16_t*>(title.CStr());
  record.preference = kAlbumPreference;
  int32_t newId = 0;
  Check(XdbCreateAlbum(record, &newId));
  AlbumData data;
  data.id = newId;
  data.title = title;
  data.date = Epoch();
  AlbumInfo* album = new (std::nothrow) AlbumInfo(data, folders_.Root());
  if (album == nullptr) {
    XdbRaiseCode(kXpErrOutOfMemory);
  }
  return album;
}

void XdbWriter::DeleteAlbum(IAlbumInfo* album) {
  EnsureWorkCopy();
  const int32_t id = album->GetId();
  XdbScopedSet contents;
  Check(XdbSearchNumber(kAlbumField, static_cast<double>(id), contents.Out()));
  contents.Keep();
  int32_t count = 0;
  if (XdbCount(contents.Get(), &count) != 0) {
    count = 0;
  }
  for (int32_t position = 0; position < count; ++position) {
    int32_t contentId = 0;
    // A content already gone fails its delete; the album goes all the same.
    if (XdbGetID(contents.Get(), position, &contentId) == 0) {
      (void)XdbDeletePhoto(contentId);
    }
  }
  const int32_t deleted = XdbDeleteAlbum(id);
  contents.Free();
  Check(deleted);
  DropIndex(id);
}

void XdbWriter::DeleteContent(IContentInfo* content) {
  EnsureWorkCopy();
  const ContentInfo* known = dynamic_cast<const ContentInfo*>(content);
  if (known == nullptr) {
    XdbRaiseCode(kXpErrGeneric);
  }
  Check(XdbDeletePhoto(static_cast<int32_t>(known->GetId())));
  const int32_t albumId = static_cast<int32_t>(known->GetAlbumId());
  XdbScopedSet rest;
  Check(XdbSearch(kAlbumField, albumId, rest.Out()));
  rest.Keep();
  int32_t count = 0;
  Check(XdbCount(rest.Get(), &count));
  if (count == 0) {
    Check(XdbDeleteAlbum(albumId));
    DropIndex(albumId);
  }
}

int64_t XdbWriter::GetRemainingContentCapacity() { return CheckCapacity(kContentSearchField); }

int64_t XdbWriter::GetRemainingAlbumCapacity() { return CheckCapacity(kAlbumSearchField); }

int64_t XdbWriter::CheckCapacity(const char* field) {
  int32_t limit = 0;
  Check(XdbGetLimit(&limit));
  XdbScopedSet found;
  Check(XdbSearchAll(field, found.Out()));
  found.Keep();
  int32_t count = 0;
  Check(XdbCount(found.Get(), &count));
  found.Free();
  const auto remaining = static_cast<int32_t>(static_cast<uint32_t>(limit) - static_cast<uint32_t>(count));
  return static_cast<int64_t>(remaining);
}

void XdbWriter::DropIndex(int32_t /*albumId*/) { (void)RemoveIndexFile(); }

XpResult XdbWriter::RemoveIndexFile() { return RemoveFile(folders_.WorkCopy() + kIndexFile); }

XpResult XdbWriter::RemoveFile(const XpString& path) {
  if (!XpFileExists(path)) {
    return kXpOk;
  }
  (void)XpFileSetHidden(path, false);
  (void)XpFileSetReadOnly(path, false);
  return XpDeleteWithProgress(path, false, false, nullptr);
}

}  // namespace XdbAccessor
