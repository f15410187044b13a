#pragma once

#include "platform/result/XpResult.h"

// The start-up call of every program, run once per process however often
// it is called: the user's locale for texts shown to people, and SIGPIPE
// ignored so that a write to a closed pipe fails instead of ending the
// program. The floating-point mode is left as it is.
[[nodiscard]] XpResult XpInitializeProcess();
