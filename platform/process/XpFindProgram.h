#pragma once

#include "platform/text/XpString.h"

// The file to run for a program path as the system's callers write it:
// the path itself when it names an existing file; otherwise, without a
// trailing ".exe", the name is looked for in the path's folder, beside the
// calling program and then in each folder of $PATH, as an executable file.
// A relative result is made absolute against the working folder. "" when
// nothing is found.
XpString XpFindProgram(const XpString& program);
