#pragma once

#include <functional>

#include "platform/text/XpString.h"

class SetupSettings;

// What the file-configuration run takes before the installer runs.
struct FileConfigurationFacts {
  // The former suite's version; "" when none was read.
  XpString formerVersion;
  // The uninstall key {8F41D0B3-...} exists.
  bool pmPresent = false;
};

FileConfigurationFacts ReadFileConfigurationFacts();

struct FileConfigurationRun {
  FileConfigurationFacts facts;
  const SetupSettings* settings = nullptr;
  // INSTALLMODE and SETTINGS went to the installer.
  bool installModePassed = false;
  // setup's program folder, the program's working folder.
  XpString programFolder;
  // The signature gate; IsPackageAccepted unless a test replaces it.
  std::function<bool(const XpString& path)> accept;
};

// The arguments of the file-configuration program.
XpString FileConfigurationArguments(const FileConfigurationRun& run);

// Runs "QMVFileConfig.exe" of the product's installed location, found as
// the watcher is, when it passes the signature gate; the same file that
// passed is started and waited for. Nothing is reported. True when it ran.
bool RunFileConfiguration(const FileConfigurationRun& run);
