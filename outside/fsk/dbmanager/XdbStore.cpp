#include "outside/fsk/dbmanager/XdbStore.h"

#include <dirent.h>
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
#include "outside/fsk/dbmanager/XdbUnjournaledFolders.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr const char* kRecordName = "XDB.DAT";
constexpr const char* kFreelistName = "XDB.FRE";
constexpr const char* kIdsName = "IDS.BLK";
constexpr const char* kIdIndexName = "XDB.IND";
constexpr const char* kAlbumIndexName = "OAI.IND";
constexpr const char* kGuidIndexName = "GUID.IND";
constexpr const char* kRowsName = "DATA.BLK";
constexpr const char* kOurNames[] = {kRecordName, kFreelistName, kIdsName,         kIdIndexName,
                                     kAlbumIndexName, kGuidIndexName, kRowsName, XdbJournal::kFileName,
                                     XdbJournal::kPartName};
// The files a journal of ours changes, each no larger than the largest
// record file or index.
const XdbJournal::Bounds& OurJournalBounds() {
  static const XdbJournal::Bounds bounds{
      {kRecordName, kFreelistName, kIdsName, kIdIndexName, kAlbumIndexName, kGuidIndexName, kRowsName},
      std::min(XdbRecordFile::kLargestFile, XdbBtreeIndex::kLargestFile)};
  return bounds;
}

constexpr int32_t kVersionShift = 16;
constexpr int32_t kOrderBits = 0xFFFF;
constexpr int64_t kDcfFolderFactor = 10000;

constexpr uint32_t kContentRow = 1;
constexpr uint32_t kAlbumRow = 2;
// The fields of a data row.
constexpr int32_t kKindField = 0;
constexpr int32_t kDcfField = 2;
constexpr int32_t kDayField = 3;
constexpr int32_t kShareField = 4;
constexpr int32_t kFavoriteField = 5;

// Day keys: year * 10000 + month * 100 + day.
constexpr int64_t kYearFactor = 10000;
constexpr int64_t kMonthFactor = 100;
constexpr int32_t kMonths = 12;
constexpr int64_t kLongestMonth = 31;
constexpr int kTmYearBase = 1900;
constexpr double kMillisecondsPerSecond = 1000;
constexpr char kDayKeyHolder[] = "CatalogGrammarExt.dateField";

XpResult Either(XpResult first, XpResult second) { return XpFailed(first) ? first : second; }

// The names of the entries of folder; false when it cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>* names) {
  XpSysCalls& calls = XpSysCalls::Current();
  DIR* dir = calls.Opendir(folder.c_str());
  if (dir == nullptr) {
    return false;
  }
  while (dirent* entry = calls.Readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names->push_back(name);
    }
  }
  (void)calls.Closedir(dir);
  return true;
}

// Whether every entry of folder is a regular file, as itself (a link is
// not followed); false with errno set when one cannot be looked at.
bool OnlyRegularFiles(const std::string& folder, const std::vector<std::string>& names, bool* regular) {
  *regular = true;
  for (const std::string& name : names) {
    struct stat status {};
    if (XpSysCalls::Current().Lstat((folder + "/" + name).c_str(), &status) != 0) {
      return false;
    }
    if (!S_ISREG(status.st_mode)) {
      *regular = false;
      return true;
    }
  }
  return true;
}

std::string WithoutClosingSlash(const std::string& folder) {
  std::string result = folder;
  while (result.size() > 1 && result.back() == '/') {
    result.pop_back();
  }
  return result;
}

