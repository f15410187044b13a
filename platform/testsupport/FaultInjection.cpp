#include "platform/testsupport/FaultInjection.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fs/XpSysCalls.h"

namespace testsupport {

Fault::Fault(SysCall call, std::string pathPrefix) : call_(call), prefix_(std::move(pathPrefix)) {}

Fault& Fault::Errno(int error) {
  error_ = error;
  return *this;
}

Fault& Fault::FromCall(int nth) {
  fromCall_ = nth;
  return *this;
}

Fault& Fault::Times(int count) {
  times_ = count;
  return *this;
}

Fault& Fault::AfterBytes(uint64_t bytes) {
  afterBytes_ = bytes;
  return *this;
}

Fault& Fault::AtMost(size_t bytes) {
  atMost_ = bytes;
  return *this;
}

Fault& Fault::ForWriting() {
  forWriting_ = true;
  return *this;
}

namespace {

constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();
constexpr int kNoRule = -1;

// What the rules decided for one call.
struct Verdict {
  int error = 0;
  size_t limit = kNoLimit;
  // The rule whose byte allowance the call spends.
  int allowanceRule = kNoRule;
};

bool HasPrefix(std::string_view path, const std::string& prefix) {
  return path.substr(0, prefix.size()) == prefix;
}

std::string JoinedPath(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') {
    path += '/';
  }
  return path + name;
}

// The path a descriptor opened elsewhere is open on; empty when unknown.
std::string PathOfDescriptor(int fd) {
  char target[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

}  // namespace

// The seam replacement behind FaultInjection.
class FaultySysCalls final : public XpSysCallsWrapper {
 public:
  explicit FaultySysCalls(XpSysCalls& target) : XpSysCallsWrapper(target) {}

  int Add(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.push_back(Rule{fault, 0, 0, 0, fault.afterBytes_});
    return static_cast<int>(rules_.size()) - 1;
  }

  int Hits(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id < 0 || id >= static_cast<int>(rules_.size())) {
      return 0;
    }
    return rules_[id].hits;
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
  }

  int Open(const char* path, int flags, mode_t mode) override {
    bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (Fail(Judge(SysCall::kOpen, {path}, 0, writing))) {
      return -1;
    }
    int fd = Target().Open(path, flags, mode);
    if (fd >= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      fdPaths_[fd] = path;
    }
    return fd;
  }

  // Judged as an open of the folder's path joined with name.
  int Openat(int dirFd, const char* name, int flags, mode_t mode) override {
    const Paths folder = PathsOf(dirFd);
    const std::string path = JoinedPath(folder.empty() ? PathOfDescriptor(dirFd) : folder.front(), name);
    bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (Fail(Judge(SysCall::kOpen, {path}, 0, writing))) {
      return -1;
    }
    int fd = Target().Openat(dirFd, name, flags, mode);
    if (fd >= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      fdPaths_[fd] = path;
    }
    return fd;
  }

  int Close(int fd) override {
    Verdict verdict = Judge(SysCall::kClose, PathsOf(fd), 0, false);
    int result = Target().Close(fd);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fdPaths_.erase(fd);
    }
    // The descriptor is gone either way, as after a real failed close.
    return Fail(verdict) ? -1 : result;
  }

  ssize_t Read(int fd, void* buffer, size_t count) override {
    Verdict verdict = Judge(SysCall::kRead, PathsOf(fd), count, false);
    if (Fail(verdict)) {
      return -1;
    }
    ssize_t moved = Target().Read(fd, buffer, std::min(count, verdict.limit));
    Spend(verdict, moved);
    return moved;
  }

  ssize_t Write(int fd, const void* buffer, size_t count) override {
    Verdict verdict = Judge(SysCall::kWrite, PathsOf(fd), count, false);
    if (Fail(verdict)) {
      return -1;
    }
    ssize_t moved = Target().Write(fd, buffer, std::min(count, verdict.limit));
    Spend(verdict, moved);
    return moved;
  }

  ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override {
    Verdict verdict = Judge(SysCall::kRead, PathsOf(fd), count, false);
    if (Fail(verdict)) {
      return -1;
    }
    ssize_t moved = Target().Pread(fd, buffer, std::min(count, verdict.limit), offset);
    Spend(verdict, moved);
    return moved;
  }

  ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override {
    Verdict verdict = Judge(SysCall::kWrite, PathsOf(fd), count, false);
    if (Fail(verdict)) {
      return -1;
    }
    ssize_t moved = Target().Pwrite(fd, buffer, std::min(count, verdict.limit), offset);
    Spend(verdict, moved);
    return moved;
  }

