#include "outside/fsk/dbmanager/XdbJournaledFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "fsk/FskFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

using File = XdbJournaledFolder::File;

// The folder objects that hold a mount, by folder.
std::map<std::string, XdbJournaledFolder*>& Holders() {
  static std::map<std::string, XdbJournaledFolder*> holders;
  return holders;
}

std::string WithClosingSlash(const std::string& folder) {
  std::string result = folder;
  while (result.size() > 1 && result.back() == '/') {
    result.pop_back();
  }
  return result == "/" ? result : result + "/";
}

void MarkDirty(File* file, int64_t offset, int64_t count) {
  if (count <= 0) {
    return;
  }
  int64_t last = (offset + count - 1) / XdbJournaledFolder::kPageSize;
  for (int64_t page = offset / XdbJournaledFolder::kPageSize; page <= last; ++page) {
    file->dirtyPages.insert(page);
  }
}

class MemoryOpenFile : public FskOpenFile {
 public:
  MemoryOpenFile(std::shared_ptr<File> file, bool writable) : file_(std::move(file)), writable_(writable) {}

  int ReadAt(int64_t offset, void* buffer, size_t count, size_t* done) override {
    *done = 0;
    if (file_ == nullptr) {
      return EBADF;
    }
    if (offset < 0) {
      return EINVAL;
    }
    auto size = static_cast<int64_t>(file_->data.size());
    if (offset >= size) {
      return 0;
    }
    size_t moved = std::min(count, static_cast<size_t>(size - offset));
    std::memcpy(buffer, file_->data.data() + offset, moved);
    *done = moved;
    return 0;
  }

  int WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done) override {
    *done = 0;
    if (file_ == nullptr || !writable_) {
      return EBADF;
    }
    if (offset < 0 || count > static_cast<size_t>(INT64_MAX - offset)) {
      return EINVAL;
    }
    if (count == 0) {
      return 0;
    }
    auto end = static_cast<size_t>(offset) + count;
    *done = count;
    if (end > file_->data.size()) {
      Resize(static_cast<int64_t>(end));
    }
    std::memcpy(file_->data.data() + offset, buffer, count);
    MarkDirty(file_.get(), offset, static_cast<int64_t>(count));
    return 0;
  }

  int GetSize(int64_t* size) override {
    if (file_ == nullptr) {
      return EBADF;
    }
    *size = static_cast<int64_t>(file_->data.size());
    return 0;
  }

  int SetSize(int64_t size) override {
    if (file_ == nullptr || !writable_) {
      return EBADF;
    }
    if (size < 0) {
      return EINVAL;
    }
    Resize(size);
    return 0;
  }

  int Close() override {
    file_.reset();
    return 0;
  }

 private:
  // Bytes past the old end are dirty so that a later growth is written.
  void Resize(int64_t size) {
    auto old = static_cast<int64_t>(file_->data.size());
    if (size == old) {
      return;
    }
    file_->data.resize(static_cast<size_t>(size), 0);
    if (size > old) {
      MarkDirty(file_.get(), old, size - old);
    }
  }

  std::shared_ptr<File> file_;
  bool writable_;
};

bool PageDiffers(const File& file, int64_t page) {
  auto begin = static_cast<size_t>(page * XdbJournaledFolder::kPageSize);
  size_t end = std::min(file.data.size(), begin + XdbJournaledFolder::kPageSize);
  if (begin >= end) {
    return false;
  }
  if (end > file.base.size()) {
    return true;
  }
  return std::memcmp(file.data.data() + begin, file.base.data() + begin, end - begin) != 0;
}

// The changed byte ranges of file, in runs of consecutive changed pages.
std::vector<XdbJournal::Range> DirtyRanges(const File& file) {
  std::vector<XdbJournal::Range> ranges;
  auto size = static_cast<int64_t>(file.data.size());
  if (file.whole) {
    if (size > 0) {
      ranges.push_back({0, file.data});
    }
    return ranges;
  }
  int64_t runStart = -1;
  int64_t runEnd = -1;
  auto closeRun = [&]() {
    int64_t begin = runStart * XdbJournaledFolder::kPageSize;
    int64_t end = std::min(size, runEnd * XdbJournaledFolder::kPageSize);
    if (begin < end) {
      ranges.push_back({begin, std::vector<uint8_t>(file.data.begin() + begin, file.data.begin() + end)});
    }
  };
  for (int64_t page : file.ChangedPages()) {
    if (page == runEnd) {
      runEnd = page + 1;
      continue;
    }
    if (runStart >= 0) {
      closeRun();
    }
    runStart = page;
    runEnd = page + 1;
  }
  if (runStart >= 0) {
    closeRun();
  }
  return ranges;
}

}  // namespace

