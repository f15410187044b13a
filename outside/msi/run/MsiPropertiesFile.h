#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "msi/MsiInstallation.h"

namespace msirun {

// What a properties file declares.
struct PropertiesFile {
  msi::PropertyMap properties;
  std::vector<std::u16string> features;
};

// The driver's properties file: UTF-8 with LF or CR LF line ends. Blank
// lines and lines beginning with '#' are skipped; "NAME=VALUE" sets a
// property (the value is everything after the first '=', untrimmed, and may
// be empty); a line "[Feature]" starts the feature names, one per line. Any
// other line is an error: false, with *error naming the line.
bool ParsePropertiesText(std::string_view text, PropertiesFile* file, std::string* error);

// Reads and parses the file; *error names the file (and line) on failure.
bool ReadPropertiesFile(const std::string& path, PropertiesFile* file, std::string* error);

// "NAME=VALUE" into its two parts; false without '=' or with an empty name.
bool SplitAssignment(std::string_view text, std::u16string* name, std::u16string* value);

}  // namespace msirun
