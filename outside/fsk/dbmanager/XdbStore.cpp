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
#include "outside/fsk/dbmanager/XdbStoreInternal.h"
#include "outside/fsk/dbmanager/XdbUnjournaledFolders.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

using namespace xdbstore;

namespace {

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
  // The folder that closed opens again: a file rewritten there since, at
  // its size within the clock's tick, would look unchanged. Only the other
  // folder of a swap or a copy takes the bytes.
  if (offered_.folder == folder_.Folder()) {
    offered_ = RememberedRecords();
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
  // Only the work copy that the writer has just made of the remembered
  // folder counts as a copy (its folder is the one not journaled): a file
  // that merely looks like one, same size and time within the clock's
  // tick, may hold other bytes. A copy keeps the size and the modification
  // time, and was made after the remembered file last changed; that file
  // must still be as it was.
  struct stat source {};
  bool copy = !folder_.IsJournaled() && status.st_size == file.status.st_size &&
              SameTime(status.st_mtim, file.status.st_mtim) &&
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