bool XdbJournaledFolder::File::Changed() const {
  return whole || removed || data.size() != base.size() || !ChangedPages().empty();
}

std::vector<int64_t> XdbJournaledFolder::File::ChangedPages() const {
  std::vector<int64_t> pages;
  for (int64_t page : dirtyPages) {
    if (PageDiffers(*this, page)) {
      pages.push_back(page);
    }
  }
  return pages;
}

XdbJournaledFolder::~XdbJournaledFolder() { Unmount(); }

XpResult XdbJournaledFolder::Mount(const std::string& folder) {
  XpResult result = MountWithoutRecovery(folder);
  if (XpFailed(result)) {
    return result;
  }
  result = Recover();
  if (XpFailed(result)) {
    Unmount();
  }
  return result;
}

XpResult XdbJournaledFolder::MountWithoutRecovery(const std::string& folder) {
  if (IsMounted()) {
    return kXpErrAlreadyOpen;
  }
  if (folder.empty() || folder[0] != '/') {
    return kXpErrBadArgument;
  }
  std::string normalized = WithClosingSlash(folder);
  struct stat status {};
  if (XpSysCalls::Current().Stat(normalized.c_str(), &status) != 0) {
    return XpResultFromErrno(errno != 0 ? errno : EIO);
  }
  if (!S_ISDIR(status.st_mode)) {
    return XpResultFromErrno(ENOTDIR);
  }
  auto held = Holders().find(normalized);
  if (held != Holders().end()) {
    held->second->Unmount();
  }
  XdbJournal::Found found;
  XpResult result = XdbJournal::Inspect(normalized, bounds_, &found);
  if (XpFailed(result)) {
    return result;
  }
  folder_ = normalized;
  synced_.clear();
  pending_.clear();
  completion_ = Completion();
  found_ = std::move(found);
  recoveryDue_ = found_.part || found_.journal;
  Holders()[folder_] = this;
  FskFileMount(folder_.c_str(), this);
  return kXpOk;
}

XpResult XdbJournaledFolder::Recover() {
  if (!IsMounted()) {
    return kXpErrNotOpen;
  }
  if (!recoveryDue_) {
    return kXpOk;
  }
  bool replayed = false;
  XpResult result = XdbJournal::Settle(folder_, found_, &replayed);
  if (XpFailed(result)) {
    return result;
  }
  recoveryDue_ = false;
  found_ = XdbJournal::Found();
  return kXpOk;
}

void XdbJournaledFolder::Unmount() {
  if (!IsMounted()) {
    return;
  }
  FskFileUnmount(folder_.c_str());
  auto held = Holders().find(folder_);
  if (held != Holders().end() && held->second == this) {
    Holders().erase(held);
  }
  files_.clear();
  synced_.clear();
  pending_.clear();
  completion_ = Completion();
  found_ = XdbJournal::Found();
  recoveryDue_ = false;
  known_ = KnownSource();
  folder_.clear();
}

void XdbJournaledFolder::UnmountKeepingBytes(std::map<std::string, std::vector<uint8_t>>* bytes) {
  bytes->clear();
  if (IsMounted() && !recoveryDue_ && !completion_.pending && !HasChanges()) {
    for (auto& [name, file] : files_) {
      if (!file->removed) {
        (*bytes)[name] = std::move(file->data);
      }
    }
  }
  Unmount();
}

int XdbJournaledFolder::ReadIn(const std::string& name, std::vector<uint8_t>* bytes) const {
  const std::vector<XdbJournal::Change>& changes = Unapplied();
  bool changed = std::any_of(changes.begin(), changes.end(),
                             [&name](const XdbJournal::Change& change) { return change.name == name; });
  struct stat status {};
  if (known_ && !changed && XpSysCalls::Current().Lstat(PathOf(name).c_str(), &status) == 0 &&
      S_ISREG(status.st_mode)) {
    if (std::vector<uint8_t>* held = known_(name, status)) {
      *bytes = std::move(*held);
      return 0;
    }
  }
  return ReadAfterPending(name, bytes);
}

