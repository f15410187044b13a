#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Registry places of the installer run, below the local machine.
inline constexpr const char16_t* kSetupUninstallRoot = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr const char16_t* kSetupPmUninstallKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{8F41D0B3-2E7A-4C95-B6D8-19A3C5E07D42}";
// The former suite below the maker's key.
inline constexpr const char16_t* kSetupFormerSuiteSubkey = u"Kavo Telvane";

// An installation of the product, or of the one Existence names.
struct InstalledProduct {
  bool installed = false;
  XpString location;
  // "Version.txt" in location; "" when none was read.
  XpString version;
  XpString language;
  XpString countryOrAreaCode;
  uint32_t broadcastSystem = 0;
  // The package version against version: -1 lower, 0 equal, 1 higher.
  int packageComparison = 0;

  // The package version is lower than the installed one.
  bool IsPackageOlder() const { return packageComparison < 0; }
};

// The product's own installation. It counts as installed only when its
// location names an existing path, its "Version.txt" reads, and its
// language, country and broadcast system all read.
InstalledProduct ReadInstalledProduct(const XpString& packageVersion);

// The product named by existence below the maker's key: installed when its
// location names an existing path and its "Version.txt" reads. The other
// values are "" or 0 when they do not read.
InstalledProduct ReadExistenceProduct(const XpString& existence, const XpString& packageVersion);

// The key below the local machine exists; opened for reading only, so
// nothing is created.
bool IsMachineKeyPresent(const XpString& path);

// "History" of the product's uninstall key followed by that of the
// product's key; false when neither reads.
bool ReadSetupHistory(XpStringVector* entries);

// "Version.txt" of the former suite, whose location is read from the maker's
// key; false when it does not read.
bool ReadFormerSuiteVersion(XpString* version);
