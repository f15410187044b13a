#include "outside/fsk/dbmanager/XdbStore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <variant>

#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "outside/fsk/dbmanager/XdbStoreInternal.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

using namespace xdbstore;

namespace {

XdbBtreeIndex::Kind IntegerIndex(bool unique, int32_t order) {
  XdbBtreeIndex::Kind kind;
  kind.unique = unique;
  kind.keys = XdbBtreeIndex::KeyKind::kInteger;
  kind.order = order;
  return kind;
}

// Whether the record reads back from its payload as it is.
bool ReadsBack(const XdbStore::Record& record, const std::vector<uint8_t>& payload) {
  if (record.kind == XdbStore::Kind::kContent) {
    XdbContent decoded;
    return XdbStoreRecord::DecodeContent(payload, &decoded) && decoded == record.content;
  }
  XdbAlbum decoded;
  return XdbStoreRecord::DecodeAlbum(payload, &decoded) && decoded == record.album;
}


}  // namespace

XpResult XdbStore::Noted(XpResult result) {
  if (XpFailed(result)) {
    recordsMatchFile_ = false;
  }
  return result;
}

XpResult XdbStore::LoadRecords() {
  if (!TakeRememberedRecords()) {
    XpResult result = ScanRecords();
    if (XpFailed(result)) {
      return result;
    }
  }
  // A counter behind a guid in use would hand that guid out again.
  if (files_->ids.Counter() < largestGuid_) {
    return files_->ids.SetCounter(largestGuid_);
  }
  return kXpOk;
}

XpResult XdbStore::ScanRecords() {
  // The record file is open, so the folder holds its bytes.
  const std::vector<uint8_t>* bytes = folder_.KnownBytes(kRecordName);
  if (bytes == nullptr) {
    return kXpErrInvalidFile;
  }
  bool sound = true;
  XpResult result = files_->records.ScanRecordBytes(
      *bytes, [&](const XdbRecordFile::Atom& atom, std::span<const uint8_t> payload) {
        sound = AddScanned(atom, payload);
        return sound;
      });
  return XpFailed(result) || sound ? result : kXpErrInvalidFile;
}

bool XdbStore::AddScanned(const XdbRecordFile::Atom& atom, std::span<const uint8_t> payload) {
  if (atom.id < 1 || atom.id > limit_) {
    return false;
  }
  // Records mostly follow each other by ID in the file.
  size_t count = records_.size();
  auto placed = records_.emplace_hint(records_.end(), atom.id, Entry());
  if (records_.size() == count) {
    return false;
  }
  Entry& entry = placed->second;
  entry.offset = atom.offset;
  entry.size = atom.size;
  entry.record.id = atom.id;
  if (atom.type == XdbStoreRecord::kContentType) {
    entry.record.kind = Kind::kContent;
    bool decoded = XdbStoreRecord::DecodeContent(payload, &entry.record.content);
    NoteGuid(entry.record.content.guid);
    return decoded;
  }
  entry.record.kind = Kind::kAlbum;
  return atom.type == XdbStoreRecord::kAlbumType && XdbStoreRecord::DecodeAlbum(payload, &entry.record.album);
}