bool XdbJournaledFolder::HasChanges() const {
  return std::any_of(files_.begin(), files_.end(), [](const auto& entry) { return entry.second->Changed(); });
}

const std::vector<uint8_t>* XdbJournaledFolder::KnownBytes(const std::string& name) const {
  auto found = files_.find(name);
  if (found == files_.end() || found->second->removed) {
    return nullptr;
  }
  return &found->second->data;
}

std::string XdbJournaledFolder::NameOf(const char* path) const {
  if (!IsMounted() || path == nullptr) {
    return {};
  }
  std::string_view text(path);
  if (text.substr(0, folder_.size()) != folder_) {
    return {};
  }
  std::string name(text.substr(folder_.size()));
  return XdbJournal::IsPlainName(name) ? name : std::string();
}

int XdbJournaledFolder::Open(const char* path, uint32_t permission, std::unique_ptr<FskOpenFile>* out) {
  std::string name = NameOf(path);
  if (name.empty() || name == XdbJournal::kFileName || name == XdbJournal::kPartName) {
    return ENOENT;
  }
  auto found = files_.find(name);
  if (found == files_.end() && RemovedByPending(name)) {
    return ENOENT;
  }
  if (found == files_.end()) {
    auto file = std::make_shared<File>();
    int error = ReadIn(name, &file->data);
    if (error != 0) {
      return error;
    }
    file->base = file->data;
    found = files_.emplace(name, std::move(file)).first;
  }
  if (found->second->removed) {
    return ENOENT;
  }
  *out = std::make_unique<MemoryOpenFile>(found->second, permission == kFskFilePermissionReadWrite);
  return 0;
}

int XdbJournaledFolder::Create(const char* path) {
  std::string name = NameOf(path);
  if (name.empty() || name == XdbJournal::kFileName || name == XdbJournal::kPartName) {
    return EACCES;
  }
  auto found = files_.find(name);
  bool exists = found != files_.end() ? !found->second->removed : ExistsAfterPending(name);
  if (exists) {
    return EEXIST;
  }
  // A new object, so that handles of a removed file do not reach it.
  auto file = std::make_shared<File>();
  file->whole = true;
  files_[name] = std::move(file);
  return 0;
}

int XdbJournaledFolder::Delete(const char* path) {
  std::string name = NameOf(path);
  if (name.empty()) {
    return ENOENT;
  }
  auto found = files_.find(name);
  if (found == files_.end()) {
    if (!ExistsAfterPending(name)) {
      return ENOENT;
    }
    found = files_.emplace(name, std::make_shared<File>()).first;
  }
  if (found->second->removed) {
    return ENOENT;
  }
  auto gone = std::make_shared<File>();
  gone->removed = true;
  found->second = std::move(gone);
  return 0;
}

std::vector<XdbJournal::Change> XdbJournaledFolder::CollectChanges() {
  std::vector<XdbJournal::Change> changes;
  for (auto& [name, file] : files_) {
    if (!file->removed && !file->whole && !xdbfiles::Exists(folder_, name)) {
      file->whole = true;
    }
    if (!file->Changed()) {
      continue;
    }
    XdbJournal::Change change;
    change.name = name;
    change.remove = file->removed;
    change.size = static_cast<int64_t>(file->data.size());
    if (!file->removed) {
      change.ranges = DirtyRanges(*file);
    }
    changes.push_back(std::move(change));
  }
  return changes;
}

std::vector<std::string> XdbJournaledFolder::KnownNames() const {
  std::vector<std::string> names;
  for (const auto& [name, file] : files_) {
    if (!file->removed) {
      names.push_back(name);
    }
  }
  return names;
}

void XdbJournaledFolder::Stage(const char* stage) const {
  if (hook_) {
    hook_(stage);
  }
}

void XdbJournaledFolder::ForgetChanges() {
  for (auto entry = files_.begin(); entry != files_.end();) {
    if (entry->second->removed) {
      entry = files_.erase(entry);
      continue;
    }
    File& file = *entry->second;
    file.dirtyPages.clear();
    file.whole = false;
    file.base = file.data;
    ++entry;
  }
}

