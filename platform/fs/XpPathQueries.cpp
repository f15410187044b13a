#include "platform/fs/XpPathQueries.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
constexpr char16_t kHiddenPrefix = u'.';
constexpr std::string_view kUmaskField = "Umask:";
constexpr int kOctalBase = 8;

struct ErrnoResult {
  int error;
  XpResult result;
};

constexpr ErrnoResult kCreateNewFileErrors[] = {
    {EACCES, kXpErrAccessDenied},  {EPERM, kXpErrAccessDenied},
    {EROFS, kXpErrAccessDenied},   {EEXIST, kXpErrAlreadyExists},
    {EINVAL, kXpErrBadArgument},   {EMFILE, kXpErrTooManyOpenFiles},
    {ENOSPC, kXpErrDiskFull},      {ENOENT, kXpErrPathNotFound},
    {ENOTDIR, kXpErrPathNotFound},
};

std::string ToOs(const XpString& path) { return std::string(path.ToMultiByte().View()); }

// The FAT attribute byte, or nullopt when the path is not on a FAT file
// system or cannot be opened. On FAT the open descriptor is handed to
// openFd when asked for. This branch only runs on a mounted vfat.
std::optional<uint32_t> FatAttributes(const std::string& path, int* openFd = nullptr) {
  struct statfs fileSystem {};
  if (::statfs(path.c_str(), &fileSystem) != 0 || fileSystem.f_type != MSDOS_SUPER_MAGIC) {
    return std::nullopt;
  }
  const int fd = XpSysCalls::Current().Open(path.c_str(), O_RDONLY | O_NONBLOCK, 0);
  if (fd < 0) return std::nullopt;
  uint32_t attributes = 0;
  if (XpSysCalls::Current().Ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) {
    XpSysCalls::Current().Close(fd);
    return std::nullopt;
  }
  if (openFd != nullptr) {
    *openFd = fd;
  } else {
    XpSysCalls::Current().Close(fd);
  }
  return attributes;
}

bool HasDotName(const XpString& path) {
  const XpString leaf = XpPathGetLeafName(path);
  return leaf.GetLength() > 0 && leaf.CStr()[0] == kHiddenPrefix && leaf != u"." && leaf != u"..";
}

// The process's umask, read without changing it (umask() would, for a
// moment, for every thread).
mode_t CurrentUmask() {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (status != nullptr) {
    char line[256];
    while (std::fgets(line, sizeof(line), status) != nullptr) {
      std::string_view text(line);
      if (text.substr(0, kUmaskField.size()) != kUmaskField) continue;
      const mode_t mask = static_cast<mode_t>(
          std::strtoul(line + kUmaskField.size(), nullptr, kOctalBase));
      std::fclose(status);
      return mask;
    }
    std::fclose(status);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

bool EntryMatchesBase(std::string_view entry, std::string_view base) {
  if (entry == "." || entry == "..") return false;
  if (entry.substr(0, base.size()) != base) return false;
  return entry.size() == base.size() || entry[base.size()] == '.';
}

}  // namespace

bool XpPathExists(const XpString& path, bool* isDir) {
  if (path.IsEmpty()) return false;
  const std::string osPath = ToOs(path);
  struct stat info {};
  if (XpSysCalls::Current().Stat(osPath.c_str(), &info) == 0) {
    if (isDir != nullptr) *isDir = S_ISDIR(info.st_mode);
    return true;
  }
  // A dangling symbolic link exists, and is not a folder.
  if (XpSysCalls::Current().Lstat(osPath.c_str(), &info) == 0) {
    if (isDir != nullptr) *isDir = false;
    return true;
  }
  return false;
}

bool XpFileExists(const XpString& path) {
  bool isDir = false;
  return XpPathExists(path, &isDir) && !isDir;
}

bool XpDirectoryExists(const XpString& path) {
  bool isDir = false;
  return XpPathExists(path, &isDir) && isDir;
}

bool XpPathExistsWithAnyExtension(const XpString& path) {
  if (path.IsEmpty()) return false;
  XpString dir;
  XpString base;
  XpPathSplit(path, &dir, &base, nullptr);
  const std::string folder = dir.IsEmpty() ? std::string(".") : ToOs(dir);
  const std::string baseName = ToOs(base);
  DIR* listing = XpSysCalls::Current().Opendir(folder.c_str());
  if (listing == nullptr) return false;
  bool found = false;
  while (const dirent* entry = XpSysCalls::Current().Readdir(listing)) {
    if (EntryMatchesBase(entry->d_name, baseName)) {
      found = true;
      break;
    }
  }
  XpSysCalls::Current().Closedir(listing);
  return found;
}

bool XpFileIsHidden(const XpString& path) {
  if (!XpPathExists(path)) return false;
  if (HasDotName(path)) return true;
  const std::optional<uint32_t> attributes = FatAttributes(ToOs(path));
  return attributes && (*attributes & ATTR_HIDDEN) != 0;
}

bool XpFileIsSystem(const XpString& path) {
  if (path.IsEmpty()) return false;
  const std::optional<uint32_t> attributes = FatAttributes(ToOs(path));
  return attributes && (*attributes & ATTR_SYS) != 0;
}

bool XpFileIsReadOnly(const XpString& path) {
  if (path.IsEmpty()) return false;
  struct stat info {};
  return XpSysCalls::Current().Stat(ToOs(path).c_str(), &info) == 0 && (info.st_mode & kWriteBits) == 0;
}

[[nodiscard]] XpResult XpFileSetHidden(const XpString& path, bool hidden) {
  if (!XpPathExists(path)) return kXpErrFileNotFound;
  int fd = -1;
  const std::optional<uint32_t> attributes = FatAttributes(ToOs(path), &fd);
  if (!attributes) {
    return HasDotName(path) == hidden ? kXpOk : kXpErrNotSupportedByOs;
  }
  uint32_t changed = hidden ? (*attributes | ATTR_HIDDEN) : (*attributes & ~ATTR_HIDDEN);
  const bool refused = XpSysCalls::Current().Ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &changed) != 0;
  XpSysCalls::Current().Close(fd);
  return refused ? kXpErrAccessDenied : kXpOk;
}

[[nodiscard]] XpResult XpFileSetReadOnly(const XpString& path, bool readOnly) {
  const std::string osPath = ToOs(path);
  struct stat info {};
  if (path.IsEmpty() || XpSysCalls::Current().Stat(osPath.c_str(), &info) != 0) {
    return XpResultFromErrno(path.IsEmpty() ? ENOENT : errno, osPath.c_str());
  }
  const mode_t permissions = info.st_mode & kPermissionBits;
  const mode_t wanted =
      readOnly ? (permissions & ~kWriteBits) : (permissions | (kWriteBits & ~CurrentUmask()));
  if (wanted == permissions) return kXpOk;
  if (XpSysCalls::Current().Chmod(osPath.c_str(), wanted) != 0) return XpResultFromErrno(errno, osPath.c_str());
  return kXpOk;
}

[[nodiscard]] XpResult XpCreateNewFile(const XpString& path) {
  const int fd = XpSysCalls::Current().Open(ToOs(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, kNewFileMode);
  if (fd < 0) return XpCreateNewFileResultFromErrno(errno);
  XpSysCalls::Current().Close(fd);
  return kXpOk;
}

[[nodiscard]] XpResult XpCreateNewFileResultFromErrno(int error) {
  for (const ErrnoResult& row : kCreateNewFileErrors) {
    if (row.error == error) return row.result;
  }
  return kXpErrSystem;
}