XpResult XdbStore::RebuildDerived(bool* rebuilt) {
  struct Index {
    XdbBtreeIndex* index;
    const char* name;
    bool unique;
  };
  const Index indexes[] = {{&files_->idIndex, kIdIndexName, true},
                           {&files_->albumIndex, kAlbumIndexName, false},
                           {&files_->guidIndex, kGuidIndexName, true}};
  bool rebuildIndexes = false;
  for (const Index& index : indexes) {
    if (XpFailed(index.index->Open(PathOf(index.name)))) {
      rebuildIndexes = true;
      rebuilt_.push_back(std::string(index.name) + ": unreadable, rebuilt");
    }
  }
  bool rebuildRows = XpFailed(files_->rows.Open(PathOf(kRowsName)));
  if (rebuildRows) {
    rebuilt_.push_back(std::string(kRowsName) + ": unreadable, rebuilt");
  }
  *rebuilt = rebuildIndexes || rebuildRows;
  XpResult result = kXpOk;
  if (rebuildIndexes) {
    for (const Index& index : indexes) {
      if (index.index->IsOpen()) {
        result = Either(result, index.index->Close());
      }
      result = Either(result, index.index->Create(PathOf(index.name), IntegerIndex(index.unique, order_)));
    }
  }
  if (rebuildRows) {
    (void)files_->rows.Close();
    result = Either(result, files_->rows.Create(PathOf(kRowsName)));
  }
  if (!*rebuilt) {
    return result;
  }
  for (const auto& [id, entry] : records_) {
    if (XpFailed(result)) {
      return result;
    }
    if (rebuildIndexes) {
      result = IndexRecord(entry);
    }
    if (rebuildRows && XpSucceeded(result)) {
      result = WriteRow(entry);
    }
  }
  return result;
}

XpResult XdbStore::IndexRecord(const Entry& entry) {
  const Record& record = entry.record;
  XpResult result = files_->idIndex.Insert(record.id, static_cast<int32_t>(entry.offset));
  if (XpFailed(result) || record.kind != Kind::kContent) {
    return result;
  }
  result = files_->albumIndex.Insert(record.content.albumID, record.id);
  return Either(result, files_->guidIndex.Insert(record.content.guid, record.id));
}

XpResult XdbStore::UnindexRecord(const Entry& entry) {
  const Record& record = entry.record;
  bool removed = false;
  XpResult result = files_->idIndex.RemoveKey(record.id, &removed);
  if (XpFailed(result) || record.kind != Kind::kContent) {
    return result;
  }
  result = files_->albumIndex.RemoveKeyId(record.content.albumID, record.id, &removed);
  return Either(result, files_->guidIndex.RemoveKey(record.content.guid, &removed));
}

uint32_t XdbStore::DayKeyOf(double date) const {
  if (!HasDay(date)) {
    return 0;
  }
  int64_t key = 0;
  XpResult result = Run(the_, [&] {
    if (dayKeyHolder_.IsUndefined()) {
      dayKeyHolder_ = fsk::GetPath(the_, kDayKeyHolder);
    }
    fsk::Value seconds = fsk::Value::Number(std::floor(date / kMillisecondsPerSecond));
    key = fsk::ToInteger(the_, fsk::Call(the_, dayKeyHolder_, "dayKey", seconds));
  });
  return XpSucceeded(result) ? static_cast<uint32_t>(key) : 0;
}

XdbStore::RowValues XdbStore::RowOf(const Record& record) const {
  if (record.kind != Kind::kContent) {
    return {kAlbumRow, 0, 0, 0, 0, 0};
  }
  const XdbContent& content = record.content;
  return {kContentRow,
          static_cast<uint32_t>(content.albumID),
          DcfOf(content),
          DayKeyOf(content.date),
          static_cast<uint32_t>(content.shareFlag),
          static_cast<uint32_t>(content.favoriteFlag)};
}

XpResult XdbStore::WriteRow(const Entry& entry) {
  RowValues values = RowOf(entry.record);
  return files_->rows.SetFields(entry.record.id, 0, std::span<const uint32_t>(values));
}

XdbStore::Entry* XdbStore::Find(int32_t id, Kind kind) {
  auto found = records_.find(id);
  return found == records_.end() || found->second.record.kind != kind ? nullptr : &found->second;
}

