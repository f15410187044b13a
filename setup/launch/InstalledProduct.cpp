#include "setup/launch/InstalledProduct.h"

#include <memory>

#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"
#include "setup/config/SetupRegistryReaders.h"
#include "setup/config/SetupVersionText.h"

namespace {

constexpr uint32_t kValueCapacity = 261;
constexpr const char16_t* kVersionFileName = u"Version.txt";
constexpr const char16_t* kLocationName = u"InstalledLocation";
constexpr const char16_t* kLanguageName = u"InstalledLanguage";
constexpr const char16_t* kCountryName = u"CountryOrAreaCode";
constexpr const char16_t* kBroadcastName = u"BroadcastSystem";
constexpr const char16_t* kHistoryName = u"History";
constexpr const char16_t* kGlobalSettings = u"GlobalSettings\\1.0";
constexpr const char16_t* kTranscodeSettings = u"TranscodeSettings";

struct KeyDeleter {
  void operator()(XpRegistry* key) const { XpRegistry::CloseAndDelete(key); }
};
using Key = std::unique_ptr<XpRegistry, KeyDeleter>;

Key OpenForReading(const XpString& path) {
  return Key(XpRegistry::OpenNew(path, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
}

int Compare(const XpString& a, const XpString& b) {
  const int order = a.Compare(b.CStr());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

XpString Below(const XpString& key, const char16_t* subkey) { return key + u"\\" + subkey; }

// The location names an existing path and its "Version.txt" reads.
bool ReadLocationVersion(const XpString& location, XpString* version) {
  return XpPathExists(location) && ReadVersionText(XpPathJoin(location, kVersionFileName), version);
}

// Appends the entries of the key's "History"; false when it does not read.
bool AppendHistory(const XpString& keyPath, XpStringVector* entries) {
  const Key key = OpenForReading(keyPath);
  XpStringVector list;
  if (!key || !key->QueryMultiString(kHistoryName, &list)) return false;
  entries->insert(entries->end(), list.begin(), list.end());
  return true;
}

}  // namespace

InstalledProduct ReadInstalledProduct(const XpString& packageVersion) {
  InstalledProduct product;
  XpString location;
  if (!ReadProductValue(XpString(), kLocationName, &location, kValueCapacity)) return product;
  if (!ReadLocationVersion(location, &product.version)) return product;
  product.packageComparison = Compare(packageVersion, product.version);
  if (!ReadProductValue(XpString(), kLanguageName, &product.language, kValueCapacity) ||
      !ReadProductValue(kGlobalSettings, kCountryName, &product.countryOrAreaCode, kValueCapacity) ||
      !ReadProductNumber(kTranscodeSettings, kBroadcastName, &product.broadcastSystem) ||
      !ReadProductValue(XpString(), kLocationName, &product.location, kValueCapacity)) {
    return product;
  }
  product.installed = true;
  return product;
}

InstalledProduct ReadExistenceProduct(const XpString& existence, const XpString& packageVersion) {
  InstalledProduct product;
  if (existence.IsEmpty()) return product;
  if (!ReadMakerValue(existence, kLocationName, &product.location, kValueCapacity) ||
      !ReadLocationVersion(product.location, &product.version)) {
    return product;
  }
  product.installed = true;
  product.packageComparison = Compare(packageVersion, product.version);
  if (!ReadMakerNumber(Below(existence, kTranscodeSettings), kBroadcastName, &product.broadcastSystem)) {
    product.broadcastSystem = 0;
  }
  if (!ReadMakerValue(existence, kLanguageName, &product.language, kValueCapacity)) product.language = XpString();
  if (!ReadMakerValue(Below(existence, kGlobalSettings), kCountryName, &product.countryOrAreaCode,
                      kValueCapacity)) {
    product.countryOrAreaCode = XpString();
  }
  return product;
}

bool IsMachineKeyPresent(const XpString& path) { return OpenForReading(path) != nullptr; }

bool ReadSetupHistory(XpStringVector* entries) {
  entries->clear();
  const bool fromUninstall = AppendHistory(kSetupUninstallKey, entries);
  const bool fromProduct = AppendHistory(kSetupProductKey, entries);
  return fromUninstall || fromProduct;
}

bool ReadFormerSuiteVersion(XpString* version) {
  XpString location;
  return ReadMakerValue(kSetupFormerSuiteSubkey, kLocationName, &location, kValueCapacity) &&
         ReadLocationVersion(location, version);
}
