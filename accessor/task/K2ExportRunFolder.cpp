#include "accessor/task/K2ExportRunFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpTreeOperations.h"
#include "platform/path/XpPath.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kLockMode = 0600;
constexpr int kNameAttempts = 100;

std::string LockPathOf(const XpString& folder) {
  return std::string(XpPathJoin(folder, XpStringA(K2ExportRunFolder::kLockName).ToWide())
                         .ToMultiByte()
                         .View());
}

// An open, locked descriptor of folder's lock file; -1 when the lock is
// held by someone else or cannot be taken.
int TakeLock(const XpString& folder, bool create) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
  const int fd = calls.Open(LockPathOf(folder).c_str(), flags, kLockMode);
  if (fd < 0) {
    return -1;
  }
  if (calls.Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    (void)calls.Close(fd);
    return -1;
  }
  return fd;
}

// A run folder whose lock file is missing was left between its making and
// its lock: its run is gone too.
bool IsAbandoned(const XpString& folder) {
  struct stat info {};
  if (XpSysCalls::Current().Lstat(LockPathOf(folder).c_str(), &info) != 0) {
    return true;
  }
  const int fd = TakeLock(folder, false);
  if (fd < 0) {
    return false;
  }
  (void)XpSysCalls::Current().Close(fd);
  return true;
}

std::vector<XpString> RunFoldersIn(const XpString& tempDir) {
  std::vector<XpString> folders;
  XpSysCalls& calls = XpSysCalls::Current();
  DIR* dir = calls.Opendir(tempDir.ToMultiByte().CStr());
  if (dir == nullptr) {
    return folders;
  }
  const XpStringA narrowPrefix = XpString(K2ExportRunFolder::kNamePrefix).ToMultiByte();
  const std::string_view prefix = narrowPrefix.View();
  for (struct dirent* entry = calls.Readdir(dir); entry != nullptr; entry = calls.Readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.substr(0, prefix.size()) == prefix && name.size() > prefix.size()) {
      folders.push_back(XpPathJoin(tempDir, XpStringA(std::string(name).c_str()).ToWide()));
    }
  }
  (void)calls.Closedir(dir);
  return folders;
}

}  // namespace

K2ExportRunFolder::~K2ExportRunFolder() { Remove(); }

XpString K2ExportRunFolder::PathIn(const XpString& tempDir) {
  if (!path_.IsEmpty() && tempDir == tempDir_) {
    return path_;
  }
  Remove();
  XpSysCalls& calls = XpSysCalls::Current();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    XpString name;
    if (name.Format(u"%s%d-%d", kNamePrefix, static_cast<int32_t>(::getpid()), attempt) != kXpOk) {
      return XpString();
    }
    const XpString folder = XpPathJoin(tempDir, name);
    if (calls.Mkdir(folder.ToMultiByte().CStr(), kFolderMode) != 0) {
      if (errno == EEXIST) {
        continue;
      }
      return XpString();
    }
    lockFd_ = TakeLock(folder, true);
    if (lockFd_ < 0) {
      (void)XpRemoveDirectoryTree(folder, true, nullptr);
      return XpString();
    }
    tempDir_ = tempDir;
    path_ = folder;
    return path_;
  }
  return XpString();
}

void K2ExportRunFolder::Remove() {
  if (!path_.IsEmpty()) {
    // Best effort: a folder that stays is removed by a later run.
    (void)XpRemoveDirectoryTree(path_, true, nullptr);
  }
  if (lockFd_ >= 0) {
    (void)XpSysCalls::Current().Close(lockFd_);
    lockFd_ = -1;
  }
  path_ = XpString();
  tempDir_ = XpString();
}

void K2ExportRunFolder::RemoveAbandoned(const XpString& tempDir) {
  for (const XpString& folder : RunFoldersIn(tempDir)) {
    // The lock of a living run, this one's too, cannot be taken.
    if (!IsAbandoned(folder)) {
      continue;
    }
    (void)XpRemoveDirectoryTree(folder, true, nullptr);
  }
}
