#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace msitest {

// What a finished program left.
struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs program with arguments and standard input from /dev/null, its output
// caught in files of folder; waits for it to end.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder);

}  // namespace msitest
