#include "platform/sync/XpNamedObjectPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr std::u16string_view kGlobalPrefix = u"Global\\";
constexpr size_t kMaxFileName = 255;
constexpr size_t kHashDigits = 16;
constexpr char kHashMark = '~';
constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr mode_t kSharedFolderMode = 01777;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kOthersBits = 077;

constexpr const char* kIpcDirVariable = "KAVO_IPC_DIR";
constexpr const char* kRuntimeDirVariable = "XDG_RUNTIME_DIR";
constexpr const char* kSharedFolder = "/run/lock/kavo";
constexpr const char* kSharedFallback = "/tmp/kavo-global";
constexpr const char* kPrivateFallbackPrefix = "/tmp/kavo-";

const char* Suffix(XpNamedObjectKind kind) {
  switch (kind) {
    case XpNamedObjectKind::kMutex:
      return ".mutex";
    case XpNamedObjectKind::kEvent:
      return ".event";
    case XpNamedObjectKind::kSemaphore:
      return ".sem";
  }
  return ".object";
}

bool IsGlobal(const XpString& name) { return name.View().starts_with(kGlobalPrefix); }

bool IsSafeByte(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.';
}

std::string PercentEncode(std::string_view bytes) {
  std::string encoded;
  for (unsigned char byte : bytes) {
    if (IsSafeByte(byte)) {
      encoded += static_cast<char>(byte);
      continue;
    }
    encoded += '%';
    encoded += kHexDigits[byte >> 4];
    encoded += kHexDigits[byte & 0xF];
  }
  return encoded;
}

// FNV-1a, 64 bits.
uint64_t HashName(std::string_view bytes) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::string Hex64(uint64_t value) {
  std::string digits(kHashDigits, '0');
  for (size_t i = kHashDigits; i-- > 0; value >>= 4) digits[i] = kHexDigits[value & 0xF];
  return digits;
}

// Never cuts a "%XX" sequence in two.
size_t CutAtSequence(const std::string& encoded, size_t keep) {
  if (keep >= 1 && encoded[keep - 1] == '%') return keep - 1;
  if (keep >= 2 && encoded[keep - 2] == '%') return keep - 2;
  return keep;
}

const char* NonEmptyEnv(const char* variable) {
  const char* value = ::getenv(variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// Creates the folder with exactly that mode, or checks the one that is
// there: a real folder, and for a private folder one of the user's own that
// nobody else may enter.
[[nodiscard]] XpResult EnsureFolder(const std::string& folder, mode_t mode, bool isPrivate) {
  XpSysCalls& calls = XpSysCalls::Current();
  if (calls.Mkdir(folder.c_str(), mode) == 0) {
    // Past the umask; a folder that keeps the umask's mode still works.
    (void)calls.Chmod(folder.c_str(), mode);
    return kXpOk;
  }
  if (errno != EEXIST) return XpResultFromErrno(errno, folder.c_str());
  struct stat info {};
  if (calls.Lstat(folder.c_str(), &info) != 0) return XpResultFromErrno(errno, folder.c_str());
  if (!S_ISDIR(info.st_mode)) {
    XpRecordSysFailure("lstat", folder, ENOTDIR);
    return kXpErrAccessDenied;
  }
  if (isPrivate && (info.st_uid != ::geteuid() || (info.st_mode & kOthersBits) != 0)) {
    XpRecordSysFailure("lstat", folder, EACCES);
    return kXpErrAccessDenied;
  }
  return kXpOk;
}

[[nodiscard]] XpResult OverriddenFolder(const char* base, bool global, std::string* folder) {
  if (XpSysCalls::Current().Mkdir(base, 0777) != 0 && errno != EEXIST) {
    return XpResultFromErrno(errno, base);
  }
  *folder = std::string(base) + (global ? "/global" : "/session");
  return EnsureFolder(*folder, global ? kSharedFolderMode : kPrivateFolderMode, !global);
}

[[nodiscard]] XpResult SharedFolder(std::string* folder) {
  *folder = kSharedFolder;
  if (EnsureFolder(*folder, kSharedFolderMode, false) == kXpOk) return kXpOk;
  *folder = kSharedFallback;
  return EnsureFolder(*folder, kSharedFolderMode, false);
}

[[nodiscard]] XpResult PrivateFolder(std::string* folder) {
  if (const char* runtime = NonEmptyEnv(kRuntimeDirVariable)) {
    *folder = std::string(runtime) + "/kavo";
    if (EnsureFolder(*folder, kPrivateFolderMode, true) == kXpOk) return kXpOk;
  }
  *folder = kPrivateFallbackPrefix + std::to_string(::geteuid());
  return EnsureFolder(*folder, kPrivateFolderMode, true);
}

[[nodiscard]] XpResult ObjectFolder(bool global, std::string* folder) {
  if (const char* base = NonEmptyEnv(kIpcDirVariable)) return OverriddenFolder(base, global, folder);
  return global ? SharedFolder(folder) : PrivateFolder(folder);
}

}  // namespace

std::string XpNamedObjectFileName(const XpString& name, XpNamedObjectKind kind) {
  const XpString local = IsGlobal(name) ? name.Mid(static_cast<int32_t>(kGlobalPrefix.size())) : name;
  const std::string suffix = Suffix(kind);
  std::string encoded = PercentEncode(local.ToMultiByte().View());
  if (encoded.size() + suffix.size() <= kMaxFileName) return encoded + suffix;
  const size_t room = kMaxFileName - suffix.size() - 1 - kHashDigits;
  encoded.resize(CutAtSequence(encoded, room));
  return encoded + kHashMark + Hex64(HashName(name.ToMultiByte().View())) + suffix;
}

[[nodiscard]] XpResult XpNamedObjectLocate(const XpString& name, XpNamedObjectKind kind,
                                           XpNamedObjectLocation* location) {
  if (name.IsEmpty()) return kXpErrBadArgument;
  location->global = IsGlobal(name);
  std::string folder;
  const XpResult found = ObjectFolder(location->global, &folder);
  if (found != kXpOk) return found;
  location->path = folder + "/" + XpNamedObjectFileName(name, kind);
  return kXpOk;
}