// Writes entry's record to the record file (in place or anew) and its
// offset to XDB.IND.
XpResult XdbStore::StoreRecord(int32_t id, Entry* entry) {
  const Record& record = entry->record;
  bool content = record.kind == Kind::kContent;
  int32_t type = content ? XdbStoreRecord::kContentType : XdbStoreRecord::kAlbumType;
  std::vector<uint8_t> payload =
      content ? XdbStoreRecord::EncodeContent(record.content) : XdbStoreRecord::EncodeAlbum(record.album);
  // After a failed change the file is asked where the record ends.
  XdbRecordFile::Span known{entry->offset, recordsMatchFile_ ? entry->size : 0};
  XdbRecordFile::Span placed;
  XpResult result = files_->records.Replace(known, id, type, payload, &placed);
  if (XpFailed(result)) {
    return result;
  }
  NoteReadingBack(id, ReadsBack(record, payload));
  int64_t oldOffset = entry->offset;
  entry->offset = placed.offset;
  entry->size = placed.size;
  if (placed.offset == oldOffset) {
    return result;
  }
  bool removed = false;
  result = files_->idIndex.RemoveKey(id, &removed);
  return Either(result, files_->idIndex.Insert(id, static_cast<int32_t>(placed.offset)));
}

void XdbStore::NoteReadingBack(int32_t id, bool readsBack) {
  if (readsBack) {
    notReadingBack_.erase(id);
  } else {
    notReadingBack_.insert(id);
  }
}

XpResult XdbStore::AddToFile(Entry* entry, int32_t type, const std::vector<uint8_t>& payload) {
  XdbRecordFile::Span placed;
  XpResult result = files_->records.Add(entry->record.id, type, payload, &placed);
  entry->offset = placed.offset;
  entry->size = placed.size;
  NoteReadingBack(entry->record.id, ReadsBack(entry->record, payload));
  return result;
}

XpResult XdbStore::AddContent(const XdbContent& fields, int32_t* id) {
  *id = 0;
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  if (Find(fields.albumID, Kind::kAlbum) == nullptr) {
    return kXpErrBadArgument;
  }
  uint32_t counter = files_->ids.Counter();
  if (counter >= static_cast<uint32_t>(kLargestGuid)) {
    return kXpOk;
  }
  int64_t newID = 0;
  // The guid counter moves with the ID's allocation, and back when the
  // record cannot be added.
  XpResult result = files_->ids.AllocateCounted(&newID, counter + 1);
  if (result == XdbIdAllocator::kXpErrNoFreeID) {
    return kXpOk;
  }
  if (XpFailed(result)) {
    return Noted(result);
  }
  Entry entry;
  entry.record.id = static_cast<int32_t>(newID);
  entry.record.kind = Kind::kContent;
  entry.record.content = fields;
  entry.record.content.shareFlag = 0;
  entry.record.content.favoriteFlag = 0;
  entry.record.content.guid = static_cast<int32_t>(counter + 1);
  result = AddToFile(&entry, XdbStoreRecord::kContentType, XdbStoreRecord::EncodeContent(entry.record.content));
  if (XpFailed(result)) {
    (void)files_->ids.Free(newID);
    (void)files_->ids.SetCounter(counter);
    return Noted(result);
  }
  result = IndexRecord(entry);
  result = Either(result, WriteRow(entry));
  if (XpFailed(result)) {
    return Noted(result);
  }
  records_[entry.record.id] = entry;
  NoteGuid(entry.record.content.guid);
  *id = entry.record.id;
  return kXpOk;
}

void XdbStore::NoteGuid(int32_t guid) { largestGuid_ = std::max(largestGuid_, static_cast<uint32_t>(guid)); }

XpResult XdbStore::AddAlbum(const XdbAlbum& album, int32_t* id) {
  *id = 0;
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  int64_t newID = 0;
  XpResult result = files_->ids.Allocate(&newID);
  if (result == XdbIdAllocator::kXpErrNoFreeID) {
    return kXpOk;
  }
  if (XpFailed(result)) {
    return Noted(result);
  }
  Entry entry;
  entry.record.id = static_cast<int32_t>(newID);
  entry.record.kind = Kind::kAlbum;
  entry.record.album = album;
  entry.record.album.title = XdbStoreRecord::ValidTitle(album.title);
  result = AddToFile(&entry, XdbStoreRecord::kAlbumType, XdbStoreRecord::EncodeAlbum(entry.record.album));
  if (XpFailed(result)) {
    (void)files_->ids.Free(newID);
    return Noted(result);
  }
  result = IndexRecord(entry);
  result = Either(result, WriteRow(entry));
  if (XpFailed(result)) {
    return Noted(result);
  }
  records_[entry.record.id] = entry;
  *id = entry.record.id;
  return kXpOk;
}