bool Contains(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

uint32_t DcfOf(const XdbContent& content) {
  return static_cast<uint32_t>(content.folderID * kDcfFolderFactor + content.fileID);
}

bool HasDay(double date) { return std::isfinite(date) && std::fabs(date) <= XdbStore::kLargestDate; }

// The UTC fields of a date in milliseconds; false when it has no day.
bool UtcFieldsOf(double date, tm* fields) {
  if (!HasDay(date)) {
    return false;
  }
  auto seconds = static_cast<time_t>(std::floor(date / kMillisecondsPerSecond));
  return gmtime_r(&seconds, fields) != nullptr;
}

// text as a whole decimal number.
bool NumberOf(const char* text, int64_t* number) {
  if (text == nullptr || *text == '\0') {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0') {
    return false;
  }
  *number = value;
  return true;
}

XpResult Run(FskMachine* the, XdbCallable<void()> work) {
  return XdbHostCall::Run(the, work, kXpErrBadArgument);
}

bool InRange(double value, double low, double high) { return low <= value && value <= high; }

// The IDs an index gave, kept only when the search succeeded and every one
// lies from 1 to limit: an ID beyond the limit is a damaged index, and is
// dropped before it can size a set.
XpResult IdsWithin(XpResult result, int32_t limit, std::vector<int32_t>* ids) {
  bool sound = std::all_of(ids->begin(), ids->end(), [&](int32_t id) { return id >= 1 && id <= limit; });
  if (XpSucceeded(result) && sound) {
    return result;
  }
  ids->clear();
  return XpFailed(result) ? result : kXpErrInvalidFile;
}

XdbBtreeIndex::Kind IntegerIndex(bool unique, int32_t order) {
  XdbBtreeIndex::Kind kind;
  kind.unique = unique;
  kind.keys = XdbBtreeIndex::KeyKind::kInteger;
  kind.order = order;
  return kind;
}

}  // namespace

XpResult XdbStore::Files::CloseAll() {
  XpResult result = kXpOk;
  if (records.IsOpen()) {
    result = Either(result, records.Flush());
    result = Either(result, records.Close());
  }
  result = Either(result, ids.Close());
  for (XdbBtreeIndex* index : {&idIndex, &albumIndex, &guidIndex}) {
    if (index->IsOpen()) {
      result = Either(result, index->Close());
    }
  }
  return Either(result, rows.Close());
}

XdbStore::XdbStore(FskMachine* the) : the_(the), self_(std::make_shared<XdbStore*>(this)) {
  ReadEnvironment();
  MakeDatabase();
}

XdbStore::~XdbStore() {
  *self_ = nullptr;
  Release();
}

void XdbStore::ReadEnvironment() {
  int64_t limit = 0;
  if (NumberOf(std::getenv(kLimitVariable), &limit) && limit > 0 && limit < kLargestGuid) {
    limit_ = static_cast<int32_t>(limit);
  }
  int64_t order = 0;
  if (NumberOf(std::getenv(kByteOrderVariable), &order) && (order == kLittleEndian || order == kBigEndian)) {
    order_ = static_cast<int32_t>(order);
  }
  const char* stopAt = std::getenv(kStopAtVariable);
  if (stopAt != nullptr && *stopAt != '\0') {
    std::string stage = stopAt;
    SetStageHook([stage](const char* reached) {
      if (stage == reached) {
        (void)std::raise(SIGKILL);
      }
    });
  }
}

void XdbStore::MakeDatabase() {
  std::weak_ptr<XdbStore*> self = self_;
  auto method = [self](auto body) {
    return [self, body](FskMachine*, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
      std::shared_ptr<XdbStore*> store = self.lock();
      if (store == nullptr || *store == nullptr || arguments.empty()) {
        return fsk::Value();
      }
      return body(**store, arguments[0]);
    };
  };
  XpResult made = Run(the_, [&] {
    database_ = fsk::NewObject(the_);
    fsk::Set(the_, database_, "getSortingArray",
             fsk::NewFunction(
                 the_, method([](XdbStore& store, const fsk::Value& key) { return store.SortingArray(key); }), 1));
    fsk::Set(the_, database_, "getSortingOrder",
             fsk::NewFunction(the_, method([](XdbStore&, const fsk::Value&) { return fsk::Value::Integer(1); }), 1));
    fsk::Set(the_, database_, "getRecord",
             fsk::NewFunction(the_, method([](XdbStore& store, const fsk::Value& id) {
                                return store.RecordObject(static_cast<int32_t>(fsk::ToInteger(store.the_, id)));
                              }),
                              1));
  });
  // Without memory for it, sets of this store sort by nothing.
  (void)made;
}

