#include "platform/fs/XpFileOpSupport.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <limits.h>

#include <cerrno>

#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"

namespace {

constexpr mode_t kNewFileMode = 0666;

}  // namespace

bool XpFsLstat(const XpString& path, struct stat* info) {
  return XpSysCalls::Current().Lstat(path.ToMultiByte().CStr(), info) == 0;
}

bool XpFsStat(const XpString& path, struct stat* info) {
  return XpSysCalls::Current().Stat(path.ToMultiByte().CStr(), info) == 0;
}

bool XpFsEntryExists(const XpString& path) {
  struct stat info {};
  return XpFsLstat(path, &info);
}

bool XpFsIsFolder(const XpString& path) {
  struct stat info {};
  return XpFsStat(path, &info) && S_ISDIR(info.st_mode);
}

bool XpFsIsRealFolder(const XpString& path) {
  struct stat info {};
  return XpFsLstat(XpFsEntryPath(path), &info) && S_ISDIR(info.st_mode);
}

XpString XpFsEntryPath(const XpString& path) {
  int32_t length = path.GetLength();
  while (length > 1 && path.CStr()[length - 1] == kXpPathSeparator) {
    --length;
  }
  return path.Left(length);
}

[[nodiscard]] XpResult XpFsCreateNewFile(const XpString& path) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.ToMultiByte().CStr(), O_WRONLY | O_CREAT | O_EXCL, kNewFileMode);
  if (fd < 0) {
    return XpCreateNewFileResultFromErrno(errno);
  }
  calls.Close(fd);
  return kXpOk;
}

int XpFsRenameNoReplace(const XpString& from, const XpString& to) {
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA osFrom = from.ToMultiByte();
  const XpStringA osTo = to.ToMultiByte();
  if (calls.Rename(osFrom.CStr(), osTo.CStr(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  const int error = errno;
  // EINVAL: this file system does not know the flag (or the move is into
  // the source itself, which the plain rename refuses again).
  if (error != EINVAL && error != ENOSYS) {
    return error;
  }
  struct stat info {};
  if (calls.Lstat(osTo.CStr(), &info) == 0) {
    return EEXIST;
  }
  return calls.Rename(osFrom.CStr(), osTo.CStr(), 0) == 0 ? 0 : errno;
}

int XpFsRenameReplace(const XpString& from, const XpString& to) {
  const int status =
      XpSysCalls::Current().Rename(from.ToMultiByte().CStr(), to.ToMultiByte().CStr(), 0);
  return status == 0 ? 0 : errno;
}

int XpFsUnlink(const XpString& path) {
  return XpSysCalls::Current().Unlink(path.ToMultiByte().CStr()) == 0 ? 0 : errno;
}

int XpFsRmdir(const XpString& path) {
  return XpSysCalls::Current().Rmdir(path.ToMultiByte().CStr()) == 0 ? 0 : errno;
}

XpString XpFsRealPath(const XpString& path) {
  char resolved[PATH_MAX];
  if (XpSysCalls::Current().Realpath(path.ToMultiByte().CStr(), resolved) == nullptr) {
    return XpString();
  }
  return XpStringA(resolved).ToWide();
}

XpString XpFsRealParentPath(const XpString& path) {
  const XpString leaf = XpPathGetLeafName(path);
  XpString parent = XpPathGetDirectory(path);
  if (parent.IsEmpty() || leaf.IsEmpty()) {
    return XpString();
  }
  const XpString realParent = XpFsRealPath(parent);
  return realParent.IsEmpty() ? XpString() : XpPathJoin(realParent, leaf);
}
