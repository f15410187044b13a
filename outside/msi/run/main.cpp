// msirun: loads a custom-action library and calls its exports with one
// installation made from a properties file and NAME=VALUE arguments.

#include <iostream>
#include <string>
#include <vector>

#include "MsiRunDriver.h"

namespace {

constexpr const char* kUsage =
    "usage: msirun [--properties FILE] [--feature NAME]... [--answer yes|no] [--hold]\n"
    "              LIBRARY EXPORT [EXPORT]... [NAME=VALUE]...\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  msirun::RunOptions options;
  std::string error;
  if (!msirun::ParseRunOptions(arguments, &options, &error)) {
    std::cerr << "msirun: " << error << "\n" << kUsage;
    return msirun::kExitUsage;
  }
  return msirun::RunDriver(options);
}
