#pragma once

#include <string>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The subcommands of xpimage. Each takes the arguments after its name and
// returns the process exit code; messages go to stdout and stderr.
int XpImageTransformCommand(const std::vector<std::string>& arguments);
int XpImageSetMaker2002Command(const std::vector<std::string>& arguments);
int XpImageInfoCommand(const std::vector<std::string>& arguments);
int XpImageDecodeCommand(const std::vector<std::string>& arguments);
int XpImageMovieCommand(const std::vector<std::string>& arguments);

// The absolute form of a command-line path.
XpString XpImageToolPath(const std::string& argument);
// Prints "xpimage: <what> failed: 0x<result>" to stderr; returns 1.
int XpImageToolFailure(const char* what, XpResult result);
// The same for a lossless rewrite of source, with the reason when the
// rewrite refused because the file's maker note cannot stay at its place.
int XpImageToolRewriteFailure(const char* what, XpResult result, const XpString& source);
