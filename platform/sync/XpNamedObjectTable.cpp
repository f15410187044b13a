#include "platform/sync/XpNamedObjectTable.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
// Shared objects are open to everybody, as a null DACL makes them.
constexpr mode_t kSharedFileMode = 0666;
constexpr mode_t kPrivateFileMode = 0600;

// Opens the lock file with flags. A failure the caller takes as an answer
// (expected: a missing file, a name already taken) leaves this thread's
// record of failed system calls as it was.
int OpenLockFile(const std::string& path, int flags, mode_t mode, int expected) {
  const XpSysFailure before = XpLastSysFailure();
  const int fd = XpSysCalls::Current().Open(path.c_str(), flags, mode);
  if (fd < 0 && errno == expected) {
    XpSetSysFailure(before);
    errno = expected;
  }
  return fd;
}

[[nodiscard]] XpResult OpenExisting(const std::string& path, int* fd) {
  *fd = OpenLockFile(path, kOpenFlags, 0, ENOENT);
  if (*fd >= 0) return kXpOk;
  return errno == ENOENT ? kXpErrFileNotFound : XpResultFromErrno(errno, path.c_str());
}

[[nodiscard]] XpResult OpenOrCreate(const XpNamedObjectLocation& location, int* fd) {
  const mode_t mode = location.global ? kSharedFileMode : kPrivateFileMode;
  *fd = OpenLockFile(location.path, kOpenFlags | O_CREAT | O_EXCL, mode, EEXIST);
  if (*fd >= 0) {
    // Past the umask; where that is refused only the umask's users share
    // it, which is no failure to tell of.
    if (location.global) {
      const XpSysFailure before = XpLastSysFailure();
      if (XpSysCalls::Current().Fchmod(*fd, kSharedFileMode) != 0) XpSetSysFailure(before);
    }
    return kXpOk;
  }
  if (errno != EEXIST) return XpResultFromErrno(errno, location.path.c_str());
  // Lock files are never deleted, so the one that is there stays there.
  return OpenExisting(location.path, fd);
}

// Called with the creation guard held: joins the object and, when nobody
// held it before, gives it its initial state.
[[nodiscard]] XpResult JoinOrInitialize(XpNamedObjectRecord* record, const XpNamedObjectInit& init,
                                        bool* existed) {
  const XpNamedObjectFile file = record->File();
  *existed = file.IsHeldElsewhere(XpNamedObjectFile::kExistsByte);
  XpResult result = file.TryLock(XpNamedObjectFile::kExistsByte, false);
  if (result != kXpOk || *existed) return result;
  result = file.WriteState(init.state);
  if (result != kXpOk || init.kind != XpNamedObjectKind::kMutex || !init.initiallyOwned) {
    return result;
  }
  result = file.TryLock(XpNamedObjectFile::kOwnerByte, true);
  if (result == kXpOk) {
    record->owner = XpThread::CurrentThreadId();
    record->recursion = 1;
  }
  return result;
}

// Called with the creation guard held: joins the object only when somebody
// holds it.
[[nodiscard]] XpResult JoinExisting(XpNamedObjectRecord* record) {
  const XpNamedObjectFile file = record->File();
  if (!file.IsHeldElsewhere(XpNamedObjectFile::kExistsByte)) return kXpErrFileNotFound;
  return file.TryLock(XpNamedObjectFile::kExistsByte, false);
}

// Closing drops this process's locks on the file; the state in it was
// written under the guard and needs no flush.
void CloseLockFile(int fd) { (void)XpSysCalls::Current().Close(fd); }

std::unique_ptr<XpNamedObjectRecord> NewRecord(const XpNamedObjectLocation& location,
                                               XpNamedObjectKind kind) {
  std::unique_ptr<XpNamedObjectRecord> record(new (std::nothrow) XpNamedObjectRecord());
  if (record == nullptr) return record;
  try {
    record->path = location.path;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  record->kind = kind;
  record->pid = ::getpid();
  return record;
}

}  // namespace