  // The call as a whole, then its read side and its write side.
  ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                        size_t count) override {
    Paths both = PathsOf(inFd);
    const Paths out = PathsOf(outFd);
    both.insert(both.end(), out.begin(), out.end());
    if (Fail(Judge(SysCall::kCopyFileRange, both))) {
      return -1;
    }
    Verdict read = Judge(SysCall::kRead, PathsOf(inFd), count, false);
    if (Fail(read)) {
      return -1;
    }
    Verdict write = Judge(SysCall::kWrite, out, std::min(count, read.limit), false);
    if (Fail(write)) {
      return -1;
    }
    const size_t limit = std::min({count, read.limit, write.limit});
    ssize_t moved = Target().CopyFileRange(inFd, inOffset, outFd, outOffset, limit);
    Spend(read, moved);
    Spend(write, moved);
    return moved;
  }

  off_t Lseek(int fd, off_t offset, int whence) override {
    return Fail(Judge(SysCall::kLseek, PathsOf(fd))) ? -1 : Target().Lseek(fd, offset, whence);
  }
  int Ftruncate(int fd, off_t length) override {
    return Fail(Judge(SysCall::kFtruncate, PathsOf(fd))) ? -1 : Target().Ftruncate(fd, length);
  }
  int Fsync(int fd) override {
    return Fail(Judge(SysCall::kFsync, PathsOf(fd))) ? -1 : Target().Fsync(fd);
  }
  int SyncFileRange(int fd, off_t offset, off_t count, unsigned int flags) override {
    return Fail(Judge(SysCall::kSyncFileRange, PathsOf(fd))) ? -1
                                                             : Target().SyncFileRange(fd, offset, count, flags);
  }
  int Syncfs(int fd) override {
    return Fail(Judge(SysCall::kSyncfs, PathsOf(fd))) ? -1 : Target().Syncfs(fd);
  }
  int Fstat(int fd, struct stat* out) override {
    return Fail(Judge(SysCall::kFstat, PathsOf(fd))) ? -1 : Target().Fstat(fd, out);
  }
  int Fstatfs(int fd, struct statfs* out) override {
    return Fail(Judge(SysCall::kFstatfs, PathsOf(fd))) ? -1 : Target().Fstatfs(fd, out);
  }
  int Fadvise(int fd, off_t offset, off_t length, int advice) override {
    return Fail(Judge(SysCall::kFadvise, PathsOf(fd))) ? -1
                                                       : Target().Fadvise(fd, offset, length, advice);
  }
  int Fchmod(int fd, mode_t mode) override {
    return Fail(Judge(SysCall::kFchmod, PathsOf(fd))) ? -1 : Target().Fchmod(fd, mode);
  }
  int Ioctl(int fd, unsigned long request, void* argument) override {
    return Fail(Judge(SysCall::kIoctl, PathsOf(fd))) ? -1 : Target().Ioctl(fd, request, argument);
  }
  int FcntlLock(int fd, int command, struct flock* lock) override {
    return Fail(Judge(SysCall::kFcntlLock, PathsOf(fd))) ? -1 : Target().FcntlLock(fd, command, lock);
  }
  int Flock(int fd, int operation) override {
    return Fail(Judge(SysCall::kFlock, PathsOf(fd))) ? -1 : Target().Flock(fd, operation);
  }
  int Mkdir(const char* path, mode_t mode) override {
    return Fail(Judge(SysCall::kMkdir, {path})) ? -1 : Target().Mkdir(path, mode);
  }
  int Rmdir(const char* path) override {
    return Fail(Judge(SysCall::kRmdir, {path})) ? -1 : Target().Rmdir(path);
  }
  int Unlink(const char* path) override {
    return Fail(Judge(SysCall::kUnlink, {path})) ? -1 : Target().Unlink(path);
  }
  int Rename(const char* from, const char* to, unsigned int flags) override {
    return Fail(Judge(SysCall::kRename, {from, to})) ? -1 : Target().Rename(from, to, flags);
  }
  int Stat(const char* path, struct stat* out) override {
    return Fail(Judge(SysCall::kStat, {path})) ? -1 : Target().Stat(path, out);
  }
  int Lstat(const char* path, struct stat* out) override {
    return Fail(Judge(SysCall::kLstat, {path})) ? -1 : Target().Lstat(path, out);
  }
  int Statx(const char* path, int flags, unsigned int mask, struct statx* out) override {
    return Fail(Judge(SysCall::kStatx, {path})) ? -1 : Target().Statx(path, flags, mask, out);
  }
  int Chmod(const char* path, mode_t mode) override {
    return Fail(Judge(SysCall::kChmod, {path})) ? -1 : Target().Chmod(path, mode);
  }
  int Access(const char* path, int mode) override {
    return Fail(Judge(SysCall::kAccess, {path})) ? -1 : Target().Access(path, mode);
  }
  int Utimensat(const char* path, const struct timespec times[2], int flags) override {
    return Fail(Judge(SysCall::kUtimensat, {path})) ? -1 : Target().Utimensat(path, times, flags);
  }
  int Statvfs(const char* path, struct statvfs* out) override {
    return Fail(Judge(SysCall::kStatvfs, {path})) ? -1 : Target().Statvfs(path, out);
  }
  int Symlink(const char* target, const char* linkPath) override {
    return Fail(Judge(SysCall::kSymlink, {linkPath})) ? -1 : Target().Symlink(target, linkPath);
  }
  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    return Fail(Judge(SysCall::kReadlink, {path})) ? -1 : Target().Readlink(path, buffer, size);
  }
  char* Realpath(const char* path, char* resolved) override {
    return Fail(Judge(SysCall::kRealpath, {path})) ? nullptr : Target().Realpath(path, resolved);
  }

  DIR* Opendir(const char* path) override {
    if (Fail(Judge(SysCall::kOpendir, {path}))) {
      return nullptr;
    }
    DIR* dir = Target().Opendir(path);
    if (dir != nullptr) {
      std::lock_guard<std::mutex> lock(mutex_);
      dirPaths_[dir] = path;
    }
    return dir;
  }

  struct dirent* Readdir(DIR* dir) override {
    return Fail(Judge(SysCall::kReaddir, PathsOf(dir))) ? nullptr : Target().Readdir(dir);
  }

  int Pipe2(int fds[2], int flags) override {
    return Fail(Judge(SysCall::kPipe, {})) ? -1 : Target().Pipe2(fds, flags);
  }
  int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
            const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) override {
    return Fail(Judge(SysCall::kSpawn, {path})) ? -1 : Target().Spawn(pid, path, actions, attributes, argv, envp);
  }
  int Closedir(DIR* dir) override {
    Verdict verdict = Judge(SysCall::kClosedir, PathsOf(dir));
    int result = Target().Closedir(dir);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dirPaths_.erase(dir);
    }
    return Fail(verdict) ? -1 : result;
  }

 private:
  struct Rule {
    Fault fault;
    int seen;
    int hits;
    int failures;
    uint64_t allowance;
  };

  // The paths a call works on; an empty list for a descriptor opened
  // elsewhere.
  using Paths = std::vector<std::string>;

  Paths PathsOf(int fd) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = fdPaths_.find(fd);
    return it == fdPaths_.end() ? Paths{} : Paths{it->second};
  }

  Paths PathsOf(DIR* dir) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = dirPaths_.find(dir);
    return it == dirPaths_.end() ? Paths{} : Paths{it->second};
  }

  static bool Matches(const Fault& fault, SysCall call, const Paths& paths, bool writing) {
    if (fault.call_ != call || (fault.forWriting_ && !writing)) {
      return false;
    }
    if (fault.prefix_.empty()) {
      return true;
    }
    return std::any_of(paths.begin(), paths.end(),
                       [&](const std::string& path) { return HasPrefix(path, fault.prefix_); });
  }

  static bool Exhausted(const Rule& rule) {
    return rule.fault.times_ >= 0 && rule.failures >= rule.fault.times_;
  }

  // Applies every matching rule to one call of count bytes (0 for calls
  // that move no data).
  Verdict Judge(SysCall call, const Paths& paths, size_t count = 0, bool writing = false) {
    std::lock_guard<std::mutex> lock(mutex_);
    Verdict verdict;
    for (size_t i = 0; i < rules_.size(); ++i) {
      Rule& rule = rules_[i];
      if (!Matches(rule.fault, call, paths, writing)) {
        continue;
      }
      ++rule.seen;
      if (rule.seen < rule.fault.fromCall_ || Exhausted(rule)) {
        continue;
      }
      if (Apply(rule, static_cast<int>(i), count, verdict)) {
        return verdict;
      }
    }
    return verdict;
  }

  // One acting rule; true when it fails the call.
  static bool Apply(Rule& rule, int id, size_t count, Verdict& verdict) {
    const Fault& fault = rule.fault;
    bool cut = false;
    if (fault.atMost_ > 0 && fault.atMost_ < count) {
      verdict.limit = std::min(verdict.limit, fault.atMost_);
      cut = true;
    }
    bool spendsAllowance = fault.error_ != 0 && rule.allowance > 0 && count > 0;
    if (spendsAllowance) {
      if (rule.allowance < count) {
        verdict.limit = std::min<uint64_t>(verdict.limit, rule.allowance);
        cut = true;
      }
      verdict.allowanceRule = id;
    }
    bool fails = fault.error_ != 0 && !spendsAllowance;
    if (fails) {
      verdict.error = fault.error_;
      ++rule.failures;
    }
    if (cut || fails) {
      ++rule.hits;
    }
    return fails;
  }

  void Spend(const Verdict& verdict, ssize_t moved) {
    if (verdict.allowanceRule == kNoRule || moved <= 0) {
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (verdict.allowanceRule < static_cast<int>(rules_.size())) {
      uint64_t& allowance = rules_[verdict.allowanceRule].allowance;
      allowance -= std::min<uint64_t>(allowance, static_cast<uint64_t>(moved));
    }
  }

  static bool Fail(const Verdict& verdict) {
    if (verdict.error == 0) {
      return false;
    }
    errno = verdict.error;
    return true;
  }

  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::map<int, std::string> fdPaths_;
  std::map<DIR*, std::string> dirPaths_;
};

FaultInjection::FaultInjection()
    : calls_(std::make_unique<FaultySysCalls>(XpSysCalls::Current())) {
  XpSysCalls::Install(calls_.get());
}

FaultInjection::~FaultInjection() { XpSysCalls::Install(&calls_->Target()); }

int FaultInjection::Add(const Fault& fault) { return calls_->Add(fault); }

int FaultInjection::Hits(int id) const { return calls_->Hits(id); }

void FaultInjection::Clear() { calls_->Clear(); }

}  // namespace testsupport
