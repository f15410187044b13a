#include "platform/fs/XpSysFailure.h"

#include <string.h>

#include <string>

namespace {

thread_local XpSysFailure tLastFailure;

std::string ReasonOf(int error) {
  const char* text = ::strerrordesc_np(error);
  if (text != nullptr) {
    return text;
  }
  return "error " + std::to_string(error);
}

}  // namespace

const XpSysFailure& XpLastSysFailure() { return tLastFailure; }

void XpClearSysFailure() { tLastFailure = XpSysFailure{}; }

void XpRecordSysFailure(const char* call, const std::string& path, int error) {
  tLastFailure.call = call;
  tLastFailure.path = path;
  tLastFailure.error = error;
}

void XpSetSysFailure(const XpSysFailure& failure) { tLastFailure = failure; }

std::string XpDescribeSysFailure(const XpSysFailure& failure) {
  if (failure.Empty()) {
    return {};
  }
  std::string text = failure.call;
  if (!failure.path.empty()) {
    text += ' ';
    text += failure.path;
  }
  text += ": ";
  text += ReasonOf(failure.error);
  return text;
}

std::string XpSysFailureSuffix() {
  if (tLastFailure.Empty()) {
    return {};
  }
  return ": " + XpDescribeSysFailure(tLastFailure);
}
