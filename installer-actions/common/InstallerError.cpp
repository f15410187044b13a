#include "installer-actions/common/InstallerError.h"

#include <locale.h>
#include <string.h>

#include <cerrno>

namespace {

thread_local InstallerError tLastError;

struct ResultRow {
  XpResult result;
  uint32_t code;
  int errnoValue;
};

constexpr ResultRow kResultTable[] = {
    {kXpOk, kWin32Success, 0},
    {kXpErrFileNotFound, kWin32FileNotFound, ENOENT},
    {kXpErrPathNotFound, kWin32FileNotFound, ENOENT},
    {kXpErrAccessDenied, kWin32AccessDenied, EACCES},
    {kXpErrDirNotEmpty, kWin32AccessDenied, ENOTEMPTY},
    {kXpErrBadArgument, kWin32InvalidParameter, EINVAL},
    {kXpErrInvalidFile, kWin32BadRegistryStore, EIO},
};

locale_t CLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

InstallerError InstallerErrorFromResult(XpResult result) {
  for (const ResultRow& row : kResultTable) {
    if (row.result == result) return InstallerError{row.code, row.errnoValue};
  }
  return InstallerError{kWin32GenFailure, EIO};
}

InstallerError InstallerErrorWithoutErrno(uint32_t code) {
  switch (code) {
    case kWin32Success:
      return InstallerError{};
    case kWin32AccessDenied:
      return InstallerError{code, ENOTEMPTY};
    default:
      return InstallerError{code, EINVAL};
  }
}

void SetInstallerLastError(const InstallerError& error) { tLastError = error; }

InstallerError GetInstallerLastError() { return tLastError; }

XpString InstallerSystemMessage(const InstallerError& error) {
  const locale_t locale = CLocale();
  const char* text = locale != static_cast<locale_t>(nullptr) ? ::strerror_l(error.errnoValue, locale)
                                                               : ::strerror(error.errnoValue);
  return XpString::FromUtf8(text != nullptr ? text : "");
}
