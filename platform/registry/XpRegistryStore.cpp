#include "platform/registry/XpRegistryStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/registry/XpRegistryText.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr const char* kFileExtension = ".reg";
constexpr const char* kLockExtension = ".lock";
constexpr const char* kConfigFolder = "/.config";
constexpr mode_t kMachineFileMode = 0644;
constexpr mode_t kUserFileMode = 0600;
constexpr mode_t kMachineFolderMode = 0755;
constexpr mode_t kUserFolderMode = 0700;
constexpr mode_t kPermissionBits = 07777;
constexpr size_t kReadChunk = 16384;
constexpr size_t kPasswordBufferSize = 16384;

std::string Environment(const char* name) {
  const char* value = ::getenv(name);
  return value != nullptr ? value : "";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  passwd entry{};
  passwd* found = nullptr;
  std::string buffer(kPasswordBufferSize, '\0');
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->pw_dir;
  }
  return "";
}

std::string ConfigFolder() {
  std::string config = Environment("XDG_CONFIG_HOME");
  if (!config.empty() && config.front() == '/') return config;
  return HomeFolder() + kConfigFolder;
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

[[nodiscard]] XpResult MakeFolders(const std::string& folder, mode_t mode) {
  XpSysCalls& calls = XpSysCalls::Current();
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (calls.Mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return XpResultFromErrno(errno);
    if (slash == std::string::npos) return kXpOk;
  }
}

[[nodiscard]] XpResult ReadAll(int fd, std::string* text) {
  char buffer[kReadChunk];
  for (;;) {
    const ssize_t count = XpSysCalls::Current().Read(fd, buffer, sizeof(buffer));
    if (count < 0) return XpResultFromErrno(errno);
    if (count == 0) return kXpOk;
    text->append(buffer, static_cast<size_t>(count));
  }
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// An exclusive flock on the sidecar file, released when the object goes.
class FileLock {
 public:
  explicit FileLock(const std::string& path, mode_t mode) {
    XpSysCalls& calls = XpSysCalls::Current();
    fd_ = calls.Open(path.c_str(), O_RDWR | O_CREAT, mode);
    if (fd_ < 0) {
      result_ = XpResultFromErrno(errno);
      return;
    }
    if (calls.Flock(fd_, LOCK_EX) != 0) {
      result_ = XpResultFromErrno(errno);
      return;
    }
  }
  ~FileLock() {
    // Nothing is ever written to the lock file.
    if (fd_ >= 0) (void)XpSysCalls::Current().Close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  XpResult Result() const { return result_; }

 private:
  int fd_ = -1;
  XpResult result_ = kXpOk;
};

// The key that holds the last name of names, and that last name; null when
// a parent is missing.
XpRegKey* ParentOf(XpRegKey& root, const XpStringVector& names) {
  XpRegKey* key = &root;
  for (size_t i = 0; i + 1 < names.size() && key != nullptr; ++i) key = key->FindSubkey(names[i]);
  return key;
}

}  // namespace

XpRegistryStore& XpRegistryStore::ForRoot(XpRegistryRoot root) {
  static XpRegistryStore* const stores[] = {
      new XpRegistryStore(XpRegistryRoot::kLocalMachine),
      new XpRegistryStore(XpRegistryRoot::kCurrentUser),
      new XpRegistryStore(XpRegistryRoot::kClassesRoot),
  };
  return *stores[static_cast<int>(root)];
}

const char16_t* XpRegistryStore::RootName(XpRegistryRoot root) {
  switch (root) {
    case XpRegistryRoot::kLocalMachine:
      return u"HKEY_LOCAL_MACHINE";
    case XpRegistryRoot::kClassesRoot:
      return u"HKEY_CLASSES_ROOT";
    case XpRegistryRoot::kCurrentUser:
      break;
  }
  return u"HKEY_CURRENT_USER";
}

XpRegistryStore::XpRegistryStore(XpRegistryRoot root)
    : root_(root), tree_(std::make_unique<XpRegKey>(XpString())) {}

std::string XpRegistryStore::FilePath() const {
  const std::string fileName =
      std::string(XpString(RootName(root_)).ToMultiByte().View()) + kFileExtension;
  const std::string folder = Environment(kDirectoryVariable);
  if (!folder.empty()) return folder + "/" + fileName;
  if (root_ != XpRegistryRoot::kCurrentUser) return std::string(kMachineDirectory) + "/" + fileName;
  return ConfigFolder() + "/" + kUserSubdirectory + "/" + fileName;
}

mode_t XpRegistryStore::NewFileMode() const {
  return root_ == XpRegistryRoot::kCurrentUser ? kUserFileMode : kMachineFileMode;
}

XpRegistryStore::FileIdentity XpRegistryStore::IdentityOf(const struct stat& info) {
  FileIdentity identity;
  identity.missing = false;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = info.st_mtim;
  identity.changed = info.st_ctim;
  return identity;
}

bool XpRegistryStore::SameFile(const FileIdentity& a, const FileIdentity& b) {
  if (a.missing || b.missing) return a.missing == b.missing;
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

void XpRegistryStore::HoldLoaded(int fd, const FileIdentity& identity) {
  // Held for reading only.
  if (heldFd_ >= 0) (void)XpSysCalls::Current().Close(heldFd_);
  heldFd_ = fd;
  loaded_ = identity;
  loadedValid_ = true;
}

void XpRegistryStore::Forget() {
  // Held for reading only.
  if (heldFd_ >= 0) (void)XpSysCalls::Current().Close(heldFd_);
  heldFd_ = -1;
  tree_ = std::make_unique<XpRegKey>(XpString());
  loaded_ = FileIdentity();
  loadedValid_ = false;
  loadResult_ = kXpOk;
}

XpResult XpRegistryStore::Refresh(const std::string& path) {
  if (path != loadedPath_) {
    Forget();
    loadedPath_ = path;
  }
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.c_str(), O_RDONLY, 0);
  if (fd < 0 && errno == ENOENT) {
    if (!(loadedValid_ && loaded_.missing)) {
      Forget();
      HoldLoaded(-1, FileIdentity());
    }
    return kXpOk;
  }
  if (fd < 0) {
    const XpResult result = XpResultFromErrno(errno);
    Forget();
    return result;
  }
  struct stat info {};
  if (calls.Fstat(fd, &info) != 0) {
    const XpResult result = XpResultFromErrno(errno);
    (void)calls.Close(fd);  // opened for reading
    Forget();
    return result;
  }
  const FileIdentity identity = IdentityOf(info);
  if (loadedValid_ && SameFile(loaded_, identity)) {
    (void)calls.Close(fd);  // opened for reading
    return loadResult_;
  }
  std::string text;
  XpResult result = ReadAll(fd, &text);
  auto tree = std::make_unique<XpRegKey>(XpString());
  if (XpSucceeded(result)) result = XpRegistryText::Parse(text, RootName(root_), *tree);
  Forget();
  if (XpFailed(result)) {
    loadResult_ = result;
  } else {
    tree_ = std::move(tree);
  }
  loadedMode_ = info.st_mode & kPermissionBits;
  HoldLoaded(fd, identity);
  return loadResult_;
}

XpResult XpRegistryStore::CheckWritable(const std::string& path) const {
  XpSysCalls& calls = XpSysCalls::Current();
  if (calls.Access(ParentFolder(path).c_str(), W_OK) != 0) {
    return XpResultFromErrno(errno);
  }
  if (calls.Access(path.c_str(), W_OK) != 0 && errno != ENOENT) {
    return XpResultFromErrno(errno);
  }
  return kXpOk;
}

XpResult XpRegistryStore::Save(const std::string& path) {
  const std::string text = XpRegistryText::Write(*tree_, RootName(root_));
  XpPendingFile::Options options;
  options.mode = loaded_.missing ? NewFileMode() : loadedMode_;
  options.exactMode = true;
  // Every writer of the file holds its lock.
  options.soleWriter = true;
  const XpResult result =
      XpReplaceFileAtomically(XpStringA(path.c_str()).ToWide(), text, options);
  if (XpFailed(result)) return result;
  // Hold the new file, so that only another change reloads it.
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.c_str(), O_RDONLY, 0);
  struct stat info {};
  if (fd < 0 || calls.Fstat(fd, &info) != 0) {
    if (fd >= 0) (void)calls.Close(fd);  // opened for reading
    // Saved all the same; the next look reads the file again.
    Forget();
    return kXpOk;
  }
  loadedMode_ = info.st_mode & kPermissionBits;
  HoldLoaded(fd, IdentityOf(info));
  return kXpOk;
}

XpResult XpRegistryStore::Modify(const Change& change) {
  std::lock_guard<std::mutex> guard(mutex_);
  const std::string path = FilePath();
  const mode_t folderMode =
      root_ == XpRegistryRoot::kCurrentUser ? kUserFolderMode : kMachineFolderMode;
  XpResult result = MakeFolders(ParentFolder(path), folderMode);
  if (XpFailed(result)) return result;
  FileLock lock(path + kLockExtension, NewFileMode());
  if (XpFailed(lock.Result())) return lock.Result();
  result = Refresh(path);
  if (XpSucceeded(result)) result = CheckWritable(path);
  if (XpFailed(result)) return result;
  bool changed = false;
  result = change(*tree_, &changed);
  if (XpSucceeded(result) && changed) result = Save(path);
  // A change that was not saved must not stay visible.
  if (XpFailed(result) && changed) Forget();
  return result;
}

bool XpRegistryStore::KeyExists(const XpString& keyPath) {
  std::lock_guard<std::mutex> guard(mutex_);
  return XpSucceeded(Refresh(FilePath())) && tree_->Find(keyPath) != nullptr;
}

XpResult XpRegistryStore::CreateKey(const XpString& keyPath) {
  const XpStringVector names = XpRegSplitKeyPath(keyPath);
  if (!XpRegIsValidKeyPath(names)) return kXpErrBadArgument;
  return Modify([&](XpRegKey& root, bool* changed) {
    XpRegKey* key = &root;
    for (const XpString& name : names) {
      XpRegKey* next = key->FindSubkey(name);
      if (next == nullptr) {
        next = key->AddSubkey(name);
        *changed = true;
      }
      key = next;
    }
    return kXpOk;
  });
}

XpResult XpRegistryStore::DeleteKey(const XpString& keyPath) {
  const XpStringVector names = XpRegSplitKeyPath(keyPath);
  if (names.empty()) return kXpErrBadArgument;
  return Modify([&](XpRegKey& root, bool* changed) {
    XpRegKey* parent = ParentOf(root, names);
    XpRegKey* key = parent != nullptr ? parent->FindSubkey(names.back()) : nullptr;
    if (key == nullptr) return kXpErrFileNotFound;
    if (!key->Subkeys().empty()) return kXpErrDirNotEmpty;
    *changed = parent->RemoveSubkey(names.back());
    return kXpOk;
  });
}

XpResult XpRegistryStore::DeleteKeyTree(const XpString& keyPath) {
  const XpStringVector names = XpRegSplitKeyPath(keyPath);
  if (names.empty()) return kXpErrBadArgument;
  return Modify([&](XpRegKey& root, bool* changed) {
    XpRegKey* parent = ParentOf(root, names);
    if (parent == nullptr || !parent->RemoveSubkey(names.back())) return kXpErrFileNotFound;
    *changed = true;
    return kXpOk;
  });
}

XpResult XpRegistryStore::QueryValue(const XpString& keyPath, const XpString& name,
                                     uint32_t* type, std::vector<uint8_t>* data) {
  std::lock_guard<std::mutex> guard(mutex_);
  const XpResult result = Refresh(FilePath());
  if (XpFailed(result)) return result;
  const XpRegKey* key = tree_->Find(keyPath);
  const XpRegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
  if (value == nullptr) return kXpErrFileNotFound;
  if (type != nullptr) *type = value->type;
  if (data != nullptr) *data = value->data;
  return kXpOk;
}

XpResult XpRegistryStore::SetValue(const XpString& keyPath, const XpString& name, uint32_t type,
                                   const std::vector<uint8_t>& data) {
  if (!XpRegistryText::IsWritableName(name)) return kXpErrBadArgument;
  return Modify([&](XpRegKey& root, bool* changed) {
    XpRegKey* key = root.Find(keyPath);
    if (key == nullptr) return kXpErrFileNotFound;
    *changed = key->SetValue(name, type, data);
    return kXpOk;
  });
}

XpResult XpRegistryStore::DeleteValue(const XpString& keyPath, const XpString& name) {
  return Modify([&](XpRegKey& root, bool* changed) {
    XpRegKey* key = root.Find(keyPath);
    if (key == nullptr || !key->RemoveValue(name)) return kXpErrFileNotFound;
    *changed = true;
    return kXpOk;
  });
}

XpResult XpRegistryStore::QueryGrants(const XpString& keyPath, std::vector<XpRegGrant>* grants) {
  if (grants == nullptr) return kXpErrBadArgument;
  grants->clear();
  std::lock_guard<std::mutex> guard(mutex_);
  const XpResult result = Refresh(FilePath());
  if (XpFailed(result)) return result;
  const XpRegKey* key = tree_->Find(keyPath);
  if (key == nullptr) return kXpErrFileNotFound;
  *grants = key->Grants();
  return kXpOk;
}

XpResult XpRegistryStore::SetGrant(const XpString& keyPath, const XpRegGrant& grant) {
  if (grant.trustee.IsEmpty() || !XpRegistryText::IsWritableName(grant.trustee)) {
    return kXpErrBadArgument;
  }
  return Modify([&](XpRegKey& root, bool* changed) {
    XpRegKey* key = root.Find(keyPath);
    if (key == nullptr) return kXpErrFileNotFound;
    *changed = key->SetGrant(grant);
    return kXpOk;
  });
}

XpResult XpRegistryStore::EnumSubkeys(const XpString& keyPath, XpStringVector* names) {
  if (names == nullptr) return kXpErrBadArgument;
  names->clear();
  std::lock_guard<std::mutex> guard(mutex_);
  const XpResult result = Refresh(FilePath());
  if (XpFailed(result)) return result;
  const XpRegKey* key = tree_->Find(keyPath);
  if (key == nullptr) return kXpErrFileNotFound;
  for (const auto& subkey : key->Subkeys()) names->push_back(subkey->Name());
  return kXpOk;
}

XpResult XpRegistryStore::EnumValues(const XpString& keyPath, XpStringVector* names) {
  if (names == nullptr) return kXpErrBadArgument;
  names->clear();
  std::lock_guard<std::mutex> guard(mutex_);
  const XpResult result = Refresh(FilePath());
  if (XpFailed(result)) return result;
  const XpRegKey* key = tree_->Find(keyPath);
  if (key == nullptr) return kXpErrFileNotFound;
  for (const XpRegValue& value : key->Values()) names->push_back(value.name);
  return kXpOk;
}