XpResult XdbJournaledFolder::Flush() {
  if (!IsMounted()) {
    return kXpErrNotOpen;
  }
  XpResult recovered = Recover();
  if (XpFailed(recovered)) {
    return recovered;
  }
  if (!journaled_) {
    return WriteInPlace();
  }
  if (completion_.pending) {
    XpResult completed = Complete(false);
    if (XpFailed(completed)) {
      return HasChanges() ? completed : kXpOk;
    }
  }
  std::vector<XdbJournal::Change> changes = CollectChanges();
  if (changes.empty()) {
    return SyncUnchanged();
  }
  synced_.clear();
  XpResult result = XdbJournal::Write(folder_, changes);
  if (XpFailed(result)) {
    return result;
  }
  // Committed: what follows only completes it.
  Stage("journal-written");
  pending_ = std::move(changes);
  ForgetChanges();
  (void)Complete(true);
  return kXpOk;
}

XpResult XdbJournaledFolder::WriteInPlace() {
  std::vector<XdbJournal::Change> changes = CollectChanges();
  if (changes.empty()) {
    return kXpOk;
  }
  // A failure leaves the files torn and the changes in memory: a later
  // flush writes every changed page again.
  XpResult result = XdbJournal::Apply(folder_, changes, hook_);
  if (XpFailed(result)) {
    return result;
  }
  Stage("applied-all");
  ForgetChanges();
  return kXpOk;
}

XpResult XdbJournaledFolder::Complete(bool stages) {
  XpResult result = XdbJournal::Apply(folder_, pending_, stages ? hook_ : StageHook());
  if (XpSucceeded(result) && stages) {
    Stage("applied-all");
  }
  const std::vector<std::string> names = KnownNames();
  if (XpSucceeded(result)) {
    result = XdbJournal::SyncFiles(folder_, names);
  }
  if (XpSucceeded(result)) {
    result = XdbJournal::Remove(folder_);
  }
  if (XpFailed(result)) {
    completion_ = {true, result, XpLastSysFailure()};
    return result;
  }
  pending_.clear();
  completion_ = Completion();
  synced_.insert(names.begin(), names.end());
  return kXpOk;
}

const std::vector<XdbJournal::Change>& XdbJournaledFolder::Unapplied() const {
  return recoveryDue_ ? found_.changes : pending_;
}

bool XdbJournaledFolder::RemovedByPending(const std::string& name) const {
  const std::vector<XdbJournal::Change>& changes = Unapplied();
  auto last = std::find_if(changes.rbegin(), changes.rend(),
                           [&name](const XdbJournal::Change& change) { return change.name == name; });
  return last != changes.rend() && last->remove;
}

bool XdbJournaledFolder::ExistsAfterPending(const std::string& name) const {
  const std::vector<XdbJournal::Change>& changes = Unapplied();
  auto last = std::find_if(changes.rbegin(), changes.rend(),
                           [&name](const XdbJournal::Change& change) { return change.name == name; });
  if (last != changes.rend()) {
    return !last->remove;
  }
  return xdbfiles::Exists(folder_, name);
}

int XdbJournaledFolder::ReadAfterPending(const std::string& name, std::vector<uint8_t>* bytes) const {
  int error = xdbfiles::ReadWhole(folder_, name, bytes);
  bool gone = error == ENOENT;
  if (error != 0 && !gone) {
    return error;
  }
  // As XdbJournal::Apply would leave the file: ranges written, then the size.
  for (const XdbJournal::Change& change : Unapplied()) {
    if (change.name != name) {
      continue;
    }
    gone = change.remove;
    if (gone) {
      bytes->clear();
      continue;
    }
    for (const XdbJournal::Range& range : change.ranges) {
      auto offset = static_cast<size_t>(range.offset);
      if (bytes->size() < offset + range.bytes.size()) {
        bytes->resize(offset + range.bytes.size(), 0);
      }
      std::copy(range.bytes.begin(), range.bytes.end(), bytes->begin() + range.offset);
    }
    bytes->resize(static_cast<size_t>(change.size), 0);
  }
  return gone ? ENOENT : 0;
}

XpResult XdbJournaledFolder::SyncUnchanged() {
  const std::vector<std::string> names = KnownNames();
  const bool allSynced =
      !synced_.empty() && std::all_of(names.begin(), names.end(), [this](const std::string& name) {
        return synced_.count(name) != 0;
      });
  if (allSynced) {
    return kXpOk;
  }
  XpResult result = XdbJournal::SyncFiles(folder_, names);
  if (XpSucceeded(result)) {
    synced_ = std::set<std::string>(names.begin(), names.end());
  }
  return result;
}