fsk::Value XdbStore::RecordObject(int32_t id) {
  std::optional<Record> record = GetRecord(id);
  if (!record) {
    return fsk::Value();
  }
  fsk::Value object = fsk::NewObject(the_);
  auto set = [&](const char* name, const fsk::Value& value) { fsk::Set(the_, object, name, value); };
  set("id", fsk::Value::Integer(id));
  if (record->kind == Kind::kAlbum) {
    set("kind", fsk::Value::String("album"));
    set("albumDate", fsk::Value::Number(record->album.albumDate));
    set("title", fsk::Value::String(record->album.title));
    set("preference", fsk::Value::Integer(record->album.preference));
    return object;
  }
  const XdbContent& content = record->content;
  set("kind", fsk::Value::String("content"));
  set("date", fsk::Value::Number(content.date));
  set("folderID", fsk::Value::Integer(content.folderID));
  set("fileID", fsk::Value::Integer(content.fileID));
  set("albumID", fsk::Value::Integer(content.albumID));
  set("misc", fsk::Value::Integer(content.misc));
  set("shareFlag", fsk::Value::Integer(content.shareFlag));
  set("favoriteFlag", fsk::Value::Integer(content.favoriteFlag));
  set("guid", fsk::Value::Integer(content.guid));
  return object;
}

void XdbStore::Release() {
  recordsMatchFile_ = false;
  if (files_ != nullptr) {
    (void)files_->CloseAll();
    files_.reset();
  }
  records_.clear();
  albumsToWrite_.clear();
  notReadingBack_.clear();
  largestGuid_ = 0;
  folder_.Unmount();
  open_ = false;
}

XpResult XdbStore::Open(const std::string& folder, int* status) {
  *status = kNotOurs;
  rebuilt_.clear();
  if (open_) {
    XpResult closed = Close();
    if (XpFailed(closed)) {
      return closed;
    }
  }
  const std::string path = WithoutClosingSlash(folder);
  struct stat info {};
  if (folder.empty() || folder[0] != '/' || XpSysCalls::Current().Lstat(path.c_str(), &info) != 0) {
    *status = kNoFolder;
    return kXpOk;
  }
  // A link is not followed: the database is in the folder itself or not
  // at all.
  if (S_ISLNK(info.st_mode)) {
    return kXpOk;
  }
  if (!S_ISDIR(info.st_mode)) {
    *status = kNoFolder;
    return kXpOk;
  }
  std::vector<std::string> names;
  bool regular = false;
  if (!ListFolder(path, &names) || !OnlyRegularFiles(path, names, &regular)) {
    return XpResultFromErrno(errno != 0 ? errno : EIO);
  }
  bool empty = names.empty();
  bool journal = Contains(names, XdbJournal::kFileName);
  if (!regular || (!empty && !journal && (!Contains(names, kRecordName) || !Contains(names, kIdsName)))) {
    return kXpOk;
  }
  completion_ = Completion();
  // Nothing is written until the folder is known to be ours.
  folder_.SetBounds(OurJournalBounds());
  folder_.SetJournaled(!XdbUnjournaledFolders::Contains(folder));
  XpResult result = folder_.MountWithoutRecovery(folder);
  if (XpFailed(result)) {
    return result;
  }
  OfferRememberedFiles();
  files_ = std::make_unique<Files>(the_, limit_);
  result = empty ? CreateNew() : OpenOurs(status);
  folder_.SetKnownSource(XdbJournaledFolder::KnownSource());
  offered_ = RememberedRecords();
  if (XpFailed(result) || (!empty && *status != kOpened)) {
    Release();
    return result;
  }
  open_ = true;
  recordsMatchFile_ = true;
  *status = kOpened;
  return kXpOk;
}

XpResult XdbStore::CreateNew() {
  XdbRecordFile::Head head;
  head.flags = order_ | (kFormatVersion << kVersionShift);
  XpResult result = files_->records.Create(PathOf(kRecordName), PathOf(kFreelistName), head);
  result = Either(result, files_->ids.Create(PathOf(kIdsName)));
  bool rebuilt = false;
  result = Either(result, RebuildDerived(&rebuilt));
  if (XpFailed(result)) {
    return result;
  }
  return Either(files_->records.Flush(), FlushFolder());
}

XpResult XdbStore::FlushFolder() {
  XpResult result = folder_.Flush();
  completion_ = folder_.LastCompletion();
  return result;
}

