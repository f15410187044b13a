#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"

// Translations of Win32 error codes, for callers that carry such codes.
[[nodiscard]] XpResult XpResultFromWin32Error(uint32_t win32Error);
// A failed synchronisation call, given the Win32 error it left.
[[nodiscard]] XpResult XpSyncResultFromLastError(uint32_t win32Error);
// The outcome of a wait; win32Error is read only when the wait failed.
[[nodiscard]] XpResult XpSyncResultFromWait(uint32_t waitResult, uint32_t win32Error);

// errno after a failed system call.
[[nodiscard]] XpResult XpResultFromErrno(int error);
// As XpResultFromErrno, but ENOENT becomes "path not found" when the parent
// folder of path (UTF-8) is missing.
[[nodiscard]] XpResult XpResultFromErrno(int error, const char* path);
// errno after a failed synchronisation call.
[[nodiscard]] XpResult XpSyncResultFromErrno(int error);
