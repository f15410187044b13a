#pragma once

#include <sys/types.h>

#include <cstdint>

#include "platform/text/XpString.h"

// Execution state flags.
inline constexpr uint32_t kXpEsContinuous = 0x80000000u;
inline constexpr uint32_t kXpEsSystemRequired = 0x1u;

// Sets the lasting execution state when flags hold kXpEsContinuous and
// returns the state before the call (kXpEsContinuous at first). While the
// state holds both kXpEsContinuous and kXpEsSystemRequired the computer is
// kept from sleeping: a child "systemd-inhibit ... cat" holds a logind
// inhibitor for as long as its standard input, a pipe this process keeps,
// stays open; the child also ends when this process dies. Another state
// closes the pipe and lets the child go to the reaper. Flags without
// kXpEsContinuous change nothing. When the program is missing or does not
// start, nothing is held; the state is still recorded. Process-wide; from
// any thread.
uint32_t XpSetThreadExecutionState(uint32_t flags);

// For tests: the program run instead of systemd-inhibit (found as
// XpFindProgram finds it); "" restores it.
void XpSetExecutionStateProgramForTest(const XpString& program);
// For tests: the process id of the child that holds the inhibitor; 0 when
// none is held.
pid_t XpExecutionStateHolderPid();
