// The runtime's exception and the errors it throws.
#include <string>
#include <utility>

#include "FskMachineImpl.h"
#include "FskValues.h"
#include "fsk/FskException.h"

struct FskExceptionAccess {
  static FskException Make(FskMachine* machine, const FskSlot& value, std::string text) {
    return FskException(machine, value, std::move(text));
  }
};

FskException::FskException(FskMachine* machine, const FskSlot& value, std::string text)
    : machine_(machine), value_(value), text_(std::move(text)) {}

FskException::FskException(const FskException& other) = default;
FskException& FskException::operator=(const FskException& other) = default;
FskException::~FskException() = default;

const char* FskException::what() const noexcept { return text_.c_str(); }

namespace fskimpl {

namespace {

const FskSlot& PrototypeOf(FskMachine* the, FskErrorKind kind) {
  switch (kind) {
    case kFskTypeError:
      return the->prototypes.typeError;
    case kFskRangeError:
      return the->prototypes.rangeError;
    case kFskSyntaxError:
      return the->prototypes.syntaxError;
    default:
      return the->prototypes.error;
  }
}

// "Name: message" of an error object, else the value as text. Reads
// properties without calling anything.
std::string Describe(FskMachine* the, const FskSlot& value) {
  FskObject* object = ObjectOf(value);
  if (object == nullptr) {
    return ToText(the, value);
  }
  FskSlot name;
  FskSlot message;
  GetOwnOrInherited(object, the->ids.name, &name);
  GetOwnOrInherited(object, the->ids.message, &message);
  std::string text = name.Type() == kFskStringType ? std::string(FskSlotAccess::String(name)->View())
                                                   : std::string("Error");
  if (message.Type() == kFskStringType && FskSlotAccess::String(message)->length > 0) {
    text += ": ";
    text += FskSlotAccess::String(message)->View();
  }
  return text;
}

}  // namespace

FskSlot MakeError(FskMachine* the, FskErrorKind kind, std::string_view message) {
  FskObject* error = NewObject(the, ObjectOf(PrototypeOf(the, kind)));
  FskSlot result;
  FskSlotAccess::SetObject(result, error);
  FskSlot text;
  FskSlotAccess::SetString(text, message);
  SetOwn(the, error, the->ids.message, text);
  return result;
}

void Throw(FskMachine* the, const FskSlot& value) {
  throw FskExceptionAccess::Make(the, value, Describe(the, value));
}

void ThrowError(FskMachine* the, FskErrorKind kind, std::string_view message) {
  Throw(the, MakeError(the, kind, message));
}

FskSlot MakeNativeError(FskMachine* the, int64_t code) {
  FskObject* error = NewObject(the, ObjectOf(the->prototypes.nativeError));
  FskSlot result;
  FskSlotAccess::SetObject(result, error);
  SetNativeErrorFields(the, error, code);
  return result;
}

void SetNativeErrorFields(FskMachine* the, FskObject* error, int64_t code) {
  FskSlot codeValue;
  FskSlotAccess::SetInteger(codeValue, code);
  SetOwn(the, error, the->ids.code, codeValue);
  FskSlot message;
  FskSlotAccess::SetString(message, "code " + std::to_string(code));
  SetOwn(the, error, the->ids.message, message);
}

}  // namespace fskimpl

void fxError(FskMachine* the, int32_t code) { fskimpl::Throw(the, fskimpl::MakeNativeError(the, code)); }

void fxThrow(FskMachine* the) {
  FskSlot value = fskimpl::PopSlot(the);
  fskimpl::Throw(the, value);
}

void fxThrowError(FskMachine* the, FskErrorKind kind, const char* message) {
  fskimpl::ThrowError(the, kind, message != nullptr ? message : "");
}
