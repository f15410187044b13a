#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry/XpRegistryTree.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

enum class XpRegistryRoot { kLocalMachine, kCurrentUser, kClassesRoot };

// The registry: one text file per root (see XpRegistryText). The machine
// roots live in /var/lib/kavo/registry/ (everyone reads, root writes), the
// user's root in $XDG_CONFIG_HOME/kavo/registry/; $KAVO_REGISTRY_DIR puts
// all three in one folder. A missing file is an empty root.
//
// One store per root per process, shared by every thread. Readers reload
// the file when it changed. Every change is saved at once: under an
// exclusive flock on "<file>.lock" the store reloads a changed file, applies
// the change, and replaces the file atomically (XpReplaceFileAtomically), so
// two processes never lose each other's changes and a writer killed at any
// moment leaves the old file or the new one. Every change first checks that
// the folder and file may be written (access(2) with the effective ids).
//
// Key paths separate names with '/' or '\'; "" is the root key. Results:
// kXpErrFileNotFound for a missing key or value, kXpErrAccessDenied when
// the file may not be written, kXpErrInvalidFile when it cannot be read as
// registry text (it is then never overwritten), kXpErrBadArgument for a
// name the file cannot hold.
class XpRegistryStore {
 public:
  static constexpr const char* kDirectoryVariable = "KAVO_REGISTRY_DIR";
  static constexpr const char* kMachineDirectory = "/var/lib/kavo/registry";
  static constexpr const char* kUserSubdirectory = "kavo/registry";

  // Stores live until the process ends.
  static XpRegistryStore& ForRoot(XpRegistryRoot root);
  // "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT".
  static const char16_t* RootName(XpRegistryRoot root);

  XpRegistryStore(const XpRegistryStore&) = delete;
  XpRegistryStore& operator=(const XpRegistryStore&) = delete;

  // The file that holds this root now; the environment decides.
  std::string FilePath() const;

  bool KeyExists(const XpString& keyPath);
  // Creates the key and missing parents. For an existing key nothing is
  // written, but the file must still be writable.
  [[nodiscard]] XpResult CreateKey(const XpString& keyPath);
  // Deletes one key; kXpErrDirNotEmpty when it has subkeys.
  [[nodiscard]] XpResult DeleteKey(const XpString& keyPath);
  // Deletes the key and everything below it. The root key itself cannot be
  // deleted (kXpErrBadArgument).
  [[nodiscard]] XpResult DeleteKeyTree(const XpString& keyPath);

  [[nodiscard]] XpResult QueryValue(const XpString& keyPath, const XpString& name, uint32_t* type,
                                    std::vector<uint8_t>* data);
  // The key must exist.
  [[nodiscard]] XpResult SetValue(const XpString& keyPath, const XpString& name, uint32_t type,
                                  const std::vector<uint8_t>& data);
  [[nodiscard]] XpResult DeleteValue(const XpString& keyPath, const XpString& name);

  // The key's grants (see XpRegGrant), in the order they were added.
  [[nodiscard]] XpResult QueryGrants(const XpString& keyPath, std::vector<XpRegGrant>* grants);
  // Sets or replaces the grant of grant.trustee on an existing key.
  [[nodiscard]] XpResult SetGrant(const XpString& keyPath, const XpRegGrant& grant);

  // Names in the order they were added.
  [[nodiscard]] XpResult EnumSubkeys(const XpString& keyPath, XpStringVector* names);
  [[nodiscard]] XpResult EnumValues(const XpString& keyPath, XpStringVector* names);

 private:
  struct FileIdentity {
    bool missing = true;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
  };
  using Change = std::function<XpResult(XpRegKey& root, bool* changed)>;

  explicit XpRegistryStore(XpRegistryRoot root);

  // With mutex_ held: the tree as the file holds it now.
  [[nodiscard]] XpResult Refresh(const std::string& path);
  void Forget();
  [[nodiscard]] XpResult Modify(const Change& change);
  [[nodiscard]] XpResult CheckWritable(const std::string& path) const;
  mode_t NewFileMode() const;
  [[nodiscard]] XpResult Save(const std::string& path);
  void HoldLoaded(int fd, const FileIdentity& identity);
  static FileIdentity IdentityOf(const struct stat& info);
  static bool SameFile(const FileIdentity& a, const FileIdentity& b);

  const XpRegistryRoot root_;
  std::mutex mutex_;
  std::unique_ptr<XpRegKey> tree_;
  std::string loadedPath_;
  FileIdentity loaded_;
  bool loadedValid_ = false;
  XpResult loadResult_ = kXpOk;
  mode_t loadedMode_ = 0;
  // The loaded file stays open so that its inode number cannot be reused by
  // a later version while we compare against it.
  int heldFd_ = -1;
};
