#include "platform/fs/XpDirectoryOperations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpTreeOperations.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr mode_t kFolderMode = 0777;
constexpr uint32_t kLastProbeNumber = 0xFFFFFFFF;

bool IsAbsolute(const XpString& path) {
  return !path.IsEmpty() && path.CStr()[0] == kXpPathSeparator;
}

XpString ProbeName(uint32_t number) {
  char name[sizeof(".ffffffff.tmp")];
  std::snprintf(name, sizeof(name), ".%08x.tmp", number);
  return XpStringA(name).ToWide();
}

// An existing probe file that is not read-only and opens for reading and
// writing.
bool ExistingProbeIsWritable(const XpString& path) {
  struct stat info {};
  if (!XpFsStat(path, &info) || S_ISDIR(info.st_mode) || XpFsModeIsReadOnly(info.st_mode)) {
    return false;
  }
  XpFile file;
  return file.OpenPath(path, kXpOpenReadWrite) == kXpOk && file.Close() == kXpOk;
}

// fsync of what path names, opened with flags.
[[nodiscard]] XpResult SyncPath(const std::string& path, int flags) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.c_str(), O_RDONLY | flags, 0);
  if (fd < 0) {
    return XpResultFromErrno(errno, path.c_str());
  }
  XpResult result = kXpOk;
  // EINVAL: this file system keeps nothing to flush for a folder.
  if (calls.Fsync(fd) != 0 && !(errno == EINVAL && (flags & O_DIRECTORY) != 0)) {
    result = XpResultFromErrno(errno);
  }
  (void)calls.Close(fd);  // read-only: nothing to lose
  return result;
}

bool IsPlainFile(const std::string& path, const struct dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) {
    return entry.d_type == DT_REG;
  }
  struct stat info {};
  return XpSysCalls::Current().Lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// fsync of every plain file directly in folder (UTF-8, ending in '/').
[[nodiscard]] XpResult SyncFilesIn(const std::string& folder) {
  XpSysCalls& calls = XpSysCalls::Current();
  DIR* dir = calls.Opendir(folder.c_str());
  if (dir == nullptr) {
    return XpResultFromErrno(errno, folder.c_str());
  }
  XpResult result = kXpOk;
  for (struct dirent* entry = calls.Readdir(dir); entry != nullptr && result == kXpOk;
       entry = calls.Readdir(dir)) {
    const std::string path = folder + entry->d_name;
    if (IsPlainFile(path, *entry)) {
      result = SyncPath(path, 0);
    }
  }
  (void)calls.Closedir(dir);
  return result;
}

}  // namespace

int32_t XpFindCharFrom(int32_t start, const XpString& text, char16_t ch) {
  if (start < 0 || start >= text.GetLength()) {
    return -1;
  }
  return text.Find(ch, start);
}

[[nodiscard]] XpResult XpCreateDirectory(const XpString& path) {
  // A relative path would land below whatever the working folder is.
  if (!IsAbsolute(path)) {
    return kXpErrPathNotFound;
  }
  if (XpSysCalls::Current().Mkdir(path.ToMultiByte().CStr(), kFolderMode) == 0) {
    return kXpOk;
  }
  switch (errno) {
    case EEXIST:
      return kXpErrAlreadyExists;
    case ENOENT:
      return kXpErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kXpErrAccessDenied;
    default:
      return XpFsIsFolder(XpPathGetDirectory(path)) ? kXpErrCreateDirFailed : kXpErrPathNotFound;
  }
}

[[nodiscard]] XpResult XpCreateDirectoryTree(const XpString& path) {
  if (!IsAbsolute(path)) {
    return kXpErrCreateDirFailed;
  }
  // A trailing '/' names the same folder, not one more level.
  XpString folder = path;
  if (folder.GetLength() > 1) XpPathRemoveTrailingBackslash(folder);
  // Level by level after the leading '/'.
  for (int32_t end = XpFindCharFrom(1, folder, kXpPathSeparator); end >= 0;
       end = XpFindCharFrom(end + 1, folder, kXpPathSeparator)) {
    const XpResult result = XpCreateDirectory(folder.Left(end));
    if (result != kXpOk && result != kXpErrAlreadyExists) {
      return result;
    }
  }
  return XpCreateDirectory(folder);
}

bool XpIsDirectoryEmpty(const XpString& path) {
  XpDir folder(path);
  if (folder.BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return false;
  }
  const bool empty = !folder.GetNext();
  (void)folder.EndEnum();  // the enumeration begun above
  return empty;
}

bool XpIsDirectoryWritable(const XpString& dir) {
  if (!XpFsIsFolder(dir)) {
    return false;
  }
  for (uint32_t number = 0; number < kLastProbeNumber; ++number) {
    const XpString path = XpPathJoin(dir, ProbeName(number));
    const XpResult result = XpFsCreateNewFile(path);
    if (result == kXpOk) {
      // The probe answered; a probe file that stays is harmless.
      (void)XpDeleteFile(path);
      return true;
    }
    if (result != kXpErrAlreadyExists) {
      return false;
    }
    if (ExistingProbeIsWritable(path)) {
      return true;
    }
  }
  return false;
}

[[nodiscard]] XpResult XpRemoveDirectory(const XpString& path, bool withContents, bool toRecycleBin,
                                         bool asList, IXpFileOpProgressObserver* observer) {
  if (!toRecycleBin) {
    return XpRemoveDirectoryTree(path, withContents, observer);
  }
  if (!withContents && !XpIsDirectoryEmpty(path)) {
    return kXpErrDirNotEmpty;
  }
  return XpDeleteWithProgress(path, true, asList, observer);
}

[[nodiscard]] XpResult XpSyncFolder(const char* path, XpFolderLink link) {
  std::string folder(path);
  if (link == XpFolderLink::kFollow) {
    return SyncPath(folder, O_DIRECTORY);
  }
  // A closing '/' would make the open follow a link all the same.
  while (folder.size() > 1 && folder.back() == '/') {
    folder.pop_back();
  }
  return SyncPath(folder, O_DIRECTORY | O_NOFOLLOW);
}

[[nodiscard]] XpResult XpSyncFileSystem(const XpString& path) {
  const std::string native(path.ToMultiByte().CStr());
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(native.c_str(), O_RDONLY | O_NONBLOCK, 0);
  if (fd < 0) {
    return XpResultFromErrno(errno, native.c_str());
  }
  const XpResult result = calls.Syncfs(fd) == 0 ? kXpOk : XpResultFromErrno(errno);
  (void)calls.Close(fd);  // read-only: nothing to lose
  return result;
}

[[nodiscard]] XpResult XpSyncDirectory(const XpString& path, bool withFiles) {
  std::string folder(path.ToMultiByte().CStr());
  if (folder.empty() || folder.back() != '/') {
    folder += '/';
  }
  if (withFiles) {
    const XpResult synced = SyncFilesIn(folder);
    if (synced != kXpOk) {
      return synced;
    }
  }
  return XpSyncFolder(folder.c_str());
}
