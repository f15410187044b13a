#pragma once

#include <string>
#include <vector>

namespace setuptest {

// A recording installer for setup to run as "Msiexec". It appends to the
// file $MSIEXEC_RECORD (default: "Msiexec.record" beside it) the lines
//   start <ns>   cwd <folder>   arg <argument>...   [probe open|absent]
//   [released]   [watched <n>]   end <ns>   exit <code>
// prints "Msiexec <arguments>" on standard output, and is steered by:
//   MSIEXEC_PROBE=1     record whether the preparing semaphore can be opened;
//   MSIEXEC_RELEASE=1   release the preparing semaphore once;
//   MSIEXEC_SLEEP=S     then sleep S seconds;
//   MSIEXEC_WATCH=F     then record how many lines of the UI transcript F
//                       say that a form ended;
//   MSIEXEC_EXIT=N      exit with N (default 0).
std::string RecordingMsiexecScript();

// Writes the script as an executable file. False with a reason otherwise.
bool WriteRecordingMsiexec(const std::string& path, std::string* error);

// One run of the recording installer, read back from its record.
struct MsiexecRun {
  long long startNs = 0;
  long long endNs = 0;
  std::string workingFolder;
  std::vector<std::string> arguments;
  std::string probe;
  bool released = false;
  // Form ends in the watched transcript as the run ended; -1 unwatched.
  int watchedEnds = -1;
  int exitCode = -1;
};

// Every run in the record file; none when it does not exist.
std::vector<MsiexecRun> ReadMsiexecRecord(const std::string& path);

}  // namespace setuptest
