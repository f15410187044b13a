#include "platform/fs/XpPendingFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/fs/XpWriteback.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr mode_t kPermissionBits = 07777;
// The longest leaf most file systems take, in bytes.
constexpr size_t kMaxLeafBytes = 255;
constexpr int kNameAttempts = 100;
constexpr const char kRandomAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kRandomAlphabetSize = sizeof(kRandomAlphabet) - 1;

using SteadyTime = std::chrono::steady_clock::time_point;

// When this process last cleared each folder of stale temporaries.
std::mutex gClearedMutex;
std::map<std::string, SteadyTime> gCleared;

bool IsRandomCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The folder part of a UTF-8 path ("." for a bare name, "/" for an entry of
// the root) and its leaf.
void SplitPath(std::string_view path, std::string* folder, std::string* leaf) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    *folder = ".";
    *leaf = std::string(path);
    return;
  }
  *folder = slash == 0 ? "/" : std::string(path.substr(0, slash));
  *leaf = std::string(path.substr(slash + 1));
}

// "." + leaf + marker, the leaf cut at a character boundary so that the whole
// temporary name fits in a leaf.
std::string TempPrefix(const std::string& leaf) {
  const size_t fixed = 1 + std::char_traits<char>::length(XpPendingFile::kTempMarker) +
                       XpPendingFile::kRandomLength;
  std::string kept = leaf;
  if (kept.size() + fixed > kMaxLeafBytes) {
    size_t cut = kMaxLeafBytes - fixed;
    // Back up over UTF-8 continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(kept[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    kept.resize(cut);
  }
  return "." + kept + XpPendingFile::kTempMarker;
}

std::string RandomCharacters() {
  unsigned char bytes[XpPendingFile::kRandomLength] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // Any spread will do: O_EXCL settles a clash.
    uint64_t mixed = static_cast<uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned char& byte : bytes) {
      mixed = mixed * 6364136223846793005ULL + 1442695040888963407ULL;
      byte = static_cast<unsigned char>(mixed >> 56);
    }
  }
  std::string text;
  for (unsigned char byte : bytes) {
    text += kRandomAlphabet[byte % kRandomAlphabetSize];
  }
  return text;
}

bool IsOwnTemp(std::string_view name, std::string_view ownPrefix) {
  return !ownPrefix.empty() && name.size() == ownPrefix.size() + XpPendingFile::kRandomLength &&
         name.substr(0, ownPrefix.size()) == ownPrefix;
}

// Removes the temporary at path when no living writer holds it.
void RemoveIfUnheld(XpSysCalls& calls, const std::string& path) {
  const int fd = calls.Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0) {
    return;
  }
  if (calls.Flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Best effort: a temporary that cannot go now goes on a later look.
    (void)calls.Unlink(path.c_str());
  }
  (void)calls.Close(fd);
}

// Clears folder of stale temporaries; those that begin with ownPrefix, or
// every one when anyAge, are stale at any age.
void ClearFolder(XpSysCalls& calls, const std::string& folder, std::string_view ownPrefix,
                 bool anyAge = false) {
  DIR* dir = calls.Opendir(folder.c_str());
  if (dir == nullptr) {
    return;
  }
  const time_t now = std::time(nullptr);
  for (struct dirent* entry = calls.Readdir(dir); entry != nullptr; entry = calls.Readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!XpPendingFile::IsTempName(name)) {
      continue;
    }
    const std::string path = folder + "/" + std::string(name);
    struct stat info {};
    if (calls.Lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      continue;
    }
    const bool stale = now - info.st_ctim.tv_sec >= XpPendingFile::kStaleSeconds;
    if (anyAge || stale || IsOwnTemp(name, ownPrefix)) {
      RemoveIfUnheld(calls, path);
    }
  }
  (void)calls.Closedir(dir);
}

