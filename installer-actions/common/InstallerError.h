#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Win32 codes that the installer actions return and log.
inline constexpr uint32_t kWin32Success = 0;
inline constexpr uint32_t kWin32FileNotFound = 2;
inline constexpr uint32_t kWin32AccessDenied = 5;
inline constexpr uint32_t kWin32GenFailure = 31;
inline constexpr uint32_t kWin32InvalidParameter = 87;
inline constexpr uint32_t kWin32MoreData = 234;
inline constexpr uint32_t kWin32BadRegistryStore = 1009;
inline constexpr uint32_t kWin32BadKey = 1010;

// A Win32 code together with the errno it stands for; the C library's
// text for that errno is the code's "system message".
struct InstallerError {
  uint32_t code = kWin32Success;
  int errnoValue = 0;
};

// One table from the platform's results to Win32 codes: ok 0, not found 2,
// access denied 5, a key with subkeys 5, bad argument 87, an unreadable
// registry store 1009; anything else 31.
InstallerError InstallerErrorFromResult(XpResult result);
// A code made without an errno: 87 and 1010 take EINVAL.
InstallerError InstallerErrorWithoutErrno(uint32_t code);

// The calling thread's last error.
void SetInstallerLastError(const InstallerError& error);
InstallerError GetInstallerLastError();

// The C library's text for the error's errno, in the C locale.
XpString InstallerSystemMessage(const InstallerError& error);
