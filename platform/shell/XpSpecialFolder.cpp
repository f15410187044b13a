#include "platform/shell/XpSpecialFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpReadWholeFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kDefaultTempFolder = u"/tmp";
constexpr const char16_t* kCommonAppDataFolder = u"/var/lib/kavo";
constexpr const char16_t* kProgramFilesFolder = u"/opt";
constexpr const char16_t* kCommonProgramsFolder = u"/usr/share/applications";
constexpr const char16_t* kDefaultConfigFolder = u".config";
constexpr const char16_t* kDefaultDataFolder = u".local/share";
constexpr const char16_t* kUserDirsFile = u"user-dirs.dirs";
constexpr const char* kProgramLink = "/proc/self/exe";
constexpr std::string_view kHomeVariable = "$HOME";
constexpr size_t kFirstLinkBuffer = 256;
constexpr size_t kPasswdBuffer = 16384;

struct UserFolder {
  const char* key;
  const char16_t* defaultName;
};

// Kinds 1 to 5, in kind order.
constexpr UserFolder kUserFolders[] = {
    {"XDG_PICTURES_DIR", u"Pictures"},   {"XDG_VIDEOS_DIR", u"Videos"},
    {"XDG_MUSIC_DIR", u"Music"},         {"XDG_DOCUMENTS_DIR", u"Documents"},
    {"XDG_DESKTOP_DIR", u"Desktop"},
};

bool IsAbsolute(const XpString& path) { return !path.IsEmpty() && path.CStr()[0] == u'/'; }

XpString WithoutTrailingSeparators(XpString path) {
  while (path.GetLength() > 1 && path.CStr()[path.GetLength() - 1] == u'/') {
    XpPathRemoveTrailingBackslash(path);
  }
  return path;
}

// An environment variable that names an absolute folder; "" otherwise.
XpString AbsoluteFolderFromEnv(const char* name) {
  const char* value = ::getenv(name);
  if (value == nullptr) return XpString();
  XpString folder = XpStringA(value).ToWide();
  if (!IsAbsolute(folder)) return XpString();
  return WithoutTrailingSeparators(folder);
}

XpString HomeFolder() {
  XpString home = AbsoluteFolderFromEnv("HOME");
  if (!home.IsEmpty()) return home;
  std::vector<char> buffer(kPasswdBuffer);
  passwd entry;
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return XpString();
  }
  home = XpStringA(found->pw_dir).ToWide();
  return IsAbsolute(home) ? WithoutTrailingSeparators(home) : XpString();
}

// $NAME, else home joined with fallback.
XpString XdgFolder(const char* name, const XpString& home, const char16_t* fallback) {
  XpString folder = AbsoluteFolderFromEnv(name);
  if (!folder.IsEmpty() || home.IsEmpty()) return folder;
  return XpPathJoin(home, fallback);
}

// The folder a value of user-dirs.dirs names: "$HOME/..." or an absolute
// path, in double quotes with backslash escapes; "" for anything else.
XpString UserDirValue(std::string_view quoted, const XpString& home) {
  if (quoted.size() < 2 || quoted.front() != '"') return XpString();
  std::string value;
  bool closed = false;
  for (size_t i = 1; i < quoted.size(); ++i) {
    const char ch = quoted[i];
    if (ch == '"') {
      closed = true;
      break;
    }
    if (ch == '\\' && i + 1 < quoted.size()) ++i;
    value += quoted[i];
  }
  if (!closed) return XpString();
  const std::string_view text = value;
  if (text.substr(0, kHomeVariable.size()) == kHomeVariable) {
    const std::string_view rest = text.substr(kHomeVariable.size());
    if (home.IsEmpty() || (!rest.empty() && rest.front() != '/')) return XpString();
    return WithoutTrailingSeparators(
        home + XpStringA(rest.data(), static_cast<int32_t>(rest.size())).ToWide());
  }
  const XpString folder = XpStringA(value.c_str()).ToWide();
  return IsAbsolute(folder) ? WithoutTrailingSeparators(folder) : XpString();
}

// The last valid setting of key in the user-dirs.dirs file; "" when none.
XpString ReadUserDir(const XpString& file, const char* key, const XpString& home) {
  std::string text;
  if (XpReadWholeFile(file, &text) != kXpOk) {
    return XpString();  // no such settings file: the defaults hold
  }
  std::istringstream input(text);
  const std::string_view wanted = key;
  XpString folder;
  std::string line;
  while (std::getline(input, line)) {
    std::string_view text = line;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.substr(0, wanted.size()) != wanted) continue;
    text.remove_prefix(wanted.size());
    if (text.empty() || text.front() != '=') continue;
    const XpString value = UserDirValue(text.substr(1), home);
    if (!value.IsEmpty()) folder = value;
  }
  return folder;
}

