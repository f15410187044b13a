#include "camerastore/xdb/XdbException.h"

namespace XdbAccessor {

namespace {

constexpr int32_t kScriptSuccess = 0;
constexpr int32_t kScriptOpened = 350;
constexpr int32_t kScriptNotOpened = 352;
constexpr int32_t kScriptNoMemory = -1;
constexpr int32_t kScriptCombineFailed = -5;

}  // namespace

[[nodiscard]] XpResult XdbResultFromScript(int32_t scriptResult) {
  switch (scriptResult) {
    case kScriptSuccess:
    case kScriptOpened:
      return kXpOk;
    case kScriptNotOpened:
      return kXpErrOpenFailed;
    case kScriptNoMemory:
      return kXpErrOutOfMemory;
    case kScriptCombineFailed:
      return kXpErrCancelled;
    default:
      return kXpErrGeneric;
  }
}

void XdbRaiseCode(XpResult code) {
  XdbException error;
  error.SetCode(code);
  throw error;
}

void XdbRaiseScriptResult(int32_t scriptResult) {
  XdbException error;
  error.SetFromScriptResult(scriptResult);
  throw error;
}

}  // namespace XdbAccessor
