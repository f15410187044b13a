#pragma once

#include <functional>

#include "fsk/FskException.h"
#include "fsk/FskMachine.h"
#include "platform/result/XpResult.h"

// Our C++ calling into the runtime: work runs in a host bracket, and
// whatever ends it early becomes a result. Work throws Failure (through
// Fail) for a result of its own; an error the runtime raises becomes the
// result of its integer code as errno, with EINVAL as the caller's invalid
// result, or kXpErrGeneric when it has no code. The components of the album
// database share this bracket.
class XdbHostCall {
 public:
  struct Failure {
    XpResult result;
  };
  // Turns an error raised by the runtime into a result.
  using Translate = std::function<XpResult(FskMachine* the, const FskException& error)>;

  [[noreturn]] static void Fail(XpResult result) { throw Failure{result}; }

  static XpResult ResultOfError(FskMachine* the, const FskException& error, XpResult invalid);
  [[nodiscard]] static XpResult Run(FskMachine* the, const std::function<void()>& work, XpResult invalid);
  [[nodiscard]] static XpResult Run(FskMachine* the, const std::function<void()>& work, const Translate& translate);
};
