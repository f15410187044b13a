#include "platform/process/XpToolArguments.h"

#include <getopt.h>

namespace {

constexpr int kHelpCode = 'h';
// getopt_long's answer for a long option without a short name: this plus its
// place in the table.
constexpr int kFirstLongCode = 256;
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
  std::vector<option> longOptions{{"help", no_argument, nullptr, kHelpCode}};
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

std::string XpToolArguments::Usage() const {
  std::string usage = synopsis_ + "options:\n";
  const XpToolOption help{"help", 'h', false, kHelpText};
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
