#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"
#include "setup/launch/InstalledProduct.h"
#include "setup/launch/SetupCommandLine.h"

class SetupSettings;

// The installer's verbose log: the temporary folder, then
// "[<product name>]Installer-YYYYMMDD-HHMMSS.log" at the local time now,
// with "QMV" for an empty product name.
XpString SetupLogName(const XpString& productName, const XpDateTime& now);

// What the installer command is built from besides setup's command line.
struct InstallerCommandFacts {
  const SetupSettings* settings = nullptr;
  // Every named mutex setup created was new.
  bool allMutexesNew = true;
  // The package passed both signature tests.
  bool packageAccepted = false;
  // The user's language transform; 0 for none.
  uint32_t languageTransform = 0;
  XpString logName;
  // The product's own installation (ReadInstalledProduct).
  InstalledProduct product;
};

struct InstallerCommand {
  XpString text;
  bool succeeded = false;
  // INSTALLMODE and SETTINGS were passed.
  bool installModePassed = false;
};

// The installer's command: the package, the options, the properties and
// the install mode. It fails when the package was refused; the text is
// still built without the options.
InstallerCommand BuildInstallerCommand(const SetupCommandLine& commandLine, const InstallerCommandFacts& facts);

// The version lies in range "<lowest><separator><highest>": above the
// lowest (six units of it compared with the whole range) and not above the
// highest.
bool IsVersionInUpdateRange(const XpString& version, const XpString& range);
