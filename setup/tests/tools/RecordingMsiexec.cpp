#include "setup/tests/tools/RecordingMsiexec.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace setuptest {

namespace {

constexpr const char* kSemaphoreName = "Global\\QMVSetupPrepareMsgSemaphore";

}  // namespace

std::string RecordingMsiexecScript() {
  const std::string namedsem = KAVO_NAMEDSEM_PROGRAM;
  std::string script = "#!/bin/sh\n";
  script += "record=\"${MSIEXEC_RECORD:-$(dirname \"$0\")/Msiexec.record}\"\n";
  script += "code=\"${MSIEXEC_EXIT:-0}\"\n";
  script += "{\n";
  script += "  echo \"start $(date +%s%N)\"\n";
  script += "  echo \"cwd $(pwd)\"\n";
  script += "  for a in \"$@\"; do printf 'arg %s\\n' \"$a\"; done\n";
  script += "} >>\"$record\"\n";
  script += "echo \"Msiexec $*\"\n";
  script += "if [ -n \"$MSIEXEC_PROBE\" ]; then\n";
  script += "  if '" + namedsem + "' --probe '" + kSemaphoreName + "'; then echo 'probe open' >>\"$record\";\n";
  script += "  else echo 'probe absent' >>\"$record\"; fi\n";
  script += "fi\n";
  script += "if [ -n \"$MSIEXEC_RELEASE\" ] && '" + namedsem + "' '" + kSemaphoreName + "'; then\n";
  script += "  echo released >>\"$record\"\n";
  script += "fi\n";
  script += "if [ -n \"$MSIEXEC_SLEEP\" ]; then sleep \"$MSIEXEC_SLEEP\"; fi\n";
  script += "if [ -n \"$MSIEXEC_WATCH\" ]; then\n";
  script += "  echo \"watched $(grep -c '^form.* end ' \"$MSIEXEC_WATCH\" 2>/dev/null || true)\" >>\"$record\"\n";
  script += "fi\n";
  script += "echo \"end $(date +%s%N)\" >>\"$record\"\n";
  script += "echo \"exit $code\" >>\"$record\"\n";
  script += "exit \"$code\"\n";
  return script;
}

bool WriteRecordingMsiexec(const std::string& path, std::string* error) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << RecordingMsiexecScript();
    if (!out.good()) {
      *error = "cannot write " + path;
      return false;
    }
  }
  std::error_code code;
  std::filesystem::permissions(path,
                               std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                   std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                   std::filesystem::perms::others_exec,
                               code);
  if (code) {
    *error = "cannot make " + path + " executable: " + code.message();
    return false;
  }
  return true;
}

std::vector<MsiexecRun> ReadMsiexecRecord(const std::string& path) {
  std::vector<MsiexecRun> runs;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t blank = line.find(' ');
    const std::string word = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (word == "start") {
      runs.emplace_back();
      runs.back().startNs = std::stoll(rest);
      continue;
    }
    if (runs.empty()) continue;
    MsiexecRun& run = runs.back();
    if (word == "cwd") run.workingFolder = rest;
    if (word == "arg") run.arguments.push_back(rest);
    if (word == "probe") run.probe = rest;
    if (word == "released") run.released = true;
    if (word == "watched") run.watchedEnds = rest.empty() ? 0 : std::stoi(rest);
    if (word == "end") run.endNs = std::stoll(rest);
    if (word == "exit") run.exitCode = std::stoi(rest);
  }
  return runs;
}

}  // namespace setuptest
