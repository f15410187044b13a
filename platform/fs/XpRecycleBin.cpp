#include "platform/fs/XpRecycleBin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpNetworkPath.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpTreeOperations.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/system/XpBlockDevice.h"
#include "platform/system/XpMountTable.h"

namespace {

constexpr mode_t kTrashMode = 0700;
constexpr mode_t kInfoMode = 0600;
constexpr const char16_t* kDefaultDataHome = u".local/share";
constexpr const char16_t* kHomeTrash = u"Trash";
constexpr const char* kVolumeTrashPrefix = ".Trash-";
constexpr const char16_t* kFilesFolder = u"files";
constexpr const char16_t* kInfoFolder = u"info";
constexpr const char16_t* kInfoSuffix = u".trashinfo";
constexpr int kNameAttempts = 10000;
constexpr const char* kHexDigits = "0123456789ABCDEF";
constexpr const char* kDateFormat = "%Y-%m-%dT%H:%M:%S";

[[nodiscard]] XpResult FromErrno(int error, const XpString& path) {
  return XpResultFromErrno(error, path.ToMultiByte().CStr());
}

bool IsAbsolute(const XpString& path) {
  return !path.IsEmpty() && path.CStr()[0] == kXpPathSeparator;
}

XpString AbsoluteFromEnv(const char* name) {
  const char* value = std::getenv(name);
  const XpString path = value != nullptr ? XpStringA(value).ToWide() : XpString();
  return IsAbsolute(path) ? path : XpString();
}

// $XDG_DATA_HOME, else ~/.local/share; "" when neither is known.
XpString DataHome() {
  const XpString dataHome = AbsoluteFromEnv("XDG_DATA_HOME");
  if (!dataHome.IsEmpty()) {
    return dataHome;
  }
  const XpString home = AbsoluteFromEnv("HOME");
  return home.IsEmpty() ? XpString() : XpPathJoin(home, kDefaultDataHome);
}

// The device of path, or of its nearest existing parent.
bool DeviceOfNearest(XpString path, dev_t* device) {
  for (;;) {
    struct stat info {};
    if (XpFsStat(path, &info)) {
      *device = info.st_dev;
      return true;
    }
    const XpString parent = XpPathGetDirectory(path);
    if (parent.IsEmpty() || parent == path) {
      return false;
    }
    path = parent;
  }
}

// The highest folder above entry on the same device.
XpString DeviceTop(const XpString& entry, dev_t device) {
  XpString top = XpPathGetDirectory(entry);
  for (;;) {
    XpString parent = XpPathGetDirectory(top);
    struct stat info {};
    if (parent == top || !XpFsStat(parent, &info) || info.st_dev != device) {
      return top;
    }
    top = parent;
  }
}

bool MustDeletePermanently(const XpMountEntry* mount) {
  return mount != nullptr && (XpIsNetworkFileSystemType(mount->fileSystemType) ||
                              XpBlockDeviceIsRemovable(mount->major, mount->minor));
}

[[nodiscard]] XpResult DeletePermanently(const XpString& entry, const struct stat& info) {
  return S_ISDIR(info.st_mode) ? XpRemoveDirectoryTree(entry, true, nullptr) : XpDeleteFile(entry);
}

// Makes folder (mode 0700) when missing; true when it is then a folder of
// ours and not a link.
bool MakePrivateFolder(const XpString& folder) {
  XpSysCalls::Current().Mkdir(folder.ToMultiByte().CStr(), kTrashMode);
  struct stat info {};
  return XpFsLstat(folder, &info) && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

std::string PercentEncoded(std::string_view bytes) {
  std::string encoded;
  for (const char ch : bytes) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                       byte == '_' || byte == '~' || byte == '/';
    if (plain) {
      encoded += ch;
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0xF];
    }
  }
  return encoded;
}

// The name of the nth try: "name", then "name.2.ext", "name.3.ext", ...
XpString CandidateName(const XpString& leaf, int attempt) {
  if (attempt == 0) {
    return leaf;
  }
  XpString name;
  XpString extension;
  XpPathSplit(leaf, nullptr, &name, &extension);
  if (name.IsEmpty()) {
    name = extension;
    extension = XpString();
  }
  const std::string number = "." + std::to_string(attempt + 1);
  return name + XpStringA(number.c_str()).ToWide() + extension;
}