// True when folder is due for a look: not looked at in the last minute.
bool TakeClearingTurn(const std::string& folder) {
  const SteadyTime now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> hold(gClearedMutex);
  auto found = gCleared.find(folder);
  if (found != gCleared.end() &&
      now - found->second < std::chrono::seconds(XpPendingFile::kStaleSeconds)) {
    return false;
  }
  gCleared[folder] = now;
  return true;
}

// A name that stays in its folder: not empty, no '/', not "." or "..".
bool IsLeaf(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Opens the temporary at path for writing: -1 with errno set when it cannot
// be, EEXIST when it is taken and may not be reused.
int OpenTemp(XpSysCalls& calls, const std::string& path, const XpPendingFile::Options& options) {
  if (!options.reuseTempName || options.tempName.empty()) {
    return calls.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, options.mode);
  }
  // Not blocking, so that a pipe left there answers at once.
  const int fd = calls.Open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK,
                            options.mode);
  if (fd < 0) {
    return fd;
  }
  struct stat info {};
  const bool stated = calls.Fstat(fd, &info) == 0;
  const int error = !stated ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  if (stated && S_ISREG(info.st_mode)) {
    return fd;
  }
  // Nothing was written through fd: its close has nothing to lose.
  (void)calls.Close(fd);
  errno = error;
  return -1;
}

}  // namespace

XpPendingFile::~XpPendingFile() { Discard(); }

bool XpPendingFile::IsTempName(std::string_view name) {
  const std::string_view marker = kTempMarker;
  // "." + at least one character of the final name + marker + random part.
  if (name.size() < 2 + marker.size() + kRandomLength || name[0] != '.') {
    return false;
  }
  const size_t randomStart = name.size() - kRandomLength;
  if (name.substr(randomStart - marker.size(), marker.size()) != marker) {
    return false;
  }
  for (char c : name.substr(randomStart)) {
    if (!IsRandomCharacter(c)) {
      return false;
    }
  }
  return true;
}

void XpPendingFile::RemoveStaleTemporaries(const std::string& folder) {
  {
    std::lock_guard<std::mutex> hold(gClearedMutex);
    gCleared[folder] = std::chrono::steady_clock::now();
  }
  ClearFolder(XpSysCalls::Current(), folder, std::string_view());
}

void XpPendingFile::RemoveUnheldTemporaries(const std::string& folder) {
  ClearFolder(XpSysCalls::Current(), folder, std::string_view(), true);
}

XpResult XpPendingFile::Create(const XpString& finalPath, const Options& options) {
  Discard();
  XpSysCalls& calls = XpSysCalls::Current();
  const XpStringA osFinal = finalPath.ToMultiByte();
  std::string folder;
  std::string leaf;
  SplitPath(osFinal.View(), &folder, &leaf);
  if (leaf.empty()) {
    return kXpErrPathNotFound;
  }
  const std::string parent = (folder == "/" ? std::string() : folder) + "/";
  if (!options.tempName.empty()) {
    if (!IsLeaf(options.tempName)) {
      return kXpErrBadArgument;
    }
    const std::string path = parent + options.tempName;
    const int fd = OpenTemp(calls, path, options);
    if (fd < 0) {
      return XpResultFromErrno(errno, path.c_str());
    }
    return Adopt(fd, finalPath, folder, path, options);
  }
  const std::string prefix = TempPrefix(leaf);
  const bool turn = TakeClearingTurn(folder);
  if (turn || options.soleWriter) {
    ClearFolder(calls, folder, options.soleWriter ? std::string_view(prefix) : std::string_view());
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string path = parent + prefix + RandomCharacters();
    const int fd = OpenTemp(calls, path, options);
    if (fd < 0 && errno == EEXIST) {
      continue;
    }
    if (fd < 0) {
      return XpResultFromErrno(errno, path.c_str());
    }
    return Adopt(fd, finalPath, folder, path, options);
  }
  return kXpErrAlreadyExists;
}

