#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// One option of a tool's command line.
struct XpToolOption {
  // Spelled "--name".
  const char* name;
  // Spelled "-c"; '\0' for none.
  char shortName;
  bool takesValue;
  const char* help;
};

// A tool's command line, read by getopt_long: options come first, and the
// first operand or "--" ends them. "-h" and "--help" ask for the usage.
//
//   XpToolArguments arguments("k2xdb", "usage: k2xdb list FOLDER\n");
//   if (arguments.Parse(argv) != XpToolArguments::Outcome::kDone)
//     return arguments.Answer(std::cout, std::cerr);
class XpToolArguments {
 public:
  static constexpr int kExitDone = 0;
  static constexpr int kExitUsage = 2;

  enum class Outcome {
    kDone,
    // -h or --help: the usage goes to standard output.
    kHelp,
    // Line() and the usage go to standard error.
    kBadUsage,
  };

  // synopsis: the usage's first lines, each ending in '\n'.
  XpToolArguments(std::string program, std::string synopsis, std::vector<XpToolOption> options = {});

  // arguments without the program's name.
  [[nodiscard]] Outcome Parse(const std::vector<std::string>& arguments);
  // Marks the command line bad for a reason found after Parse: a missing
  // operand, one that is not a number.
  [[nodiscard]] Outcome Refuse(const std::string& what);

  Outcome Result() const { return outcome_; }
  const std::vector<std::string>& Operands() const { return operands_; }
  bool Has(const std::string& name) const;
  // The value last given to name; empty when it was not given.
  std::string Value(const std::string& name) const;
  // Every value given to name, in order.
  std::vector<std::string> Values(const std::string& name) const;
  // The arguments with "-name" (and "/name" when slashToo) spelled "--name"
  // for the long names of the options and "help", up to "--" or the first
  // operand; an option's value is left as it is. For tools that have always
  // taken those spellings.
  std::vector<std::string> SpelledLong(const std::vector<std::string>& arguments,
                                       bool slashToo) const;
  // "program: what" for a bad usage; empty otherwise.
  const std::string& Line() const { return line_; }
  // The synopsis, then one line for each option.
  std::string Usage() const;

  // For kHelp the usage to out; for kBadUsage the line and the usage to err.
  // The exit status: kExitDone, or kExitUsage.
  int Answer(std::ostream& out, std::ostream& err) const;

 private:
  Outcome Bad(const std::string& what);
  const XpToolOption* FindShort(int code) const;
  const XpToolOption* FindLong(const std::string& name) const;
  // As getopt_long reads "--name": exact, or the one option name begins.
  const XpToolOption* FindLongAbbreviated(const std::string& name) const;
  // argument as an option for getopt_long; none when it is an operand.
  std::optional<std::string> SpelledOption(const std::string& argument, bool slashToo) const;
  // Whether getopt_long takes the argument after spelled as its value.
  bool TakesNextAsValue(const std::string& spelled) const;

  std::string program_;
  std::string synopsis_;
  std::vector<XpToolOption> options_;
  Outcome outcome_ = Outcome::kDone;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> operands_;
  std::string line_;
};
