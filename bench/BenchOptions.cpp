#include "bench/BenchOptions.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr const char* kSynopsis =
    "usage: k2bench --work FOLDER [--quick] [--verify-only] [--runs N] [--case N]...\n";

bool ParseCount(const std::string& text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && last == end && value >= 1;
}

}  // namespace

bool BenchOptions::Wants(int32_t number) const {
  return cases.empty() || std::find(cases.begin(), cases.end(), number) != cases.end();
}

XpToolArguments BenchOptions::Arguments() {
  return XpToolArguments(
      "k2bench", kSynopsis,
      {{"work", '\0', true, "the empty folder the inputs and outputs go to"},
       {"quick", '\0', false, "fewer and smaller pictures, fewer rounds"},
       {"verify-only", '\0', false, "runs and checks each case once, timing nothing"},
       {"runs", '\0', true, "the timed rounds, at least 1"},
       {"case", '\0', true, "runs only this case number; may be repeated"}});
}

XpToolArguments::Outcome BenchOptions::Read(const std::vector<std::string>& arguments,
                                            BenchOptions& options, XpToolArguments& parsed) {
  // "-name" has always been taken as well as "--name".
  if (parsed.Parse(parsed.SpelledLong(arguments, false)) != XpToolArguments::Outcome::kDone) {
    return parsed.Result();
  }
  if (!parsed.Operands().empty()) {
    return parsed.Refuse("unexpected argument: " + parsed.Operands().front());
  }
  options.workFolder = parsed.Value("work");
  if (options.workFolder.empty()) {
    return parsed.Refuse("--work FOLDER is required");
  }
  options.quick = parsed.Has("quick");
  options.verifyOnly = parsed.Has("verify-only");
  if (parsed.Has("runs") && !ParseCount(parsed.Value("runs"), options.runs)) {
    return parsed.Refuse("--runs needs a count of at least 1");
  }
  for (const std::string& text : parsed.Values("case")) {
    int32_t number = 0;
    if (!ParseCount(text, number)) {
      return parsed.Refuse("--case needs a case number");
    }
    options.cases.push_back(number);
  }
  if (options.quick && !parsed.Has("runs")) {
    options.runs = kQuickRuns;
  }
  return parsed.Result();
}

bool BenchOptions::Parse(const std::vector<std::string>& arguments, BenchOptions& options,
                         std::string& error) {
  XpToolArguments parsed = Arguments();
  if (Read(arguments, options, parsed) == XpToolArguments::Outcome::kDone) {
    return true;
  }
  error = parsed.Result() == XpToolArguments::Outcome::kHelp ? "help asked for" : parsed.Line();
  return false;
}
