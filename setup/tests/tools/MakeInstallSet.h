#pragma once

#include <string>
#include <vector>

#include "setup/tests/tools/TestArchive.h"

namespace setuptest {

struct InstallSetOptions {
  // The package is changed after signing (both copies).
  bool tamperPackage = false;
  // "setup.ini" is changed after "data.bin" was made.
  bool tamperSettings = false;
  // The archive lacks "QMV.cab".
  bool omitCabinet = false;
  // Further entries at the end of the archive.
  std::vector<ArchiveEntry> extraEntries;
  // Further "key=value\r\n" lines of the section "General".
  std::string extraSettings;
  // No recording "Msiexec" beside setup.
  bool withoutInstaller = false;
};

// The settings text of the test install set.
std::string InstallSetSettings(const std::string& extraSettings = std::string());
// The text of "data.bin" for settings: the SHA-1 of its whole 20-byte
// blocks up to the first zero byte, 40 lowercase hex digits in UTF-16LE.
std::string DigestFileText(const std::string& settings);

// Writes a complete signed install set into dir: a copy of setupProgram as
// "setup", the recording installer as "Msiexec" (RecordingMsiexec.h), "setup.ini", "QMV.zip" (QMV.msi signed by "Kavo Corporation
// Europe", QMV.cab, Version.txt, data.bin), the test authority as
// "test-ca.pem" and a loose copy of the signed QMV.msi. False with a reason
// in error when something cannot be made.
bool MakeInstallSet(const std::string& dir, const std::string& setupProgram,
                    const InstallSetOptions& options, std::string* error);

}  // namespace setuptest
