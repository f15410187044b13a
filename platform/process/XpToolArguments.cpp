#include "platform/process/XpToolArguments.h"

#include <getopt.h>

#include <cstddef>
#include <optional>

namespace {

constexpr int kHelpCode = 'h';
// getopt_long's answer for a long option without a short name: this plus its
// place in the table.
constexpr int kFirstLongCode = 256;
constexpr const char* kHelpName = "help";
constexpr const char* kHelpText = "prints this usage";

// How the offending option was spelled: "--name" without its value, or
// "-x". current is the argument getopt was reading; a short option may sit
// in a cluster of them.
std::string OptionText(const std::string& current) {
  if (current.rfind("--", 0) == 0) {
    return current.substr(0, current.find('='));
  }
  return std::string("-") + static_cast<char>(optopt);
}

std::string Spelling(const XpToolOption& option) {
  std::string text = "  ";
  if (option.shortName != '\0') {
    text += std::string("-") + option.shortName + ", ";
  }
  text += std::string("--") + option.name;
  return option.takesValue ? text + " VALUE" : text;
}

}  // namespace

XpToolArguments::XpToolArguments(std::string program, std::string synopsis, std::vector<XpToolOption> options)
    : program_(std::move(program)), synopsis_(std::move(synopsis)), options_(std::move(options)) {}

const XpToolOption* XpToolArguments::FindShort(int code) const {
  for (const XpToolOption& option : options_) {
    if (option.shortName != '\0' && option.shortName == code) {
      return &option;
    }
  }
  return nullptr;
}

const XpToolOption* XpToolArguments::FindLong(const std::string& name) const {
  for (const XpToolOption& option : options_) {
    if (name == option.name) {
      return &option;
    }
  }
  return nullptr;
}

const XpToolOption* XpToolArguments::FindLongAbbreviated(const std::string& name) const {
  if (const XpToolOption* exact = FindLong(name)) {
    return exact;
  }
  const XpToolOption* found = nullptr;
  for (const XpToolOption& option : options_) {
    if (std::string(option.name).rfind(name, 0) == 0) {
      if (found != nullptr) {
        return nullptr;
      }
      found = &option;
    }
  }
  return found;
}

std::optional<std::string> XpToolArguments::SpelledOption(const std::string& argument,
                                                          bool slashToo) const {
  if (argument.rfind("--", 0) == 0) {
    return argument;
  }
  const bool dash = argument.size() > 1 && argument[0] == '-';
  const bool slash = slashToo && argument.size() > 1 && argument[0] == '/';
  if (!dash && !slash) {
    return std::nullopt;
  }
  const std::string name = argument.substr(1, argument.find('=') - 1);
  if (argument.size() > 2 && (FindLong(name) != nullptr || name == kHelpName)) {
    return "--" + argument.substr(1);
  }
  if (slash) {
    return std::nullopt;
  }
  return argument;
}

bool XpToolArguments::TakesNextAsValue(const std::string& spelled) const {
  if (spelled.rfind("--", 0) == 0) {
    const XpToolOption* option = FindLongAbbreviated(spelled.substr(2));
    return spelled.find('=') == std::string::npos && option != nullptr && option->takesValue;
  }
  // A cluster of short options: the first that takes a value takes the rest.
  for (size_t index = 1; index < spelled.size(); ++index) {
    const XpToolOption* option = FindShort(spelled[index]);
    if (option == nullptr) {
      return false;
    }
    if (option->takesValue) {
      return index + 1 == spelled.size();
    }
  }
  return false;
}

std::vector<std::string> XpToolArguments::SpelledLong(const std::vector<std::string>& arguments,
                                                      bool slashToo) const {
  std::vector<std::string> spelled;
  size_t index = 0;
  for (; index < arguments.size() && arguments[index] != "--"; ++index) {
    const std::optional<std::string> option = SpelledOption(arguments[index], slashToo);
    if (!option) {
      break;
    }
    spelled.push_back(*option);
    // A value in the next argument is taken as it is.
    if (TakesNextAsValue(*option) && index + 1 < arguments.size()) {
      spelled.push_back(arguments[++index]);
    }
  }
  spelled.insert(spelled.end(), arguments.begin() + static_cast<std::ptrdiff_t>(index),
                 arguments.end());
  return spelled;
}

