#include "platform/result/XpResultTranslation.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/fs/XpSysCalls.h"

namespace {

template <typename Key>
struct Translation {
  Key from;
  XpResult to;
};

// Win32 error codes the translations know.
constexpr uint32_t kWin32Success = 0;
constexpr uint32_t kWin32FileNotFound = 2;
constexpr uint32_t kWin32PathNotFound = 3;
constexpr uint32_t kWin32TooManyOpenFiles = 4;
constexpr uint32_t kWin32AccessDenied = 5;
constexpr uint32_t kWin32InvalidHandle = 6;
constexpr uint32_t kWin32NotEnoughMemory = 8;
constexpr uint32_t kWin32OutOfMemory = 14;
constexpr uint32_t kWin32InvalidDrive = 15;
constexpr uint32_t kWin32WriteProtect = 19;
constexpr uint32_t kWin32NotReady = 21;
constexpr uint32_t kWin32SharingViolation = 32;
constexpr uint32_t kWin32HandleEof = 38;
constexpr uint32_t kWin32HandleDiskFull = 39;
constexpr uint32_t kWin32DevNotExist = 55;
constexpr uint32_t kWin32NetworkAccessDenied = 65;
constexpr uint32_t kWin32FileExists = 80;
constexpr uint32_t kWin32OpenFailed = 110;
constexpr uint32_t kWin32DiskFull = 112;
constexpr uint32_t kWin32DirNotEmpty = 145;
constexpr uint32_t kWin32AlreadyExists = 183;
constexpr uint32_t kWin32NotOwner = 288;
constexpr uint32_t kWin32FileInvalid = 1006;
constexpr uint32_t kWin32NotEmpty = 4307;
constexpr uint32_t kWin32SocketNotEmpty = 10066;

// Wait outcomes.
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitAbandoned = 0x80;
constexpr uint32_t kWaitTimeout = 0x102;

constexpr Translation<uint32_t> kWin32Table[] = {
    {kWin32Success, kXpOk},
    {kWin32FileNotFound, kXpErrFileNotFound},
    {kWin32PathNotFound, kXpErrPathNotFound},
    {kWin32TooManyOpenFiles, kXpErrTooManyOpenFiles},
    {kWin32AccessDenied, kXpErrAccessDenied},
    {kWin32NotEnoughMemory, kXpErrOutOfMemory},
    {kWin32OutOfMemory, kXpErrOutOfMemory},
    {kWin32InvalidDrive, kXpErrPathNotFound},
    {kWin32WriteProtect, kXpErrAccessDenied},
    {kWin32NotReady, kXpErrDeviceNotReady},
    {kWin32SharingViolation, kXpErrAccessDenied},
    {kWin32HandleEof, kXpErrEndOfFile},
    {kWin32HandleDiskFull, kXpErrDiskFull},
    {kWin32DevNotExist, kXpErrDeviceNotReady},
    {kWin32NetworkAccessDenied, kXpErrAccessDenied},
    {kWin32FileExists, kXpErrAlreadyExists},
    {kWin32OpenFailed, kXpErrOpenFailed},
    {kWin32DiskFull, kXpErrDiskFull},
    {kWin32DirNotEmpty, kXpErrDirNotEmpty},
    {kWin32AlreadyExists, kXpErrAlreadyExists},
    {kWin32FileInvalid, kXpErrInvalidFile},
    {kWin32NotEmpty, kXpErrDirNotEmpty},
    {kWin32SocketNotEmpty, kXpErrDirNotEmpty},
};

constexpr Translation<uint32_t> kWin32SyncTable[] = {
    {kWin32Success, kXpOk},
    {kWin32InvalidHandle, kXpErrInvalidHandle},
    {kWin32NotOwner, kXpErrNotOwner},
};

constexpr Translation<uint32_t> kWaitTable[] = {
    {kWaitObject0, kXpOk},
    {kWaitAbandoned, kXpErrAbandoned},
    {kWaitTimeout, kXpErrTimeout},
};

constexpr Translation<int> kErrnoTable[] = {
    {0, kXpOk},
    {ENOENT, kXpErrFileNotFound},
    {ENOTDIR, kXpErrPathNotFound},
    {EACCES, kXpErrAccessDenied},
    {EPERM, kXpErrAccessDenied},
    {EROFS, kXpErrAccessDenied},
    {EBUSY, kXpErrAccessDenied},
    {ETXTBSY, kXpErrAccessDenied},
    {EISDIR, kXpErrAccessDenied},
    {ENOSPC, kXpErrDiskFull},
    {EDQUOT, kXpErrDiskFull},
    {EFBIG, kXpErrDiskFull},
    {EEXIST, kXpErrAlreadyExists},
    {ENOTEMPTY, kXpErrDirNotEmpty},
    {EMFILE, kXpErrTooManyOpenFiles},
    {ENFILE, kXpErrTooManyOpenFiles},
    {EIO, kXpErrDeviceNotReady},
    {ENXIO, kXpErrDeviceNotReady},
    {ENODEV, kXpErrDeviceNotReady},
    {ENOMEDIUM, kXpErrDeviceNotReady},
    {ENOMEM, kXpErrOutOfMemory},
};

constexpr Translation<int> kErrnoSyncTable[] = {
    {0, kXpOk},
    {ETIMEDOUT, kXpErrTimeout},
    {EPERM, kXpErrNotOwner},
    {EINVAL, kXpErrInvalidHandle},
    {EBADF, kXpErrInvalidHandle},
};

template <typename Key, size_t N>
std::optional<XpResult> Find(const Translation<Key> (&table)[N], Key from) {
  for (const Translation<Key>& row : table) {
    if (row.from == from) {
      return row.to;
    }
  }
  return std::nullopt;
}

template <typename Key, size_t N>
[[nodiscard]] XpResult Lookup(const Translation<Key> (&table)[N], Key from, XpResult otherwise) {
  return Find(table, from).value_or(otherwise);
}

// The folder that holds path: "." for a bare name, "/" for an entry of the
// root. Trailing separators belong to the last component.
std::string ParentFolder(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) {
    return "/";
  }
  size_t slash = path.find_last_of('/', end);
  if (slash == std::string::npos) {
    return ".";
  }
  size_t parentEnd = path.find_last_not_of('/', slash);
  if (parentEnd == std::string::npos) {
    return "/";
  }
  return path.substr(0, parentEnd + 1);
}

