#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/common/InstallerError.h"
#include "installer-actions/common/InstallerWildcard.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpPrivateProfile.h"
#include "platform/fs/XpShellOperations.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpTreeOperations.h"
#include "platform/path/XpPath.h"
#include "platform/fs/XpReadWholeFile.h"
#include "platform/text/XpUtf.h"
#include "platform/volume/XpVolume.h"

namespace {

constexpr char16_t kSeparator = u'/';
constexpr const char16_t* kVersionFileName = u"Version.txt";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr size_t kVersionComponents = 4;
constexpr int64_t kDecimalBase = 10;
// Paths of the searches are built in buffers of this many units.
constexpr int32_t kSearchPathCapacity = 261;

struct FolderEntry {
  XpString name;
  bool isFolder = false;
};

// The entries of a folder but "." and "..", in code-unit order of their
// names; a link is never a folder here, whatever it points to.
std::vector<FolderEntry> ListFolder(const XpString& folder) {
  std::vector<FolderEntry> entries;
  XpSysCalls& calls = XpSysCalls::Current();
  DIR* dir = calls.Opendir(folder.ToMultiByte().CStr());
  if (dir == nullptr) return entries;
  while (const dirent* entry = calls.Readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry item;
    item.name = XpString::FromUtf8(name);
    struct stat info {};
    const XpString path = folder + u"/" + item.name;
    item.isFolder = calls.Lstat(path.ToMultiByte().CStr(), &info) == 0 && S_ISDIR(info.st_mode);
    entries.push_back(std::move(item));
  }
  (void)calls.Closedir(dir);  // opened for reading
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name.View() < b.name.View(); });
  return entries;
}

// folder '/' name, or "" when that does not fit the search's buffers.
XpString SearchPath(const XpString& folder, const XpString& name) {
  XpString path = folder + u"/" + name;
  return path.GetLength() < kSearchPathCapacity ? path : XpString();
}

