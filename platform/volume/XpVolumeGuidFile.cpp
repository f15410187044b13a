#include "platform/volume/XpVolumeGuidFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/path/XpPathQueries.h"

namespace {

constexpr mode_t kFileMode = 0644;
// Rounds of "read, else publish" before giving up; more are needed only
// when other processes keep replacing the file.
constexpr int kAttempts = 3;
constexpr int kTemporaryNameAttempts = 8;
constexpr size_t kGuidBytes = 16;
constexpr size_t kGuidVersionByte = 6;
constexpr size_t kGuidVariantByte = 8;
constexpr uint8_t kGuidVersion4 = 0x40;
constexpr uint8_t kGuidVersionMask = 0x0F;
constexpr uint8_t kGuidVariantRfc = 0x80;
constexpr uint8_t kGuidVariantMask = 0x3F;

enum class Publish { kPublished, kExists, kFailed };

bool FillRandom(void* buffer, size_t size) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t filled = 0;
  while (filled < size) {
    const ssize_t count = ::getrandom(bytes + filled, size - filled, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    filled += static_cast<size_t>(count);
  }
  return true;
}

// Reads up to the file size; the identifier is the text before the first
// zero byte.
bool ReadIdentifier(XpSysCalls& calls, int fd, std::string* id) {
  std::array<char, XpVolumeGuidFile::kFileSize> bytes{};
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = calls.Read(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) break;
    done += static_cast<size_t>(count);
  }
  id->assign(bytes.data(), done);
  const size_t zero = id->find('\0');
  if (zero != std::string::npos) id->erase(zero);
  return true;
}

bool WriteAll(XpSysCalls& calls, int fd, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t count = calls.Write(fd, bytes + done, size - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

// fd still is the file that path names: nobody renamed another over it.
bool StillNamedBy(XpSysCalls& calls, int fd, const XpString& path) {
  struct stat opened {};
  struct stat named {};
  return calls.Fstat(fd, &opened) == 0 && XpFsStat(path, &named) && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// Creates a new hidden temporary file in root; -1 on failure.
int CreateTemporary(XpSysCalls& calls, const XpString& root, XpString* path) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    uint32_t suffix = 0;
    if (!FillRandom(&suffix, sizeof(suffix))) return -1;
    XpString name;
    name.Format(u"%s-%08x.tmp", XpVolumeGuidFile::kFileName, suffix);
    *path = XpPathJoin(root, name);
    const int fd = calls.Open(path->ToMultiByte().CStr(), O_WRONLY | O_CREAT | O_EXCL, kFileMode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes a new identifier file beside path and renames it onto path,
// replacing an existing file only when asked.
Publish PublishNewFile(const XpString& root, const XpString& path, bool replace) {
  const XpStringA guid = XpVolumeGuidFile::NewGuidText();
  if (guid.IsEmpty()) return Publish::kFailed;
  XpSysCalls& calls = XpSysCalls::Current();
  XpString temporary;
  const int fd = CreateTemporary(calls, root, &temporary);
  if (fd < 0) return Publish::kFailed;

  std::array<char, XpVolumeGuidFile::kFileSize> bytes{};
  guid.View().copy(bytes.data(), bytes.size() - 1);
  const bool written = WriteAll(calls, fd, bytes.data(), bytes.size()) && calls.Fsync(fd) == 0;
  const bool closed = calls.Close(fd) == 0;
  if (!written || !closed) {
    XpFsUnlink(temporary);
    return Publish::kFailed;
  }
  // The dot name hides it everywhere; on FAT the attribute does too. The
  // attribute goes with the file through the rename.
  XpFileSetHidden(temporary, true);
  const int error =
      replace ? XpFsRenameReplace(temporary, path) : XpFsRenameNoReplace(temporary, path);
  if (error == 0) return Publish::kPublished;
  XpFsUnlink(temporary);
  return error == EEXIST ? Publish::kExists : Publish::kFailed;
}

// Replaces the empty identifier file open as fd. The lock keeps a second
// process from replacing it again: after waiting, it sees that the name has
// moved on to another file. Where the file system has no such locks the
// file is replaced without one.
Publish ReplaceEmptyFile(XpSysCalls& calls, int fd, const XpString& root, const XpString& path) {
  int locked = ::flock(fd, LOCK_EX);
  while (locked != 0 && errno == EINTR) locked = ::flock(fd, LOCK_EX);
  if (locked == 0 && !StillNamedBy(calls, fd, path)) return Publish::kExists;
  return PublishNewFile(root, path, true);
}

}  // namespace

XpString XpVolumeGuidFile::ReadOrCreate(const XpString& root) {
  if (root.IsEmpty()) return XpString();
  XpSysCalls& calls = XpSysCalls::Current();
  const XpString path = XpPathJoin(root, kFileName);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = calls.Open(path.ToMultiByte().CStr(), O_RDONLY, 0);
    if (fd < 0) {
      if (errno != ENOENT) return XpString();
      if (PublishNewFile(root, path, false) == Publish::kFailed) return XpString();
      continue;
    }
    std::string id;
    if (!ReadIdentifier(calls, fd, &id)) {
      calls.Close(fd);
      return XpString();
    }
    if (!id.empty()) {
      calls.Close(fd);
      return XpStringA(std::string_view(id)).ToWide();
    }
    const Publish outcome = ReplaceEmptyFile(calls, fd, root, path);
    calls.Close(fd);
    if (outcome == Publish::kFailed) return XpString();
  }
  return XpString();
}

XpStringA XpVolumeGuidFile::NewGuidText() {
  std::array<uint8_t, kGuidBytes> b{};
  if (!FillRandom(b.data(), b.size())) return XpStringA();
  b[kGuidVersionByte] =
      static_cast<uint8_t>((b[kGuidVersionByte] & kGuidVersionMask) | kGuidVersion4);
  b[kGuidVariantByte] =
      static_cast<uint8_t>((b[kGuidVariantByte] & kGuidVariantMask) | kGuidVariantRfc);
  char text[64];
  std::snprintf(text, sizeof(text),
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return XpStringA(text);
}
