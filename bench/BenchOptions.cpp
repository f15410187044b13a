#include "bench/BenchOptions.h"

#include <algorithm>
#include <charconv>

namespace {

bool ParseCount(const std::string& text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && last == end && value >= 1;
}

// "--name" and "-name" are the same flag.
std::string FlagName(const std::string& argument) {
  if (argument.rfind("--", 0) == 0) {
    return argument.substr(2);
  }
  if (argument.rfind('-', 0) == 0) {
    return argument.substr(1);
  }
  return std::string();
}

}  // namespace

bool BenchOptions::Wants(int32_t number) const {
  return cases.empty() || std::find(cases.begin(), cases.end(), number) != cases.end();
}

const char* BenchOptions::Usage() {
  return "usage: k2bench --work FOLDER [--quick] [--verify-only] [--runs N] [--case N]...\n";
}

bool BenchOptions::Parse(const std::vector<std::string>& arguments, BenchOptions& options,
                         std::string& error) {
  bool runsGiven = false;
  for (size_t index = 0; index < arguments.size(); ++index) {
    const std::string name = FlagName(arguments[index]);
    const bool hasValue = index + 1 < arguments.size();
    if (name == "quick") {
      options.quick = true;
    } else if (name == "verify-only") {
      options.verifyOnly = true;
    } else if (name == "work" && hasValue) {
      options.workFolder = arguments[++index];
    } else if (name == "runs" && hasValue) {
      if (!ParseCount(arguments[++index], options.runs)) {
        error = "--runs needs a count of at least 1";
        return false;
      }
      runsGiven = true;
    } else if (name == "case" && hasValue) {
      int32_t number = 0;
      if (!ParseCount(arguments[++index], number)) {
        error = "--case needs a case number";
        return false;
      }
      options.cases.push_back(number);
    } else {
      error = "unknown or incomplete argument: " + arguments[index];
      return false;
    }
  }
  if (options.workFolder.empty()) {
    error = "--work FOLDER is required";
    return false;
  }
  if (options.quick && !runsGiven) {
    options.runs = kQuickRuns;
  }
  return true;
}