XpNamedObjectTable& XpNamedObjectTable::Instance() {
  static XpNamedObjectTable* table = new XpNamedObjectTable();
  return *table;
}

XpNamedObjectTable::XpNamedObjectTable() : pid_(::getpid()) {
  // A fork while another thread holds the table's lock must not leave the
  // child with a lock that nobody releases.
  ::pthread_atfork([] { Instance().mutex_.lock(); }, [] { Instance().mutex_.unlock(); },
                   [] {
                     Instance().CloseInheritedFiles();
                     Instance().mutex_.unlock();
                   });
}

XpResult XpNamedObjectTable::Create(const XpNamedObjectLocation& location,
                                    const XpNamedObjectInit& init, XpNamedObjectRecord** record,
                                    bool* existed) {
  std::lock_guard<std::mutex> hold(mutex_);
  DropInheritedRecords();
  if (XpNamedObjectRecord* found = Find(location.path)) {
    ++found->handles;
    *existed = true;
    *record = found;
    return kXpOk;
  }
  std::unique_ptr<XpNamedObjectRecord> made = NewRecord(location, init.kind);
  if (made == nullptr) return kXpErrOutOfMemory;
  XpResult result = OpenOrCreate(location, &made->fd);
  if (result != kXpOk) return result;
  result = made->File().WithGuard([&] { return JoinOrInitialize(made.get(), init, existed); });
  if (result == kXpOk) result = Insert(made.get());
  if (result != kXpOk) {
    CloseLockFile(made->fd);
    return result;
  }
  *record = made.release();
  return kXpOk;
}

XpResult XpNamedObjectTable::Open(const XpNamedObjectLocation& location, XpNamedObjectKind kind,
                                  XpNamedObjectRecord** record) {
  std::lock_guard<std::mutex> hold(mutex_);
  DropInheritedRecords();
  if (XpNamedObjectRecord* found = Find(location.path)) {
    ++found->handles;
    *record = found;
    return kXpOk;
  }
  std::unique_ptr<XpNamedObjectRecord> made = NewRecord(location, kind);
  if (made == nullptr) return kXpErrOutOfMemory;
  XpResult result = OpenExisting(location.path, &made->fd);
  if (result != kXpOk) return result;
  result = made->File().WithGuard([&] { return JoinExisting(made.get()); });
  if (result == kXpOk) result = Insert(made.get());
  if (result != kXpOk) {
    CloseLockFile(made->fd);
    return result;
  }
  *record = made.release();
  return kXpOk;
}

void XpNamedObjectTable::Close(XpNamedObjectRecord* record) {
  std::lock_guard<std::mutex> hold(mutex_);
  // An inherited record was closed when the child dropped it; it stays
  // allocated for the handles that still name it.
  if (!IsUsable(record)) return;
  if (--record->handles > 0) return;
  records_.erase(record->path);
  CloseLockFile(record->fd);
  delete record;
}

bool XpNamedObjectTable::IsUsable(const XpNamedObjectRecord* record) {
  return record->pid == ::getpid();
}

// In a forked child, at once: its copies of the parent's descriptors must not
// keep the parent's objects and locks alive. Closing them leaves the parent's
// locks as they are.
void XpNamedObjectTable::CloseInheritedFiles() {
  for (auto& [path, record] : records_) {
    if (record->fd < 0) continue;
    CloseLockFile(record->fd);
    record->fd = -1;
  }
}

void XpNamedObjectTable::DropInheritedRecords() {
  const pid_t self = ::getpid();
  if (pid_ == self) return;
  CloseInheritedFiles();
  records_.clear();
  pid_ = self;
}

XpNamedObjectRecord* XpNamedObjectTable::Find(const std::string& path) {
  auto found = records_.find(path);
  return found != records_.end() ? found->second : nullptr;
}

XpResult XpNamedObjectTable::Insert(XpNamedObjectRecord* record) {
  try {
    records_.emplace(record->path, record);
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}
