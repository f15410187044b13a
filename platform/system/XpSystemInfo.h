#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"

// The operating-system identity and a few system figures.

inline constexpr uint32_t kXpPlatformWin32Windows = 1;
inline constexpr uint32_t kXpPlatformWin32NT = 2;

// "platform.major.minor" (e.g. "1.4.10") replaces the reported identity;
// "fail" makes the query fail.
inline constexpr const char* kXpOsVersionVariable = "KAVO_OS_VERSION";

// The system reports itself as NT 6.1 (a Windows-7-like workstation). Each
// output is optional. The platform id is stored only when it is 1 or 2,
// else 0. kXpErrGeneric when the query fails; the outputs are then unchanged.
[[nodiscard]] XpResult XpGetOSVersion(uint32_t* platformId, uint32_t* major, uint32_t* minor);

// True when XpGetOSVersion reports the NT platform.
bool XpIsWindowsNT();

// Seconds since 1970-01-01 UTC.
int64_t XpGetCurrentTime();

// The number of processors online; at least 1.
uint32_t XpGetProcessorCount();
// The number of processors this process may run on (its affinity); at
// least 1.
uint32_t XpGetUsableProcessorCount();

// Bytes of physical memory, from /proc/meminfo below the system root; 0 when
// it cannot be read.
uint64_t XpGetTotalPhysicalMemory();
uint64_t XpGetAvailablePhysicalMemory();
