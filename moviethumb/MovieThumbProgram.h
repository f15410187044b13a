#pragma once

#include "platform/text/XpString.h"

// Exit statuses of the frame server program.
inline constexpr int kMovieThumbExitOk = 0;
inline constexpr int kMovieThumbExitBroken = 1;

// The whole program: applies the arguments, moves the protocol off the
// standard descriptors, serves the conversation over the plug-ins of the
// chosen folder and gives the exit status (0 without "extract", after "<Q>"
// or at end of input between messages; 1 when the conversation broke, with
// one line on standard error saying why).
int RunMovieThumb(const XpStringVector& argv);
