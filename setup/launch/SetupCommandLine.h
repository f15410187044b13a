#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/text/XpString.h"

// setup's own command line, parsed once: the options it was given and the
// versions and folder the installer command is built from.
struct SetupCommandLine {
  // Names and values are cut to this many units.
  static constexpr int32_t kMaxOptionUnits = 260;

  std::vector<std::pair<XpString, XpString>> options;
  // The data folder, ending with '/'.
  XpString packageFolder;
  // "Version.txt" of the package, and of the installed product ("" when
  // none was read).
  XpString packageVersion;
  XpString installedVersion;

  // True when the option was given (names compare exactly); its value goes
  // to value when value is not null.
  bool HasOption(const XpString& name, XpString* value = nullptr) const;
};

// The options setup knows.
inline constexpr const char16_t* kSetupOptionThru = u"thru";
inline constexpr const char16_t* kSetupOptionLogging = u"logging";
inline constexpr const char16_t* kSetupOptionTransforms = u"transforms";
inline constexpr const char16_t* kSetupOptionQuiet = u"qn";
inline constexpr const char16_t* kSetupOptionInstallMode = u"oi";

// Options are the arguments "/name" or "/name=value", as given; "-name" and
// "--name" are taken for the known names only. Every other argument is
// ignored.
SetupCommandLine ParseSetupCommandLine(const XpStringVector& arguments, const XpString& packageFolder,
                                       const XpString& packageVersion,
                                       const XpString& installedVersion);
