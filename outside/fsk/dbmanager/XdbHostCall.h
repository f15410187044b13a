#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "fsk/FskException.h"
#include "fsk/FskMachine.h"
#include "platform/result/XpResult.h"

// A callable lent for the length of one call, never copied to the heap: a
// parameter type for work run at once. It must not outlive the callable it
// was made from.
template <typename Signature>
class XdbCallable;

template <typename Result, typename... Args>
class XdbCallable<Result(Args...)> {
 public:
  template <typename Callable,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, XdbCallable> &&
                                        std::is_invocable_r_v<Result, Callable&, Args...>>>
  XdbCallable(Callable&& callable)  // NOLINT(google-explicit-constructor): lambdas convert as to std::function.
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* object, Args... args) -> Result {
          return (*static_cast<std::remove_reference_t<Callable>*>(object))(std::forward<Args>(args)...);
        }) {}

  Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  Result (*call_)(void* object, Args... args);
};

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

  [[nodiscard]] static XpResult ResultOfError(FskMachine* the, const FskException& error,
                                              XpResult invalid);
  [[nodiscard]] static XpResult Run(FskMachine* the, XdbCallable<void()> work, XpResult invalid);
  [[nodiscard]] static XpResult Run(FskMachine* the, XdbCallable<void()> work, const Translate& translate);
};
