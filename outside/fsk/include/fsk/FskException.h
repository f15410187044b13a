#pragma once

#include <exception>
#include <string>

#include "fsk/FskSlot.h"

struct FskMachine;

// The one exception of the script runtime: a thrown script value. Only the
// runtime throws it (fxError, fxThrow, fxThrowError and its own errors), so
// its type information lives in the runtime's library alone; natives and
// hosts catch it by reference. Catch frames are try/catch and RAII: nothing
// in the runtime or above it uses setjmp or longjmp.
class [[gnu::visibility("default")]] FskException : public std::exception {
 public:
  FskException(const FskException& other);
  FskException& operator=(const FskException& other);
  ~FskException() override;

  // "Name: message" of an error value, else the value as text.
  const char* what() const noexcept override;
  // The thrown value.
  const FskSlot& Value() const { return value_; }
  // The machine that threw it.
  FskMachine* Machine() const { return machine_; }

 private:
  friend struct FskExceptionAccess;
  FskException(FskMachine* machine, const FskSlot& value, std::string text);

  FskMachine* machine_;
  FskSlot value_;
  std::string text_;
};
