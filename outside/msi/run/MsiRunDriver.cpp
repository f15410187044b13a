#include "MsiRunDriver.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "MsiPropertiesFile.h"
#include "platform/fs/XpRestarted.h"
#include "platform/text/XpUtf.h"

namespace msirun {
namespace {

using ExportFunction = uint32_t (*)(MSIHANDLE);

bool ParseAnswer(const std::string& text, int32_t* answer) {
  if (text == "yes") {
    *answer = kMsiAnswerYes;
  } else if (text == "no") {
    *answer = kMsiAnswerNo;
  } else {
    return false;
  }
  return true;
}

// Asks on the terminal; anything but an answer starting with 'y' is no.
int32_t AskOnTerminal(const std::u16string& caption, const std::u16string& text) {
  std::cerr << XpUtf16ToUtf8(caption) << ": " << XpUtf16ToUtf8(text) << " [y/n] " << std::flush;
  std::string reply;
  if (!std::getline(std::cin, reply)) return kMsiAnswerNo;
  return !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y') ? kMsiAnswerYes : kMsiAnswerNo;
}

msi::YesNoAnswerer MakeAnswerer(std::optional<int32_t> fixed) {
  const bool terminal = !fixed && ::isatty(STDIN_FILENO) == 1;
  return [fixed, terminal](const std::u16string& caption, const std::u16string& text) {
    int32_t answer = kMsiAnswerNo;
    if (fixed) {
      answer = *fixed;
    } else if (terminal) {
      answer = AskOnTerminal(caption, text);
    }
    std::cout << "question " << XpUtf16ToUtf8(caption) << " " << answer << "\n" << std::flush;
    return answer;
  };
}

// Builds the installation's properties and features; false (with the
// message printed) for a bad properties file or assignment.
bool CollectInstallation(const RunOptions& options, PropertiesFile* content) {
  std::string error;
  if (!options.propertiesFile.empty() && !ReadPropertiesFile(options.propertiesFile, content, &error)) {
    std::cerr << "msirun: " << error << "\n";
    return false;
  }
  for (const std::string& assignment : options.assignments) {
    std::u16string name;
    std::u16string value;
    if (!SplitAssignment(assignment, &name, &value)) {
      std::cerr << "msirun: not NAME=VALUE: " << assignment << "\n";
      return false;
    }
    content->properties[name] = value;
  }
  content->features.insert(content->features.end(), options.features.begin(), options.features.end());
  return true;
}

// The exports' addresses, all looked up before any is called.
bool LoadExports(const RunOptions& options, std::vector<ExportFunction>* functions) {
  void* library = ::dlopen(options.library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::cerr << "msirun: " << ::dlerror() << "\n";
    return false;
  }
  for (const std::string& name : options.exports) {
    ::dlerror();
    void* address = ::dlsym(library, name.c_str());
    const char* error = ::dlerror();
    if (address == nullptr || error != nullptr) {
      std::cerr << "msirun: " << (error != nullptr ? error : name + ": no address") << "\n";
      return false;
    }
    // dlsym hands out functions as object pointers; the bits are the same.
    ExportFunction function = nullptr;
    static_assert(sizeof(function) == sizeof(address));
    std::memcpy(&function, &address, sizeof(function));
    functions->push_back(function);
  }
  // The library stays loaded: objects it holds must outlive the calls.
  return true;
}

void PrintOutcome(MSIHANDLE install) {
  for (const auto& [name, value] : msi::PropertiesOf(install)) {
    std::cout << "property " << XpUtf16ToUtf8(name) << "=" << XpUtf16ToUtf8(value) << "\n";
  }
  for (const auto& [name, state] : msi::FeatureStatesOf(install)) {
    std::cout << "feature " << XpUtf16ToUtf8(name) << " " << state << "\n";
  }
  std::cout << std::flush;
}

void WaitForEndOfInput() {
  char buffer[256];
  for (;;) {
    const ssize_t count = XpRestarted([&] { return ::read(STDIN_FILENO, buffer, sizeof(buffer)); });
    if (count <= 0) return;
  }
}

}  // namespace

XpToolArguments RunArguments() {
  return XpToolArguments(
      "msirun",
      "usage: msirun [--properties FILE] [--feature NAME]... [--answer yes|no] [--hold]\n"
      "              LIBRARY EXPORT [EXPORT]... [NAME=VALUE]...\n",
      {{"properties", '\0', true, "NAME=VALUE lines, then the features after [Feature]"},
       {"feature", '\0', true, "one more feature; may be repeated"},
       {"answer", '\0', true, "answers every question yes or no"},
       {"hold", '\0', false, "keeps the installation open until standard input ends"}});
}

XpToolArguments::Outcome ReadRunOptions(const std::vector<std::string>& arguments,
                                        RunOptions* options, XpToolArguments* parsed) {
  if (parsed->Parse(arguments) != XpToolArguments::Outcome::kDone) {
    return parsed->Result();
  }
  options->propertiesFile = parsed->Value("properties");
  for (const std::string& feature : parsed->Values("feature")) {
    options->features.push_back(XpUtf8ToUtf16(feature));
  }
  for (const std::string& text : parsed->Values("answer")) {
    int32_t answer = 0;
    if (!ParseAnswer(text, &answer)) {
      return parsed->Refuse("--answer takes yes or no");
    }
    options->answer = answer;
  }
  options->hold = parsed->Has("hold");
  const std::vector<std::string>& operands = parsed->Operands();
  if (operands.empty()) {
    return parsed->Refuse("no library");
  }
  options->library = operands.front();
  for (auto operand = operands.begin() + 1; operand != operands.end(); ++operand) {
    if (operand->find('=') != std::string::npos) {
      options->assignments.push_back(*operand);
    } else {
      options->exports.push_back(*operand);
    }
  }
  if (options->exports.empty()) {
    return parsed->Refuse("no export");
  }
  return parsed->Result();
}

int RunDriver(const RunOptions& options) {
  PropertiesFile content;
  if (!CollectInstallation(options, &content)) return kExitUsage;
  std::vector<ExportFunction> functions;
  if (!LoadExports(options, &functions)) return kExitLoadFailed;

  const MSIHANDLE install = msi::CreateInstallation(content.properties, content.features);
  msi::SetYesNoAnswerer(install, MakeAnswerer(options.answer));
  bool allSucceeded = true;
  for (size_t i = 0; i < functions.size(); ++i) {
    const uint32_t result = functions[i](install);
    std::cout << "call " << options.exports[i] << " " << result << "\n" << std::flush;
    allSucceeded = allSucceeded && result == 0;
  }
  PrintOutcome(install);
  if (options.hold) WaitForEndOfInput();
  msi::CloseInstallation(install);
  return allSucceeded ? kExitDone : kExitActionFailed;
}

}  // namespace msirun