XpResult XdbStore::OpenOurs(int* status) {
  *status = kNotOurs;
  if (XpFailed(files_->records.Open(PathOf(kRecordName), PathOf(kFreelistName)))) {
    return kXpOk;
  }
  int32_t flags = files_->records.GetHead().flags;
  int32_t order = flags & kOrderBits;
  if ((flags >> kVersionShift) != kFormatVersion || (order != kLittleEndian && order != kBigEndian)) {
    return kXpOk;
  }
  order_ = order;
  if (XpFailed(files_->ids.Open(PathOf(kIdsName))) || XpFailed(LoadRecords())) {
    return kXpOk;
  }
  // Ours: a journal left by a flush is replayed or dropped now.
  XpResult result = folder_.Recover();
  if (XpFailed(result)) {
    return result;
  }
  bool rebuilt = false;
  result = RebuildDerived(&rebuilt);
  if (XpFailed(result)) {
    return result;
  }
  // The record file rebuilds a missing free list in memory.
  result = files_->records.Flush();
  if (XpSucceeded(result) && (rebuilt || folder_.HasChanges())) {
    result = FlushFolder();
  }
  if (XpFailed(result)) {
    return result;
  }
  *status = kOpened;
  return kXpOk;
}

XdbStore::RememberedRecords& XdbStore::Remembered() {
  static RememberedRecords remembered;
  return remembered;
}

