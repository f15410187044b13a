#pragma once

#include <cstdint>
#include <memory>

#include "platform/process/XpProcess.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The limit, in UTF-16 units, of program and arguments together.
inline constexpr int32_t kXpRunProgramMaxLength = 500;

// Starts program (found as XpFindProgram finds it) with arguments, a command
// line that is split by the Windows rules (XpCommandLineSplit). The program
// gets program itself as its first argument and runs in the folder of the
// file that is run, or in the caller's folder when program names no folder.
// With exitCode, waits without limit for the program to end and stores its
// exit code. With process, hands the process to the caller; otherwise it is
// let go (and reaped when it ends).
// kXpErrBadArgument when program and arguments reach kXpRunProgramMaxLength
// units (nothing starts), kXpErrGeneric when the program cannot start.
[[nodiscard]] XpResult XpRunProgram(const XpString& program, const XpString& arguments,
                                    uint32_t* exitCode, std::unique_ptr<XpProcess>* process);