XpString UserFolderOf(int32_t kind) {
  const UserFolder& entry = kUserFolders[kind - kXpFolderPictures];
  const XpString home = HomeFolder();
  const XpString config = XdgFolder("XDG_CONFIG_HOME", home, kDefaultConfigFolder);
  if (!config.IsEmpty()) {
    const XpString folder = ReadUserDir(XpPathJoin(config, kUserDirsFile), entry.key, home);
    if (!folder.IsEmpty()) return folder;
  }
  return home.IsEmpty() ? XpString() : XpPathJoin(home, entry.defaultName);
}

// A machine-wide folder, below $KAVO_MACHINE_ROOT when that is set.
XpString MachineFolder(const char16_t* folder) {
  const XpString root = AbsoluteFolderFromEnv(kXpMachineRootVariable);
  if (root.IsEmpty()) return XpString(folder);
  return root == u"/" ? XpString(folder) : root + folder;
}

XpString TempFolder() {
  XpString folder = AbsoluteFolderFromEnv("TMPDIR");
  if (folder.IsEmpty()) folder = kDefaultTempFolder;
  XpPathAddTrailingBackslash(folder);
  return folder;
}

// The target of /proc/self/exe, however long it is.
XpString ProgramFile() {
  std::vector<char> buffer(kFirstLinkBuffer);
  for (;;) {
    const ssize_t length = XpSysCalls::Current().Readlink(kProgramLink, buffer.data(), buffer.size());
    if (length <= 0) return XpString();
    if (static_cast<size_t>(length) < buffer.size()) {
      return XpStringA(buffer.data(), static_cast<int32_t>(length)).ToWide();
    }
    buffer.resize(buffer.size() * 2);
  }
}

XpString FolderOf(int32_t kind) {
  switch (kind) {
    case kXpFolderTemp:
      return TempFolder();
    case kXpFolderPictures:
    case kXpFolderVideos:
    case kXpFolderMusic:
    case kXpFolderDocuments:
    case kXpFolderDesktop:
      return UserFolderOf(kind);
    case kXpFolderAppData:
      return XdgFolder("XDG_DATA_HOME", HomeFolder(), kDefaultDataFolder);
    case kXpFolderProgramFolder:
      return XpPathGetDirectory(ProgramFile());
    case kXpFolderProgramFile:
      return ProgramFile();
    case kXpFolderProfile:
      return HomeFolder();
    case kXpFolderCommonAppData:
      return MachineFolder(kCommonAppDataFolder);
    case kXpFolderProgramFiles:
      return MachineFolder(kProgramFilesFolder);
    case kXpFolderCommonPrograms:
      return MachineFolder(kCommonProgramsFolder);
    default:
      return XpString();
  }
}

bool IsCreatable(int32_t kind) {
  return kind != kXpFolderProgramFolder && kind != kXpFolderProgramFile;
}

}  // namespace

XpString XpGetSpecialFolder(int32_t kind, bool create) {
  const XpString folder = FolderOf(kind);
  if (!create || folder.IsEmpty() || !IsCreatable(kind)) return folder;
  const XpResult made = XpCreateDirectoryTree(WithoutTrailingSeparators(folder));
  return made == kXpOk || made == kXpErrAlreadyExists ? folder : XpString();
}

XpString XpGetSpecialFolderDisplayName(int32_t kind) {
  if (kind < kXpFolderPictures || kind > kXpFolderSharedDocuments) return XpString();
  return XpPathGetLeafName(XpGetSpecialFolder(kind, false));
}

XpString XpGetAppDataPath(const XpString& a, const XpString& b, const XpString& c, bool create) {
  XpString path = XpGetSpecialFolder(kXpFolderAppData, false);
  if (path.IsEmpty()) return path;
  if (!a.IsEmpty()) path = XpPathJoin(path, a);
  path = XpPathJoin(path, b);
  if (!c.IsEmpty()) path = XpPathJoin(path, c);
  // A failure to make the tree shows in the caller's later use of the folder.
  if (create && !XpDirectoryExists(path)) (void)XpCreateDirectoryTree(WithoutTrailingSeparators(path));
  return path;
}

XpString XpFindFileBesideProgram(const XpString& name) {
  const XpString folder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
  if (folder.IsEmpty() || name.IsEmpty()) return XpString();
  const XpString path = XpPathJoin(folder, name);
  return XpFileExists(path) ? path : XpString();
}
