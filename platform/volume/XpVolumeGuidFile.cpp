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
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpRestarted.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"

namespace {

constexpr mode_t kFileMode = 0644;
// Rounds of "read, else publish" before giving up; more are needed only
// when other processes keep replacing the file.
constexpr int kAttempts = 3;
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
    const ssize_t count =
        XpRestarted([&] { return ::getrandom(bytes + filled, size - filled, 0); });
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
    if (count < 0) return false;
    if (count == 0) break;
    done += static_cast<size_t>(count);
  }
  id->assign(bytes.data(), done);
  const size_t zero = id->find('\0');
  if (zero != std::string::npos) id->erase(zero);
  return true;
}

// fd still is the file that path names: nobody renamed another over it.
bool StillNamedBy(XpSysCalls& calls, int fd, const XpString& path) {
  struct stat opened {};
  struct stat named {};
  return calls.Fstat(fd, &opened) == 0 && XpFsStat(path, &named) && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// Writes a new identifier file beside path (XpPendingFile) and renames it
// onto path, replacing an existing file only when asked.
Publish PublishNewFile(const XpString& path, bool replace) {
  const XpStringA guid = XpVolumeGuidFile::NewGuidText();
  if (guid.IsEmpty()) return Publish::kFailed;
  std::array<char, XpVolumeGuidFile::kFileSize> bytes{};
  guid.View().copy(bytes.data(), bytes.size() - 1);
  XpPendingFile pending;
  XpPendingFile::Options options;
  options.mode = kFileMode;
  if (pending.Create(path, options) != kXpOk || pending.Write(bytes.data(), bytes.size()) != kXpOk ||
      pending.Sync() != kXpOk) {
    return Publish::kFailed;
  }
  // The dot name hides it everywhere; on FAT the attribute does too, and it
  // goes with the file through the rename. Best effort: the name still hides
  // it where the attribute cannot be set.
  (void)XpFileSetHidden(pending.TempPath().ToWide(), true);
  const XpResult published = pending.Publish(replace);
  if (published == kXpOk) return Publish::kPublished;
  return published == kXpErrAlreadyExists ? Publish::kExists : Publish::kFailed;
}

// Replaces the empty identifier file open as fd. The lock keeps a second
// process from replacing it again: after waiting, it sees that the name has
// moved on to another file. Where the file system has no such locks the
// file is replaced without one.
Publish ReplaceEmptyFile(XpSysCalls& calls, int fd, const XpString& path) {
  const int locked = calls.Flock(fd, LOCK_EX);
  if (locked == 0 && !StillNamedBy(calls, fd, path)) return Publish::kExists;
  return PublishNewFile(path, true);
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
      if (PublishNewFile(path, false) == Publish::kFailed) return XpString();
      continue;
    }
    // fd is only read: its close loses nothing.
    std::string id;
    if (!ReadIdentifier(calls, fd, &id)) {
      (void)calls.Close(fd);
      return XpString();
    }
    if (!id.empty()) {
      (void)calls.Close(fd);
      return XpStringA(std::string_view(id)).ToWide();
    }
    const Publish outcome = ReplaceEmptyFile(calls, fd, path);
    (void)calls.Close(fd);
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
