#include "setup/config/SetupRegistryReaders.h"

#include <memory>

#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"

namespace {

constexpr const char16_t* kCurrentVersion = u"CurrentVersion";
constexpr const char16_t* kInstalledLocation = u"InstalledLocation";
constexpr const char16_t* kExeName = u"ExeName";
constexpr const char16_t* kInstallLocation = u"InstallLocation";
constexpr const char16_t* kBrowserKey = u"Browser";
constexpr const char16_t* kBrowserExe = u"QMVBrowser.exe";
constexpr char16_t kKeySeparator = u'\\';

XpString KeyPath(const char16_t* base, const XpString& subkey) {
  if (subkey.IsEmpty()) return base;
  XpString path = base;
  path += kKeySeparator;
  path += subkey;
  return path;
}

struct KeyCloser {
  void operator()(XpRegistry* key) const { XpRegistry::CloseAndDelete(key); }
};
using Key = std::unique_ptr<XpRegistry, KeyCloser>;

Key OpenForReading(const XpString& path) {
  return Key(XpRegistry::OpenNew(path, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
}

// A value of key that exists, as text; a value of another type reads as "".
bool QueryText(const Key& key, const XpString& name, XpString* text) {
  if (!key || !key->HasValue(name)) return false;
  *text = key->QueryString(name, XpString());
  return true;
}

bool ReadString(const XpString& path, const XpString& name, XpString* value, uint32_t capacity) {
  if (value == nullptr) return false;
  XpString text;
  if (!QueryText(OpenForReading(path), name, &text)) return false;
  const uint32_t room = capacity == 0 ? 0 : capacity - 1;
  *value = static_cast<uint32_t>(text.GetLength()) > room ? text.Left(static_cast<int32_t>(room))
                                                           : text;
  return true;
}

bool ReadNumber(const XpString& path, const XpString& name, uint32_t* value) {
  if (value == nullptr) return false;
  const Key key = OpenForReading(path);
  if (!key || !key->HasValue(name)) return false;
  *value = key->QueryDword(name, *value);
  return true;
}

// InstalledLocation joined with ExeName below the subkey that the key's
// "CurrentVersion" names; defaultExe stands in for an empty name.
bool ReadProgramPath(const XpString& keyPath, const XpString& defaultExe, XpString* path) {
  if (path == nullptr) return false;
  *path = XpString();
  const Key key = OpenForReading(keyPath);
  XpString version;
  if (!QueryText(key, kCurrentVersion, &version)) return false;
  const Key versionKey(XpRegistry::OpenSubKey(key.get(), version, XpRegistry::kAccessRead));
  if (!versionKey) return false;
  // Missing values read as "": the location is optional, the name has a
  // default.
  const XpString location = versionKey->QueryString(kInstalledLocation, XpString());
  XpString exeName = versionKey->QueryString(kExeName, XpString());
  if (exeName.IsEmpty()) exeName = defaultExe;
  *path = XpPathJoin(location, exeName);
  return !path->IsEmpty();
}

}  // namespace

bool ReadProductValue(const XpString& subkey, const XpString& name, XpString* value,
                      uint32_t capacity) {
  return ReadString(KeyPath(kSetupProductKey, subkey), name, value, capacity);
}

bool ReadMakerValue(const XpString& subkey, const XpString& name, XpString* value,
                    uint32_t capacity) {
  return ReadString(KeyPath(kSetupMakerKey, subkey), name, value, capacity);
}

bool ReadUninstallValue(const XpString& subkey, const XpString& name, XpString* value,
                        uint32_t capacity) {
  return ReadString(KeyPath(kSetupUninstallKey, subkey), name, value, capacity);
}

bool ReadProductNumber(const XpString& subkey, const XpString& name, uint32_t* value) {
  return ReadNumber(KeyPath(kSetupProductKey, subkey), name, value);
}

bool ReadMakerNumber(const XpString& subkey, const XpString& name, uint32_t* value) {
  return ReadNumber(KeyPath(kSetupMakerKey, subkey), name, value);
}

bool IsProductUninstallPresent() {
  constexpr uint32_t kPathCapacity = 261;
  XpString location;
  if (!ReadUninstallValue(XpString(), kInstallLocation, &location, kPathCapacity)) return false;
  return !location.IsEmpty() && XpPathExists(location);
}

bool ReadProductProgramPath(const XpString& name, XpString* path) {
  return ReadProgramPath(KeyPath(kSetupProductKey, name), XpString(), path);
}

bool ReadBrowserProgramPath(XpString* path) {
  return ReadProgramPath(KeyPath(kSetupProductKey, kBrowserKey), kBrowserExe, path);
}
