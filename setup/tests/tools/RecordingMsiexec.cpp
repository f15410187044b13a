#include "setup/tests/tools/RecordingMsiexec.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace setuptest {

namespace {

constexpr const char* kSemaphoreName = "Global\\QMVSetupPrepareMsgSemaphore";

// A behaviour the script acts out when its steering variable is set, in
// this order. The actions may use $record, $namedsem and $sem.
struct Behaviour {
  const char* variable;
  const char* action;
};

constexpr Behaviour kBehaviours[] = {
    {"MSIEXEC_PROBE",
     "if \"$namedsem\" --probe \"$sem\"; then echo 'probe open' >>\"$record\"; "
     "else echo 'probe absent' >>\"$record\"; fi"},
    {"MSIEXEC_RELEASE", "if \"$namedsem\" \"$sem\"; then echo released >>\"$record\"; fi"},
    {"MSIEXEC_SLEEP", "sleep \"$MSIEXEC_SLEEP\""},
    {"MSIEXEC_WATCH",
     "echo \"watched $(grep -c '^form.* end ' \"$MSIEXEC_WATCH\" 2>/dev/null || true)\" "
     ">>\"$record\""},
};

// How each line after "start" fills in its run.
struct RecordField {
  const char* word;
  void (*read)(const std::string& rest, MsiexecRun* run);
};

constexpr RecordField kRecordFields[] = {
    {"cwd", [](const std::string& rest, MsiexecRun* run) { run->workingFolder = rest; }},
    {"arg", [](const std::string& rest, MsiexecRun* run) { run->arguments.push_back(rest); }},
    {"probe", [](const std::string& rest, MsiexecRun* run) { run->probe = rest; }},
    {"released", [](const std::string&, MsiexecRun* run) { run->released = true; }},
    {"watched", [](const std::string& rest,
                   MsiexecRun* run) { run->watchedEnds = rest.empty() ? 0 : std::stoi(rest); }},
    {"end", [](const std::string& rest, MsiexecRun* run) { run->endNs = std::stoll(rest); }},
    {"exit", [](const std::string& rest, MsiexecRun* run) { run->exitCode = std::stoi(rest); }},
};

void ReadRecordLine(const std::string& word, const std::string& rest, MsiexecRun* run) {
  for (const RecordField& field : kRecordFields) {
    if (word == field.word) {
      field.read(rest, run);
      return;
    }
  }
}

}  // namespace

std::string RecordingMsiexecScript() {
  std::string script = "#!/bin/sh\n";
  script += "record=\"${MSIEXEC_RECORD:-$(dirname \"$0\")/Msiexec.record}\"\n";
  script += "code=\"${MSIEXEC_EXIT:-0}\"\n";
  script += std::string("namedsem='") + KAVO_NAMEDSEM_PROGRAM + "'\n";
  script += std::string("sem='") + kSemaphoreName + "'\n";
  script += "{\n";
  script += "  echo \"start $(date +%s%N)\"\n";
  script += "  echo \"cwd $(pwd)\"\n";
  script += "  for a in \"$@\"; do printf 'arg %s\\n' \"$a\"; done\n";
  script += "} >>\"$record\"\n";
  script += "echo \"Msiexec $*\"\n";
  for (const Behaviour& behaviour : kBehaviours) {
    script += std::string("if [ -n \"$") + behaviour.variable + "\" ]; then\n";
    script += std::string("  ") + behaviour.action + "\n";
    script += "fi\n";
  }
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
    ReadRecordLine(word, rest, &runs.back());
  }
  return runs;
}

}  // namespace setuptest
