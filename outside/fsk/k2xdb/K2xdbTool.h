#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/process/XpToolArguments.h"

// The album database tool: creates, lists, edits and checks a database
// folder through the runtime's "dbManager" machine, as the glue does:
// initialise, a Master, open, the call, flush, close, terminate.
//
//   init FOLDER
//   list FOLDER
//   add-album FOLDER TITLE [DATE]
//   add-content FOLDER ALBUM FOLDER-NO FILE-NO DATE [MISC]
//   set-group FOLDER ID sf|ff VALUE
//   delete FOLDER ID
//   check FOLDER
//
// DATE is "YYYY-MM-DD HH:MM:SS" in UTC fields. FOLDER may be relative to
// the working folder.
//
// The answer (an id, a list) is written to out before the change is
// committed: when it cannot be written, nothing is changed and the run
// fails. A failed commit leaves nothing of the change (kFailed, a line
// naming the file and the reason); a committed change whose completion met
// trouble is done, with a warning that the next open completes it.
// delete refuses an album that holds contents; check also reports contents
// whose album is gone.
class K2xdbTool {
 public:
  static constexpr int kDone = 0;
  // Refused, or check found a fault.
  static constexpr int kRefused = 1;
  static constexpr int kUsage = 2;
  // Open or the operation failed: a failure like a refusal to the shell.
  static constexpr int kFailed = 1;

  K2xdbTool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // arguments without the program's name; the exit code. -h or --help
  // writes the usage to out and is done.
  int Run(const std::vector<std::string>& arguments);

  // "YYYY-MM-DD HH:MM:SS" to a time value in milliseconds; false when text
  // is not such a date.
  static bool ParseDate(const std::string& text, double* time);
  // A time value as "YYYY-MM-DD HH:MM:SS" (UTC); "invalid" for one that is
  // not a number or lies beyond the store's dates (XdbStore::kLargestDate).
  static std::string FormatDate(double time);
  // text in double quotes, with '"' and '\' escaped.
  static std::string Quoted(const std::string& text);

 private:
  static XpToolArguments Arguments();
  // The parsed operands: the command, its folder and its own operands.
  int RunCommand(const std::vector<std::string>& arguments);
  // what and the usage to err; kUsage.
  int Usage(const std::string& what);

  std::ostream& out_;
  std::ostream& err_;
};
