#pragma once

#include <string>
#include <utility>
#include <vector>

namespace setuptest {

// One entry of a test archive: its stored name and its bytes.
using ArchiveEntry = std::pair<std::string, std::string>;

// Writes a zip archive with these entries, names stored as given (so
// "../x" can be made); false when it cannot be written.
bool WriteZipArchive(const std::string& path, const std::vector<ArchiveEntry>& entries);

}  // namespace setuptest