bool FolderIsMissing(const std::string& folder) {
  struct stat info = {};
  if (XpSysCalls::Current().Stat(folder.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR;
  }
  return !S_ISDIR(info.st_mode);
}

}  // namespace

[[nodiscard]] XpResult XpResultFromWin32Error(uint32_t win32Error) {
  return Lookup(kWin32Table, win32Error, kXpErrGeneric);
}

[[nodiscard]] XpResult XpSyncResultFromLastError(uint32_t win32Error) {
  return Lookup(kWin32SyncTable, win32Error, kXpErrSync);
}

[[nodiscard]] XpResult XpSyncResultFromWait(uint32_t waitResult, uint32_t win32Error) {
  if (std::optional<XpResult> result = Find(kWaitTable, waitResult)) {
    return *result;
  }
  // A failed wait: the error it left says why.
  return XpSyncResultFromLastError(win32Error);
}

[[nodiscard]] XpResult XpResultFromErrno(int error) {
  return Lookup(kErrnoTable, error, kXpErrGeneric);
}

[[nodiscard]] XpResult XpResultFromErrno(int error, const char* path) {
  if (error != ENOENT || path == nullptr || *path == '\0') {
    return XpResultFromErrno(error);
  }
  const int savedErrno = errno;
  const bool parentMissing = FolderIsMissing(ParentFolder(path));
  errno = savedErrno;
  return parentMissing ? kXpErrPathNotFound : kXpErrFileNotFound;
}

[[nodiscard]] XpResult XpSyncResultFromErrno(int error) {
  return Lookup(kErrnoSyncTable, error, kXpErrSync);
}