XpResult XpPendingFile::Adopt(int fd, const XpString& finalPath, const std::string& folder,
                              const std::string& path, const Options& options) {
  XpSysCalls& calls = XpSysCalls::Current();
  fd_ = fd;
  appended_ = 0;
  finalPath_ = finalPath;
  folder_ = XpStringA(folder.c_str());
  tempPath_ = XpStringA(path.c_str());
  // Keeps the temporary from other writers' clearing while it lives; a
  // file system without flock leaves only the age to protect it.
  (void)calls.Flock(fd_, LOCK_EX | LOCK_NB);
  if (options.exactMode && calls.Fchmod(fd_, options.mode & kPermissionBits) != 0) {
    const XpResult result = XpResultFromErrno(errno);
    Discard();
    return result;
  }
  return kXpOk;
}

XpResult XpPendingFile::Write(const void* bytes, size_t count) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  XpSysCalls& calls = XpSysCalls::Current();
  size_t written = 0;
  const XpResult result = XpWriteAll(calls, fd_, bytes, count, &written);
  if (written >= kWritebackBytes) {
    XpStartWriteback(calls, fd_, static_cast<off_t>(appended_), static_cast<off_t>(written));
  }
  appended_ += written;
  return result;
}

XpResult XpPendingFile::Sync() {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  return XpSysCalls::Current().Fsync(fd_) == 0 ? kXpOk : XpResultFromErrno(errno);
}

XpResult XpPendingFile::PublishAs(const XpString& path, bool replace) {
  if (tempPath_.IsEmpty()) {
    return kXpErrNotOpen;
  }
  if (IsOpen()) {
    const int fd = fd_;
    fd_ = -1;
    // A failed close may have lost written bytes: the file is not whole.
    if (XpSysCalls::Current().Close(fd) != 0) {
      return XpResultFromErrno(errno);
    }
  }
  const XpString temp = tempPath_.ToWide();
  const int error = replace ? XpFsRenameReplace(temp, path) : XpFsRenameNoReplace(temp, path);
  if (error != 0) {
    return XpResultFromErrno(error, path.ToMultiByte().CStr());
  }
  tempPath_ = XpStringA();
  return kXpOk;
}

XpResult XpPendingFile::SyncFolder() {
  if (folder_.IsEmpty()) {
    return kXpErrNotOpen;
  }
  return XpSyncFolder(folder_.CStr());
}

void XpPendingFile::CloseFile() {
  if (fd_ < 0) {
    return;
  }
  // Only a file that is discarded closes here: what it held goes anyway.
  (void)XpSysCalls::Current().Close(fd_);
  fd_ = -1;
}

void XpPendingFile::Discard() {
  CloseFile();
  if (!tempPath_.IsEmpty()) {
    // A temporary that cannot be removed now (the medium is gone) is
    // cleared by a later writer into the folder.
    (void)XpSysCalls::Current().Unlink(tempPath_.CStr());
    tempPath_ = XpStringA();
  }
}

[[nodiscard]] XpResult XpReplaceFileAtomically(const XpString& path, std::string_view bytes,
                                               mode_t mode) {
  XpPendingFile::Options options;
  options.mode = mode;
  return XpReplaceFileAtomically(path, bytes, options);
}

[[nodiscard]] XpResult XpReplaceFileAtomically(const XpString& path, std::string_view bytes,
                                               const XpPendingFile::Options& options) {
  XpPendingFile file;
  XpResult result = file.Create(path, options);
  if (result != kXpOk) {
    return result;
  }
  struct stat existing {};
  if (XpFsStat(path, &existing) && S_ISREG(existing.st_mode)) {
    // Best effort, as on a file system without permission bits.
    (void)XpSysCalls::Current().Fchmod(file.Fd(), existing.st_mode & kPermissionBits);
  }
  result = file.Write(bytes);
  if (result == kXpOk) {
    result = file.Sync();
  }
  if (result == kXpOk) {
    result = file.Publish(true);
  }
  if (result == kXpOk) {
    result = file.SyncFolder();
  }
  return result;
}
