#include "setup/package/ExtractPackageArchive.h"

#include <sys/stat.h>
#include <unzip.h>

#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "setup/package/ReadFileBytes.h"

namespace {

constexpr size_t kNameBufferSize = 2048;
constexpr size_t kBlockSize = 8192;
constexpr mode_t kFileMode = 0644;
constexpr std::string_view kEndRecordSignature("PK\x05\x06", 4);
constexpr size_t kEndRecordSize = 22;
constexpr size_t kEndRecordEntries = 10;
constexpr size_t kEndRecordComment = 20;

struct ArchiveCloser {
  void operator()(void* archive) const { unzClose(archive); }
};
using ArchiveHandle = std::unique_ptr<void, ArchiveCloser>;

// The entry name with every '\' turned into '/'.
std::string EntryName(const char* raw) {
  std::string name(raw);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

bool IsFolderEntry(std::string_view name) { return name.size() >= 2 && name.back() == '/'; }

// Absolute, or with a ".." component.
bool EscapesFolder(std::string_view name) {
  if (name.empty() || name.front() == '/') return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

// The resolved path of an existing folder; empty when it cannot be had.
std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  const char* resolved = XpSysCalls::Current().Realpath(path.c_str(), buffer);
  return resolved == nullptr ? std::string() : std::string(resolved);
}

bool LiesInside(const std::string& path, const std::string& root) {
  if (path == root) return true;
  const std::string prefix = root == "/" ? root : root + "/";
  return path.starts_with(prefix);
}

bool IsLink(const std::string& path) {
  struct stat info {};
  return XpSysCalls::Current().Lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// An archive of no entries is its end record alone, which the unzip reader
// does not find when it starts the file.
bool IsEmptyArchive(const XpString& archive) {
  std::string bytes;
  if (!ReadFileBytes(archive, &bytes) || bytes.size() < kEndRecordSize) return false;
  const auto byteAt = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const size_t entries = byteAt(kEndRecordEntries) | (byteAt(kEndRecordEntries + 1) << 8);
  const size_t comment = byteAt(kEndRecordComment) | (byteAt(kEndRecordComment + 1) << 8);
  return bytes.starts_with(kEndRecordSignature) && entries == 0 &&
         bytes.size() == kEndRecordSize + comment;
}

class EntryWriter {
 public:
  EntryWriter(void* archive, std::string root) : archive_(archive), root_(std::move(root)) {}

  XpResult Extract(const std::string& name) {
    const std::string destination = root_ + "/" + name;
    const std::string parent = destination.substr(0, destination.rfind('/'));
    XpResult result = MakeParent(parent);
    if (XpFailed(result)) return result;
    if (!LiesInside(Resolved(parent), root_)) return kXpErrArchiveEntry;
    if (IsLink(destination)) return kXpErrOpenFailed;
    if (unzOpenCurrentFile(archive_) != UNZ_OK) return kXpErrArchiveEntry;
    return Copy(destination);
  }

 private:
  static XpResult MakeParent(const std::string& parent) {
    const XpString wide = XpString::FromUtf8(parent);
    if (XpDirectoryExists(wide)) return kXpOk;
    const XpResult made = XpCreateDirectoryTree(wide);
    return made == kXpErrAlreadyExists ? kXpOk : made;
  }

  // Reads the open entry into a pending file and publishes it when the
  // entry was read whole and its checksum holds.
  XpResult Copy(const std::string& destination) {
    XpPendingFile file;
    XpPendingFile::Options options;
    options.mode = kFileMode;
    options.exactMode = true;
    XpResult result = file.Create(XpString::FromUtf8(destination), options);
    if (XpFailed(result)) {
      unzCloseCurrentFile(archive_);
      return kXpErrOpenFailed;
    }
    std::vector<char> block(kBlockSize);
    for (;;) {
      const int count =
          unzReadCurrentFile(archive_, block.data(), static_cast<unsigned>(block.size()));
      if (count < 0) result = kXpErrOpenFailed;
      if (count <= 0) break;
      if (XpFailed(file.Write(block.data(), static_cast<size_t>(count)))) {
        result = kXpErrOpenFailed;
        break;
      }
    }
    // A checksum mismatch shows when the entry is closed.
    if (unzCloseCurrentFile(archive_) != UNZ_OK) result = kXpErrOpenFailed;
    if (XpSucceeded(result) && XpFailed(file.Sync())) result = kXpErrOpenFailed;
    // A link made at the destination meanwhile is not replaced either.
    if (XpSucceeded(result) && IsLink(destination)) result = kXpErrOpenFailed;
    if (XpSucceeded(result) && XpFailed(file.Publish(true))) result = kXpErrOpenFailed;
    if (XpFailed(result)) {
      file.Discard();
      return result;
    }
    // The rename is in place; a folder flush that fails loses nothing now.
    (void)file.SyncFolder();
    return kXpOk;
  }

  void* archive_;
  std::string root_;
};

}  // namespace

[[nodiscard]] XpResult ExtractPackageArchive(const XpString& archive, const XpString& folder) {
  ArchiveHandle handle(unzOpen64(archive.ToMultiByte().CStr()));
  if (!handle) return IsEmptyArchive(archive) ? kXpOk : kXpErrOpenFailed;
  std::string root = folder.ToMultiByte().ToStdString();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  XpResult made = XpCreateDirectoryTree(XpString::FromUtf8(root));
  if (made != kXpOk && made != kXpErrAlreadyExists) return made;
  root = Resolved(root);
  if (root.empty()) return kXpErrPathNotFound;

  unz_global_info64 global{};
  if (unzGetGlobalInfo64(handle.get(), &global) != UNZ_OK) return kXpErrOpenFailed;
  if (global.number_entry == 0) return kXpOk;

  EntryWriter writer(handle.get(), root);
  int status = unzGoToFirstFile(handle.get());
  for (; status == UNZ_OK; status = unzGoToNextFile(handle.get())) {
    char raw[kNameBufferSize] = {};
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(handle.get(), &info, raw, sizeof raw - 1, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      return kXpErrArchiveEntry;
    }
    const std::string name = EntryName(raw);
    if (IsFolderEntry(name)) continue;
    if (EscapesFolder(name)) return kXpErrArchiveEntry;
    const XpResult result = writer.Extract(name);
    if (XpFailed(result)) return result;
  }
  return status == UNZ_END_OF_LIST_OF_FILE ? kXpOk : kXpErrOpenFailed;
}
