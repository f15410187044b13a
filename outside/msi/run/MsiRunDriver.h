#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "msi/MsiInstallation.h"
#include "platform/process/XpToolArguments.h"

namespace msirun {

// Exit codes of the driver.
inline constexpr int kExitDone = 0;
inline constexpr int kExitActionFailed = 1;
inline constexpr int kExitUsage = XpToolArguments::kExitUsage;
inline constexpr int kExitLoadFailed = 3;

// The command line:
//   msirun [--properties FILE] [--feature NAME]... [--answer yes|no] [--hold]
//          LIBRARY EXPORT [EXPORT]... [NAME=VALUE]...
struct RunOptions {
  std::string propertiesFile;
  std::vector<std::u16string> features;
  std::optional<int32_t> answer;
  bool hold = false;
  std::string library;
  std::vector<std::string> exports;
  std::vector<std::string> assignments;
};

// The parser of the command line, for its usage and answer.
XpToolArguments RunArguments();
// Reads arguments into *options; kHelp, or kBadUsage (with parsed's Line)
// for a command line that does not fit the usage.
[[nodiscard]] XpToolArguments::Outcome ReadRunOptions(const std::vector<std::string>& arguments,
                                                      RunOptions* options, XpToolArguments* parsed);

// Loads the library, builds one installation, calls the exports in order
// on this thread and prints what they did; returns the exit code.
int RunDriver(const RunOptions& options);

}  // namespace msirun
