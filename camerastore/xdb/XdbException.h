#pragma once

#include <cstdint>
#include <exception>

#include "platform/result/XpResult.h"

namespace XdbAccessor {

// The result code of a script result of the album database glue: 0 and 350
// (opened) give 0, 352 (not opened) kXpErrOpenFailed, -1 kXpErrOutOfMemory,
// -5 kXpErrCancelled, anything else kXpErrGeneric.
[[nodiscard]] XpResult XdbResultFromScript(int32_t scriptResult);

// What every operation of the album database layer raises on failure. It
// carries a result code and no message of its own.
class XdbException : public std::exception {
 public:
  XdbException() = default;

  // Stores code unchanged.
  void SetCode(XpResult code) { code_ = code; }
  // Stores the code of a script result.
  void SetFromScriptResult(int32_t scriptResult) { code_ = XdbResultFromScript(scriptResult); }
  [[nodiscard]] XpResult GetCode() const { return code_; }

 private:
  XpResult code_ = kXpErrGeneric;
};

// Raise an XdbException with code unchanged, or with the code of a script
// result.
[[noreturn]] void XdbRaiseCode(XpResult code);
[[noreturn]] void XdbRaiseScriptResult(int32_t scriptResult);

}  // namespace XdbAccessor