namespace {

std::mutex& RememberedLock() {
  static std::mutex lock;
  return lock;
}

bool SameTime(const timespec& one, const timespec& other) {
  return one.tv_sec == other.tv_sec && one.tv_nsec == other.tv_nsec;
}

bool NotBefore(const timespec& time, const timespec& since) {
  return time.tv_sec != since.tv_sec ? time.tv_sec > since.tv_sec : time.tv_nsec >= since.tv_nsec;
}

bool SameFile(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino && one.st_size == other.st_size &&
         SameTime(one.st_mtim, other.st_mtim) && SameTime(one.st_ctim, other.st_ctim);
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

void XdbStore::RememberRecords() {
  RememberedRecords remembered;
  remembered.folder = folder_.Folder();
  std::map<std::string, std::vector<uint8_t>> bytes;
  folder_.UnmountKeepingBytes(&bytes);
  for (auto& [name, data] : bytes) {
    RememberedFile file;
    if (XpSysCalls::Current().Lstat((remembered.folder + name).c_str(), &file.status) == 0 &&
        S_ISREG(file.status.st_mode) && file.status.st_size == static_cast<off_t>(data.size())) {
      file.bytes = std::move(data);
      remembered.files[name] = std::move(file);
    }
  }
  if (recordsMatchFile_ && notReadingBack_.empty() && remembered.files.count(kRecordName) != 0) {
    remembered.records = std::move(records_);
    remembered.largestGuid = largestGuid_;
    records_.clear();
  }
  std::lock_guard<std::mutex> hold(RememberedLock());
  Remembered() = std::move(remembered);
}

void XdbStore::OfferRememberedFiles() {
  {
    std::lock_guard<std::mutex> hold(RememberedLock());
    offered_ = std::move(Remembered());
    Remembered() = RememberedRecords();
  }
  if (offered_.files.empty()) {
    return;
  }
  folder_.SetKnownSource(
      [this](const std::string& name, const struct stat& status) { return OfferedBytes(name, status); });
}

std::vector<uint8_t>* XdbStore::OfferedBytes(const std::string& name, const struct stat& status) {
  auto found = offered_.files.find(name);
  if (found == offered_.files.end() || found->second.taken) {
    return nullptr;
  }
  RememberedFile& file = found->second;
  if (SameFile(status, file.status)) {
    file.taken = true;
    return &file.bytes;
  }
  // A copy keeps the size and the modification time, and was made after
  // the remembered file last changed; that file must still be as it was.
  struct stat source {};
  bool copy = status.st_size == file.status.st_size && SameTime(status.st_mtim, file.status.st_mtim) &&
              NotBefore(status.st_ctim, file.status.st_ctim) &&
              XpSysCalls::Current().Lstat((offered_.folder + name).c_str(), &source) == 0 &&
              SameFile(source, file.status);
  file.taken = copy;
  return copy ? &file.bytes : nullptr;
}

bool XdbStore::TakeRememberedRecords() {
  // Nothing wrote the record file since it was read in: taken from the
  // remembered file, it holds the remembered bytes.
  const std::vector<uint8_t>* bytes = folder_.KnownBytes(kRecordName);
  auto remembered = offered_.files.find(kRecordName);
  if (bytes == nullptr || offered_.records.empty() || remembered == offered_.files.end() ||
      (!remembered->second.taken && *bytes != remembered->second.bytes)) {
    return false;
  }
  // The map is ordered by ID.
  if (offered_.records.begin()->first < 1 || offered_.records.rbegin()->first > limit_) {
    return false;
  }
  records_ = std::move(offered_.records);
  largestGuid_ = offered_.largestGuid;
  offered_.records.clear();
  return true;
}

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

XpResult XdbStore::Flush() {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  XpResult result = WriteAlbums();
  if (XpFailed(result)) {
    return result;
  }
  return Either(files_->records.Flush(), FlushFolder());
}

XpResult XdbStore::Close() {
  if (!IsOpen()) {
    Release();
    return kXpErrNotOpen;
  }
  XpResult result = WriteAlbums();
  result = Either(result, files_->CloseAll());
  // A close with nothing to write waits for nothing.
  if (folder_.HasChanges() || folder_.LastCompletion().pending) {
    result = Either(result, FlushFolder());
  }
  if (XpSucceeded(result)) {
    RememberRecords();
  }
  files_.reset();
  Release();
  return result;
}

XpResult XdbStore::DeleteDatabase(const std::string& folder) {
  std::string normalized = folder;
  while (normalized.size() > 1 && normalized.back() == '/') {
    normalized.pop_back();
  }
  if (IsOpen() && folder_.Folder() == normalized + "/") {
    return kXpErrAlreadyOpen;
  }
  for (const char* name : kOurNames) {
    std::string path = normalized + "/" + name;
    if (XpSysCalls::Current().Unlink(path.c_str()) != 0 && errno != ENOENT) {
      return XpResultFromErrno(errno);
    }
  }
  return kXpOk;
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

XpResult XdbStore::NewSet(Found* found) {
  found->reset();
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  auto set = std::make_unique<XdbResultSet>(the_, database_);
  XpResult result = set->Create(limit_ + 1);
  if (XpSucceeded(result)) {
    *found = std::move(set);
  }
  return result;
}

XpResult XdbStore::Fill(XpResult result, const std::vector<int32_t>& ids, Found* found) {
  for (int32_t id : ids) {
    result = Either(result, (*found)->Add(id));
  }
  if (XpFailed(result)) {
    found->reset();
  }
  return result;
}

XpResult XdbStore::FindRows(const XdbDataRows::Search& search, Found* found) {
  XpResult result = NewSet(found);
  if (XpSucceeded(result)) {
    result = files_->rows.Find(search, (*found)->Object());
  }
  if (XpFailed(result)) {
    found->reset();
  }
  return result;
}

XpResult XdbStore::FindKeys(XdbBtreeIndex& index, double low, double high, Found* found) {
  XpResult result = NewSet(found);
  if (XpFailed(result)) {
    return result;
  }
  std::vector<int32_t> ids;
  if (low <= high) {
    result = index.FilterSearch(
        [&](const XdbBtreeIndex::Key& key) {
          return std::holds_alternative<int32_t>(key) && InRange(std::get<int32_t>(key), low, high);
        },
        &ids);
  }
  return Fill(IdsWithin(result, limit_, &ids), ids, found);
}

template <typename Match>
XpResult XdbStore::FindContents(const XdbDataRows::Search& search, Match match, Found* found) {
  XpResult result = FindRows(search, found);
  std::vector<int32_t> candidates;
  if (XpSucceeded(result)) {
    result = (*found)->Ids(&candidates);
  }
  for (int32_t id : candidates) {
    auto entry = records_.find(id);
    bool wanted =
        entry != records_.end() && entry->second.record.kind == Kind::kContent && match(entry->second.record.content);
    if (!wanted) {
      result = Either(result, (*found)->Remove(id));
    }
  }
  if (XpFailed(result)) {
    found->reset();
  }
  return result;
}

XpResult XdbStore::ContentsOfAlbum(int32_t albumID, Found* found) {
  XpResult result = NewSet(found);
  if (XpFailed(result)) {
    return result;
  }
  std::vector<int32_t> ids;
  result = files_->albumIndex.Search(albumID, &ids);
  return Fill(IdsWithin(result, limit_, &ids), ids, found);
}

XpResult XdbStore::AllAlbums(Found* found) { return FindRows({kKindField, kAlbumRow, {}, {}, {}}, found); }

XpResult XdbStore::AllContents(Found* found) { return FindRows({kKindField, kContentRow, {}, {}, {}}, found); }

XpResult XdbStore::GuidEqual(double guid, Found* found) { return GuidRange(guid, guid, found); }

XpResult XdbStore::GuidRange(double low, double high, Found* found) {
  return IsOpen() ? FindKeys(files_->guidIndex, low, high, found) : NewSet(found);
}

XpResult XdbStore::AlbumRange(double low, double high, Found* found) {
  return IsOpen() ? FindKeys(files_->albumIndex, low, high, found) : NewSet(found);
}

XpResult XdbStore::ShareAny(int32_t value, Found* found) {
  if (!IsOpen()) {
    return NewSet(found);
  }
  XdbDataRows::Search search{kShareField, 1, {}, {}, {}};
  XpResult result = Run(the_, [&] {
    search.transform = fsk::NewFunction(
        the_,
        [value](FskMachine* the, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
          auto flags = static_cast<uint32_t>(fsk::ToInteger(the, arguments.at(0)));
          return fsk::Value::Integer((flags & static_cast<uint32_t>(value)) != 0 ? 1 : 0);
        },
        1);
  });
  return XpSucceeded(result) ? FindRows(search, found) : result;
}

XpResult XdbStore::FavoriteEqual(int32_t value, Found* found) {
  return FindContents(
      {kFavoriteField, static_cast<uint32_t>(value), {}, {}, {}}, [](const XdbContent&) { return true; }, found);
}

XpResult XdbStore::Dcf(int32_t folderID, int32_t fileID, Found* found) {
  XdbContent sought;
  sought.folderID = folderID;
  sought.fileID = fileID;
  return FindContents(
      {kDcfField, DcfOf(sought), {}, {}, {}},
      [&](const XdbContent& content) { return content.folderID == folderID && content.fileID == fileID; }, found);
}

XpResult XdbStore::InMonth(int32_t year, int32_t month, Found* found) {
  if (month < 1 || month > kMonths) {
    return NewSet(found);
  }
  int64_t first = int64_t{year} * kYearFactor + int64_t{month} * kMonthFactor + 1;
  XdbDataRows::Search search{
      kDayField, static_cast<uint32_t>(first), static_cast<uint32_t>(first + kLongestMonth - 1), {}, {}};
  return FindContents(
      search,
      [&](const XdbContent& content) {
        tm fields{};
        return UtcFieldsOf(content.date, &fields) && fields.tm_year + kTmYearBase == year && fields.tm_mon + 1 == month;
      },
      found);
}

XpResult XdbStore::SortingRanks(SortKey key, std::vector<int64_t>* ranks) {
  ranks->assign(static_cast<size_t>(limit_) + 1, -1);
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  return Run(the_, [&] {
    fsk::Value array = SortingArray(fsk::Value::String(key == SortKey::kGuid ? kGuidKey : kAlbumKey));
    for (int32_t id = 1; id <= limit_; ++id) {
      // An ID outside the array ranks -1, so this is id's rank + 1.
      (*ranks)[static_cast<size_t>(id)] = fsk::ToInteger(the_, fsk::Call(the_, array, "compare", id, -1)) - 1;
    }
  });
}

fsk::Value XdbStore::SortingArray(const fsk::Value& key) {
  if (!IsOpen() || key.Type() != kFskStringType) {
    return fsk::Value();
  }
  std::string name = fsk::ToString(the_, key);
  XdbBtreeIndex* index = name == kGuidKey ? &files_->guidIndex : name == kAlbumKey ? &files_->albumIndex : nullptr;
  if (index == nullptr) {
    return fsk::Value();
  }
  XpResult result = index->BuildSortingArray(limit_ + 1);
  if (XpFailed(result)) {
    fxError(the_, EIO);
  }
  return index->SortingArray();
}