XpToolArguments::Outcome XpToolArguments::Parse(const std::vector<std::string>& arguments) {
  outcome_ = Outcome::kDone;
  values_.clear();
  operands_.clear();
  line_.clear();

  std::vector<std::string> copies{program_};
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& copy : copies) {
    argv.push_back(copy.data());
  }
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  // '+': the first operand ends the options; ':': a missing value is told
  // apart from an unknown option.
  std::string shortOptions = "+:h";
  std::vector<option> longOptions{{kHelpName, no_argument, nullptr, kHelpCode}};
  for (size_t index = 0; index < options_.size(); ++index) {
    const XpToolOption& entry = options_[index];
    const int code = entry.shortName != '\0' ? entry.shortName : kFirstLongCode + static_cast<int>(index);
    longOptions.push_back({entry.name, entry.takesValue ? required_argument : no_argument, nullptr, code});
    if (entry.shortName != '\0') {
      shortOptions += entry.shortName;
      shortOptions += entry.takesValue ? ":" : "";
    }
  }
  longOptions.push_back({nullptr, 0, nullptr, 0});

  // 0 starts getopt afresh, so that a process may parse more than once.
  optind = 0;
  opterr = 0;
  for (;;) {
    optopt = 0;
    // optind is 0 only before the first call, which reads argument 1.
    const int reading = optind == 0 ? 1 : optind;
    const std::string current = reading < argc ? copies[reading] : "";
    const int code = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
    if (code == -1) {
      break;
    }
    if (code == kHelpCode) {
      outcome_ = Outcome::kHelp;
      return outcome_;
    }
    if (code == '?') {
      return Bad("unknown option '" + OptionText(current) + "'");
    }
    if (code == ':') {
      return Bad("option '" + OptionText(current) + "' needs a value");
    }
    const XpToolOption* found = code >= kFirstLongCode ? &options_[code - kFirstLongCode] : FindShort(code);
    values_.emplace_back(found->name, optarg != nullptr ? optarg : "");
  }
  operands_.assign(copies.begin() + optind, copies.end());
  return outcome_;
}

XpToolArguments::Outcome XpToolArguments::Refuse(const std::string& what) { return Bad(what); }

XpToolArguments::Outcome XpToolArguments::Bad(const std::string& what) {
  outcome_ = Outcome::kBadUsage;
  line_ = program_ + ": " + what;
  return outcome_;
}

bool XpToolArguments::Has(const std::string& name) const {
  for (const auto& [given, value] : values_) {
    if (given == name) {
      return true;
    }
  }
  return false;
}

std::string XpToolArguments::Value(const std::string& name) const {
  std::string last;
  for (const auto& [given, value] : values_) {
    if (given == name) {
      last = value;
    }
  }
  return last;
}

std::vector<std::string> XpToolArguments::Values(const std::string& name) const {
  std::vector<std::string> given;
  for (const auto& [option, value] : values_) {
    if (option == name) {
      given.push_back(value);
    }
  }
  return given;
}

std::string XpToolArguments::Usage() const {
  std::string usage = synopsis_ + "options:\n";
  const XpToolOption help{kHelpName, 'h', false, kHelpText};
  usage += Spelling(help) + "  " + help.help + "\n";
  for (const XpToolOption& option : options_) {
    usage += Spelling(option) + "  " + option.help + "\n";
  }
  return usage;
}

int XpToolArguments::Answer(std::ostream& out, std::ostream& err) const {
  if (outcome_ == Outcome::kHelp) {
    out << Usage();
    return kExitDone;
  }
  if (outcome_ == Outcome::kBadUsage) {
    err << line_ << "\n" << Usage();
    return kExitUsage;
  }
  return kExitDone;
}
