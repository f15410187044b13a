#pragma once

#include <string>

// Ends a command-line program's use of its standard output: flushes it and
// tells whether everything written reached it. A tool whose caller reads its
// answer from standard output (a new id, a list) must not report success
// when that answer was lost.
//
//   int status = tool.Run(argc, argv);
//   return XpFinishStandardOutput("k2xdb", status);
//
// Returns status, or 1 (failed) when status is 0 and the output could not
// be written; then one line naming the program and the reason goes to
// standard error.
int XpFinishStandardOutput(const std::string& program, int status);
