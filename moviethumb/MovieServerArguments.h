#pragma once

#include "platform/text/XpString.h"

// What the frame server's command line asks for.
struct MovieServerArguments {
  // False unless argv[1] is the "extract" flag: the program then ends at
  // once without touching its input.
  bool run = false;
  bool lowPriority = false;
  // True when no folder argument stands in its place: the suite's default
  // plug-in folder is used.
  bool useDefaultFolder = true;
  // The plug-in folder argument; "" when it names no existing directory.
  XpString folder;

  bool operator==(const MovieServerArguments&) const = default;
};

// Applies the rules to argv (argv[0] is the program). argv[1] must be the
// flag "extract"; an optional "lowpri" flag follows; the folder counts only
// as the very last argument in the place after them, and any other count
// means the default folder. Flags may start with '/', '-' or "--"; their
// names are compared case-sensitively.
MovieServerArguments ParseMovieServerArguments(const XpStringVector& argv);