// The names of a path between its '/' separators, empty ones dropped.
XpStringVector PathComponents(const XpString& path) {
  XpStringVector parts;
  const std::u16string_view text = path.View();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(kSeparator, start);
    if (end == std::u16string_view::npos) end = text.size();
    if (end > start) parts.push_back(XpString(text.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

// A path DeleteFiles must never touch: empty, relative, holding "..", the
// root, or a volume root (also one reached through links in its parents).
bool IsGuardedPath(const XpString& path) {
  if (path.IsEmpty() || path.CStr()[0] != kSeparator) return true;
  XpString normal;
  for (const XpString& part : PathComponents(path)) {
    if (part == u"..") return true;
    if (part == u".") continue;
    normal += kSeparator;
    normal += part;
  }
  if (normal.IsEmpty()) return true;
  XpString resolved = normal;
  const XpString parent = XpPathGetDirectory(normal);
  char* real = XpSysCalls::Current().Realpath(parent.ToMultiByte().CStr(), nullptr);
  if (real != nullptr) {
    XpString realParent = XpString::FromUtf8(real);
    std::free(real);
    XpPathAddTrailingBackslash(realParent);
    resolved = realParent + XpPathGetLeafName(normal);
  }
  return XpPathGetRoot(resolved) == resolved + u"/";
}

InstallerError CopyPath(const XpString& from, const XpString& to) {
  if (from.IsEmpty() || to.IsEmpty()) return InstallerErrorWithoutErrno(kWin32InvalidParameter);
  if (!XpPathExists(from)) return InstallerErrorFromResult(kXpErrFileNotFound);
  XpString source = from;
  XpPathRemoveTrailingBackslash(source);
  const XpString target = XpDirectoryExists(to) ? XpPathJoin(to, XpPathGetLeafName(source)) : to;
  const XpString parent = XpPathGetDirectory(target);
  if (!parent.IsEmpty() && !XpDirectoryExists(parent)) {
    const XpResult made = XpCreateDirectoryTree(parent);
    if (made != kXpOk && made != kXpErrAlreadyExists) return InstallerErrorFromResult(made);
  }
  return InstallerErrorFromResult(XpShellCopyOrMoveEach({source}, {target}, false));
}

InstallerError DeletePath(const XpString& path) {
  if (IsGuardedPath(path)) return InstallerErrorWithoutErrno(kWin32InvalidParameter);
  struct stat info {};
  if (XpSysCalls::Current().Lstat(path.ToMultiByte().CStr(), &info) != 0) {
    return InstallerErrorFromResult(kXpErrFileNotFound);
  }
  // A folder goes with everything below it; links are unlinked, never followed.
  if (S_ISDIR(info.st_mode)) return InstallerErrorFromResult(XpRemoveDirectoryTree(path, true, nullptr));
  return InstallerErrorFromResult(XpDeleteWithProgress(path, false, false, nullptr));
}

// A component as the C library's wide atoi reads it: blanks, a sign, then
// digits up to the first other unit; clamped to 32 bits.
int32_t ComponentValue(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = std::min<int64_t>(value * kDecimalBase + (text[i] - u'0'), int64_t{INT32_MAX} + 1);
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// At most four components of a dotted version.
std::vector<int32_t> VersionComponents(const XpString& version) {
  std::vector<int32_t> components;
  const std::u16string_view text = version.View();
  size_t start = 0;
  while (components.size() < kVersionComponents) {
    const size_t dot = text.find(u'.', start);
    components.push_back(ComponentValue(text.substr(start, dot == std::u16string_view::npos ? dot : dot - start)));
    if (dot == std::u16string_view::npos) break;
    start = dot + 1;
  }
  return components;
}

}  // namespace

uint32_t InstallerCommonFunction::FileOperation(const XpString& from, const XpString& to, uint32_t operation,
                                                uint32_t flags) {
  // Nobody is there to answer: every operation runs as if confirmed and
  // silent, whatever the flags ask.
  (void)flags;
  SetInstallerLastError(InstallerError{});
  InstallerError error = InstallerErrorWithoutErrno(kWin32InvalidParameter);
  if (operation == kOperationCopy) error = CopyPath(from, to);
  if (operation == kOperationDelete) error = DeletePath(from);
  SetInstallerLastError(error);
  LogTitled(u"SHFileOperation", InstallerSystemMessage(GetInstallerLastError()));
  LogTitled(u"Path To", to);
  LogTitled(u"Path From", from);
  return error.code;
}

uint32_t InstallerCommonFunction::CopyFiles(const XpString& from, const XpString& to) {
  constexpr uint32_t kNoConfirmation = 0x210;
  return FileOperation(from, to, kOperationCopy, kNoConfirmation);
}

uint32_t InstallerCommonFunction::DeleteFiles(const XpString& path) {
  constexpr uint32_t kSilentPermanent = 0x614;
  return FileOperation(path, XpString(), kOperationDelete, kSilentPermanent);
}

void InstallerCommonFunction::CreateTargetFilePath(const XpString& folder, const XpString& name,
                                                   XpString& output) {
  XpString path = folder;
  if (path.IsEmpty() || path.CStr()[path.GetLength() - 1] != kSeparator) path += kSeparator;
  path += name;
  if (path.GetLength() < kPathLimit) output = path;
  XpString message;
  (void)message.Format(u"Input Path: %s\nInput File Name: %s\nOutput Path: %s", folder, name, output);
  Log(message, u"CreateTargetFilePath");
}

uint32_t InstallerCommonFunction::GetVersionString(const XpString& folder, XpString& output, uint32_t capacity) {
  XpString path;
  CreateTargetFilePath(folder, kVersionFileName, path);
  std::vector<uint8_t> bytes;
  uint32_t result = kNotFound;
  if (!path.IsEmpty() && XpFileExists(path) && XpSucceeded(XpReadWholeFile(path, &bytes))) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::u16string line = XpUtf8ToUtf16(text);
    const size_t kept = capacity > 0 ? std::min<size_t>(line.size(), capacity - 1) : 0;
    output = XpString(std::u16string_view(line).substr(0, kept));
    result = 0;
  }
  XpString message;
  (void)message.Format(u"Return Code: %d\nPath: %s\nVesion : %s", result, folder, output);
  Log(message, u"GetVersionString Result");
  return result;
}

int32_t InstallerCommonFunction::IsNotOlderVersion(const XpString& candidateFolder,
                                                   const XpString& installedFolder) {
  XpString version;
  if (GetVersionString(installedFolder, version) != 0) return 1;
  const std::vector<int32_t> installed = VersionComponents(version);
  // When the candidate cannot be read, the installed text stays and both
  // compare equal.
  (void)GetVersionString(candidateFolder, version);
  const std::vector<int32_t> candidate = VersionComponents(version);
  for (size_t i = 0; i < std::max(candidate.size(), installed.size()); ++i) {
    // Past its last component a version compares lower than any component.
    if (i == candidate.size()) return 0;
    if (i == installed.size()) return 1;
    if (candidate[i] != installed[i]) return candidate[i] > installed[i] ? 1 : 0;
  }
  return 1;
}

uint32_t InstallerCommonFunction::GetKeyValueIni(const XpString& path, const XpString& section, const XpString& key,
                                                 XpString& output, uint32_t capacity) {
  XpString message;
  (void)message.Format(u"File Path: %s\n Section Name: %s\nKey Name: %s", path, section, key);
  Log(message, u"GetKeyValueString Excute");
  output = XpGetPrivateProfileString(section, key, XpString(), capacity, path);
  Log(message, u"GetKeyValueIni");
  return output.IsEmpty() ? kNotFound : 0;
}

bool InstallerCommonFunction::IsCdRomDrive(const XpString& path) { return XpVolume(path).IsCdRom(); }

void InstallerCommonFunction::RemoveTrailingChar(XpString& text, char16_t ch) {
  const int32_t length = text.GetLength();
  if (length > 0 && text.CStr()[length - 1] == ch) text = text.Left(length - 1);
}

uint32_t InstallerCommonFunction::BoundedLength(const char16_t* text) {
  if (text == nullptr) return kNotFound;
  for (int32_t i = 0; i < kPathLimit; ++i) {
    if (text[i] == u'\0') return static_cast<uint32_t>(i);
  }
  return kNotFound;
}

void InstallerCommonFunction::FindFilesRecursive(const XpString& folder, const XpString& pattern,
                                                 XpStringVector& list) {
  const std::vector<FolderEntry> entries = ListFolder(folder);
  for (const FolderEntry& entry : entries) {
    if (!entry.isFolder) continue;
    const XpString path = SearchPath(folder, entry.name);
    if (!path.IsEmpty()) FindFilesRecursive(path, pattern, list);
  }
  for (const FolderEntry& entry : entries) {
    if (entry.isFolder || !InstallerMatchesPattern(entry.name.View(), pattern.View())) continue;
    const XpString path = SearchPath(folder, entry.name);
    if (!path.IsEmpty()) list.push_back(path);
  }
}

void InstallerCommonFunction::ListSubFolders(const XpString& folder, XpStringVector& list, bool recursive) {
  for (const FolderEntry& entry : ListFolder(folder)) {
    if (!entry.isFolder) continue;
    const XpString path = SearchPath(folder, entry.name);
    if (path.IsEmpty()) continue;
    if (recursive) ListSubFolders(path, list, true);
    list.push_back(path);
  }
}