XpResult XdbStore::UpdateContent(int32_t id, const XdbContent& fields) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  Entry* entry = Find(id, Kind::kContent);
  if (entry == nullptr || Find(fields.albumID, Kind::kAlbum) == nullptr) {
    return kXpErrBadArgument;
  }
  XdbContent& content = entry->record.content;
  int32_t oldAlbum = content.albumID;
  content.date = fields.date;
  content.folderID = fields.folderID;
  content.fileID = fields.fileID;
  content.albumID = fields.albumID;
  content.misc = fields.misc;
  XpResult result = StoreRecord(id, entry);
  if (XpSucceeded(result) && oldAlbum != content.albumID) {
    bool removed = false;
    result = files_->albumIndex.RemoveKeyId(oldAlbum, id, &removed);
    result = Either(result, files_->albumIndex.Insert(content.albumID, id));
  }
  return Noted(Either(result, WriteRow(*entry)));
}

XpResult XdbStore::UpdateAlbum(int32_t id, const XdbAlbum& album) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  Entry* entry = Find(id, Kind::kAlbum);
  if (entry == nullptr) {
    return kXpErrBadArgument;
  }
  entry->record.album = album;
  entry->record.album.title = XdbStoreRecord::ValidTitle(album.title);
  // Written by the next flush or close: a run of updates of one album
  // costs one write.
  albumsToWrite_.insert(id);
  return kXpOk;
}

XpResult XdbStore::WriteAlbums() {
  XpResult result = kXpOk;
  // An album whose write fails stays for the next flush.
  std::set<int32_t> unwritten;
  for (int32_t id : albumsToWrite_) {
    Entry* entry = Find(id, Kind::kAlbum);
    XpResult written = entry != nullptr ? Noted(StoreRecord(id, entry)) : kXpOk;
    if (XpFailed(written)) {
      unwritten.insert(id);
    }
    result = Either(result, written);
  }
  albumsToWrite_ = std::move(unwritten);
  return result;
}

XpResult XdbStore::SetShare(int32_t id, int32_t value, bool set) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  Entry* entry = Find(id, Kind::kContent);
  if (entry == nullptr) {
    return kXpErrBadArgument;
  }
  int32_t& flag = entry->record.content.shareFlag;
  flag = set ? (flag | value) : (flag & ~value);
  return Noted(Either(StoreRecord(id, entry), WriteRow(*entry)));
}

XpResult XdbStore::SetFavorite(int32_t id, int32_t value, bool set) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  Entry* entry = Find(id, Kind::kContent);
  if (entry == nullptr) {
    return kXpErrBadArgument;
  }
  entry->record.content.favoriteFlag = set ? value : 0;
  return Noted(Either(StoreRecord(id, entry), WriteRow(*entry)));
}

XpResult XdbStore::Delete(int32_t id, Kind kind) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  Entry* entry = Find(id, kind);
  if (entry == nullptr) {
    return kXpErrBadArgument;
  }
  albumsToWrite_.erase(id);
  notReadingBack_.erase(id);
  XpResult result = files_->records.Free(entry->offset);
  result = Either(result, UnindexRecord(*entry));
  if (XpSucceeded(result)) {
    result = files_->rows.SetFields(id, 0, std::vector<uint32_t>(kRowFields, 0));
  }
  result = Either(result, files_->ids.Free(id));
  records_.erase(id);
  return Noted(result);
}

std::optional<XdbStore::Record> XdbStore::GetRecord(int32_t id) const {
  auto found = records_.find(id);
  if (found == records_.end()) {
    return std::nullopt;
  }
  return found->second.record;
}