// Writes the info file; 0 or the errno.
int WriteInfoFile(const XpString& infoFile, const XpStringA& text) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(infoFile.ToMultiByte().CStr(), O_WRONLY | O_CREAT | O_EXCL, kInfoMode);
  if (fd < 0) {
    return errno;
  }
  const std::string_view bytes = text.View();
  int error = XpWriteAll(calls, fd, bytes.data(), bytes.size()) == kXpOk ? 0 : errno;
  if (calls.Close(fd) != 0 && error == 0) {
    error = errno;
  }
  if (error != 0) {
    (void)XpFsUnlink(infoFile);  // the failure to report is the write's
  }
  return error;
}

// Moves entry into the trash folder; recorded is the Path= of its info
// file. 0 or the errno.
int PutIntoTrash(const XpString& trash, const XpString& entry, const XpString& recorded) {
  const XpString files = XpPathJoin(trash, kFilesFolder);
  const XpString info = XpPathJoin(trash, kInfoFolder);
  if (!MakePrivateFolder(files) || !MakePrivateFolder(info)) {
    return EACCES;
  }
  const XpStringA text = XpTrashInfoText(recorded, std::time(nullptr));
  const XpString leaf = XpPathGetLeafName(entry);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const XpString name = CandidateName(leaf, attempt);
    const XpString infoFile = XpPathJoin(info, name + kInfoSuffix);
    const int infoError = WriteInfoFile(infoFile, text);
    if (infoError == EEXIST) {
      continue;
    }
    if (infoError != 0) {
      return infoError;
    }
    const int error = XpFsRenameNoReplace(entry, XpPathJoin(files, name));
    if (error == 0) {
      return 0;
    }
    XpFsUnlink(infoFile);
    if (error != EEXIST) {
      return error;
    }
  }
  return EEXIST;
}

// $topdir/.Trash-$uid of the entry's volume, or a permanent delete when it
// cannot be made.
[[nodiscard]] XpResult TrashOnVolume(const XpString& entry, const struct stat& info,
                                     const XpMountEntry* mount) {
  XpString top = mount != nullptr ? mount->mountPoint : DeviceTop(entry, info.st_dev);
  const std::string trashName = kVolumeTrashPrefix + std::to_string(::getuid());
  const XpString trash = XpPathJoin(top, XpStringA(trashName.c_str()).ToWide());
  if (!MakePrivateFolder(trash)) {
    return DeletePermanently(entry, info);
  }
  XpPathAddTrailingBackslash(top);
  const XpString relative = entry.Mid(top.GetLength());
  const int error = PutIntoTrash(trash, entry, relative);
  return error == 0 ? kXpOk : FromErrno(error, entry);
}

}  // namespace

XpStringA XpTrashInfoText(const XpString& path, time_t deletionTime) {
  struct tm local {};
  char date[sizeof("YYYY-MM-DDThh:mm:ss") + 8] = "";
  if (::localtime_r(&deletionTime, &local) != nullptr) {
    std::strftime(date, sizeof(date), kDateFormat, &local);
  }
  const std::string text = "[Trash Info]\nPath=" + PercentEncoded(path.ToMultiByte().View()) +
                           "\nDeletionDate=" + date + "\n";
  return XpStringA(text.c_str(), static_cast<int32_t>(text.size()));
}

[[nodiscard]] XpResult XpMoveToRecycleBin(const XpString& path) {
  if (!IsAbsolute(path)) {
    return kXpErrPathNotFound;
  }
  // The entry itself (a link is not followed, even as "link/") in its real
  // folder.
  const XpString named = XpFsEntryPath(path);
  struct stat info {};
  if (!XpFsLstat(named, &info)) {
    return FromErrno(errno, named);
  }
  const XpString entry = XpFsRealParentPath(named);
  if (entry.IsEmpty()) {
    return kXpErrPathNotFound;
  }
  XpMountTable table;
  // An unreadable mount table is empty and finds no mount: the entry is deleted permanently.
  (void)table.Load();
  const XpMountEntry* mount = table.FindContaining(entry);
  if (MustDeletePermanently(mount)) {
    return DeletePermanently(entry, info);
  }
  const XpString dataHome = DataHome();
  dev_t homeDevice = 0;
  if (!dataHome.IsEmpty() && DeviceOfNearest(dataHome, &homeDevice) &&
      homeDevice == info.st_dev) {
    const XpString trash = XpPathJoin(dataHome, kHomeTrash);
    const XpResult made = XpCreateDirectoryTree(dataHome);
    if ((made != kXpOk && made != kXpErrAlreadyExists) || !MakePrivateFolder(trash)) {
      return kXpErrAccessDenied;
    }
    const int error = PutIntoTrash(trash, entry, entry);
    // EXDEV: another mount of the same device; its own trash serves.
    if (error != EXDEV) {
      return error == 0 ? kXpOk : FromErrno(error, entry);
    }
  }
  return TrashOnVolume(entry, info, mount);
}
