// The built-in objects: Object, Function.prototype.call, Array, Chunk,
// Error and its kinds, Fsk.Error.Native and trace.
#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "FskMachineImpl.h"
#include "FskValues.h"
#include "fsk/FskMemory.h"

namespace {

using fskimpl::DefineOwn;
using fskimpl::NewObject;
using fskimpl::ObjectOf;

constexpr double kLengthLimit = 2147483647.0;

FskSlot ObjectSlot(FskObject* object) {
  FskSlot slot;
  FskSlotAccess::SetObject(slot, object);
  return slot;
}

FskSlot StringSlot(std::string_view text) {
  FskSlot slot;
  FskSlotAccess::SetString(slot, text);
  return slot;
}

void Define(FskMachine* the, FskObject* holder, const char* name, const FskSlot& value) {
  DefineOwn(the, holder, fxID(the, name), value, 0, 0);
}

FskObject* MakeFunction(FskMachine* the, FskCallback callback, int32_t length, bool constructor) {
  FskObject* function = fskimpl::NewFunctionObject(the, length, constructor);
  function->callable = FskCallableKind::kNative;
  function->native = callback;
  return function;
}

void DefineFunction(FskMachine* the, FskObject* holder, const char* name, FskCallback callback,
                    int32_t length) {
  Define(the, holder, name, ObjectSlot(MakeFunction(the, callback, length, false)));
}

void DefineConstructor(FskMachine* the, FskObject* holder, const char* name, FskCallback callback,
                       int32_t length, FskObject* prototype) {
  FskObject* constructor = MakeFunction(the, callback, length, true);
  fskimpl::SetOwn(the, constructor, the->ids.prototype, ObjectSlot(prototype));
  Define(the, holder, name, ObjectSlot(constructor));
}

// A length argument: an integral number from 0 to 2^31 - 1.
int32_t LengthArgument(FskMachine* the, const FskSlot* slot) {
  double length = fxToNumber(the, slot);
  if (!(length >= 0 && length <= kLengthLimit) || std::trunc(length) != length) {
    fxThrowError(the, kFskRangeError, "invalid length");
  }
  return static_cast<int32_t>(length);
}

void ObjectConstructor(FskMachine* the) {
  if (fxArgc(the) > 0 && fxTypeOf(the, fxCheckArg(the, 0)) == kFskObjectType) {
    *fxResult(the) = *fxCheckArg(the, 0);
  }
}

void FunctionCall(FskMachine* the) {
  std::vector<FskSlot> arguments;
  for (int32_t i = 1; i < fxArgc(the); ++i) {
    arguments.push_back(*fxCheckArg(the, i));
  }
  FskSlot receiver;
  if (fxArgc(the) > 0) {
    receiver = *fxCheckArg(the, 0);
  }
  FskSlot function = *fxThis(the);
  *fxResult(the) = fskimpl::CallValue(the, function, receiver, arguments);
}

FskObject* ArrayThis(FskMachine* the) {
  FskObject* array = ObjectOf(*fxThis(the));
  if (array == nullptr || array->kind != FskObjectKind::kArray) {
    fxThrowError(the, kFskTypeError, "not an array");
  }
  return array;
}

void ArrayConstructor(FskMachine* the) {
  FskObject* array = ArrayThis(the);
  int32_t argc = fxArgc(the);
  if (argc == 1) {
    FskValueType type = fxTypeOf(the, fxCheckArg(the, 0));
    if (type == kFskIntegerType || type == kFskNumberType) {
      FskSlot length;
      FskSlotAccess::SetInteger(length, LengthArgument(the, fxCheckArg(the, 0)));
      fskimpl::SetOwn(the, array, the->ids.length, length);
      return;
    }
  }
  for (int32_t i = 0; i < argc; ++i) {
    fskimpl::SetOwn(the, array, i, *fxCheckArg(the, i));
  }
}

void ArrayPush(FskMachine* the) {
  FskObject* array = ArrayThis(the);
  FskSlot lengthSlot;
  fskimpl::GetOwnOrInherited(array, the->ids.length, &lengthSlot);
  int64_t length = fxToInteger(the, &lengthSlot);
  for (int32_t i = 0; i < fxArgc(the); ++i, ++length) {
    if (length >= static_cast<int64_t>(kLengthLimit)) {
      fxThrowError(the, kFskRangeError, "invalid length");
    }
    fskimpl::SetOwn(the, array, static_cast<FskID>(length), *fxCheckArg(the, i));
  }
  fxInteger(the, fxResult(the), length);
}

void ChunkConstructor(FskMachine* the) {
  int32_t length = fxArgc(the) > 0 ? LengthArgument(the, fxCheckArg(the, 0)) : 0;
  FskSlot* self = fxThis(the);
  void* bytes = FskMemPtrAllocClear(static_cast<size_t>(length));
  if (bytes == nullptr) {
    fxError(the, ENOMEM);
  }
  void* old = fxGetHostData(the, self);
  fxSetHostData(the, self, bytes);
  FskMemPtrDispose(old);
  FskSlot lengthValue;
  FskSlotAccess::SetInteger(lengthValue, length);
  fskimpl::SetOwn(the, ObjectOf(*self), the->ids.length, lengthValue);
}

void ErrorConstructor(FskMachine* the) {
  FskObject* error = ObjectOf(*fxThis(the));
  if (error == nullptr) {
    fxThrowError(the, kFskTypeError, "Error must be constructed with new");
  }
  if (fxArgc(the) > 0 && fxTypeOf(the, fxCheckArg(the, 0)) != kFskUndefinedType) {
    fskimpl::SetOwn(the, error, the->ids.message,
                    StringSlot(fskimpl::ToText(the, *fxCheckArg(the, 0))));
  }
}

void ErrorToString(FskMachine* the) {
  FskSlot self = *fxThis(the);
  std::string name = "Error";
  std::string message;
  if (FskObject* error = ObjectOf(self)) {
    FskSlot value;
    if (fskimpl::GetOwnOrInherited(error, the->ids.name, &value) && value.Type() != kFskUndefinedType) {
      name = fskimpl::ToText(the, value);
    }
    if (fskimpl::GetOwnOrInherited(error, the->ids.message, &value) &&
        value.Type() != kFskUndefinedType) {
      message = fskimpl::ToText(the, value);
    }
  }
  fxString(the, fxResult(the), (message.empty() ? name : name + ": " + message).c_str());
}

void NativeErrorConstructor(FskMachine* the) {
  FskObject* error = ObjectOf(*fxThis(the));
  if (error == nullptr) {
    fxThrowError(the, kFskTypeError, "Fsk.Error.Native must be constructed with new");
  }
  int64_t code = fxArgc(the) > 0 ? fxToInteger(the, fxCheckArg(the, 0)) : 0;
  fskimpl::SetNativeErrorFields(the, error, code);
}

void Trace(FskMachine* the) {
  if (fxArgc(the) > 0) {
    fxTrace(the, fskimpl::ToText(the, *fxCheckArg(the, 0)).c_str());
  }
}

FskObject* MakeErrorPrototype(FskMachine* the, FskObject* parent, const char* name) {
  FskObject* prototype = NewObject(the, parent);
  fskimpl::SetOwn(the, prototype, the->ids.name, StringSlot(name));
  fskimpl::SetOwn(the, prototype, the->ids.message, StringSlot(""));
  return prototype;
}

void InstallCommonIDs(FskMachine* the) {
  the->ids.length = fxID(the, "length");
  the->ids.prototype = fxID(the, "prototype");
  the->ids.message = fxID(the, "message");
  the->ids.name = fxID(the, "name");
  the->ids.code = fxID(the, "code");
  the->ids.valueOf = fxID(the, "valueOf");
  the->ids.toString = fxID(the, "toString");
}

void InstallErrors(FskMachine* the, FskObject* global, FskObject* objectPrototype) {
  FskObject* error = MakeErrorPrototype(the, objectPrototype, "Error");
  the->prototypes.error = ObjectSlot(error);
  DefineFunction(the, error, "toString", ErrorToString, 0);
  DefineConstructor(the, global, "Error", ErrorConstructor, 1, error);

  struct Kind {
    const char* name;
    FskSlot* slot;
  };
  const Kind kinds[] = {{"TypeError", &the->prototypes.typeError},
                        {"RangeError", &the->prototypes.rangeError},
                        {"SyntaxError", &the->prototypes.syntaxError}};
  for (const Kind& kind : kinds) {
    FskObject* prototype = MakeErrorPrototype(the, error, kind.name);
    *kind.slot = ObjectSlot(prototype);
    DefineConstructor(the, global, kind.name, ErrorConstructor, 1, prototype);
  }

  FskObject* fsk = NewObject(the, objectPrototype);
  Define(the, global, "Fsk", ObjectSlot(fsk));
  FskObject* fskError = NewObject(the, objectPrototype);
  Define(the, fsk, "Error", ObjectSlot(fskError));
  FskObject* native = MakeErrorPrototype(the, error, "Fsk.Error.Native");
  the->prototypes.nativeError = ObjectSlot(native);
  DefineConstructor(the, fskError, "Native", NativeErrorConstructor, 1, native);
}

}  // namespace

void fskimpl::InstallBuiltins(FskMachine* the) {
  InstallCommonIDs(the);

  FskObject* objectPrototype = NewObject(the, nullptr);
  the->prototypes.object = ObjectSlot(objectPrototype);
  FskObject* functionPrototype = NewObject(the, objectPrototype);
  the->prototypes.function = ObjectSlot(functionPrototype);
  FskObject* global = NewObject(the, objectPrototype);
  the->global = ObjectSlot(global);

  DefineFunction(the, functionPrototype, "call", FunctionCall, 1);
  DefineConstructor(the, global, "Object", ObjectConstructor, 1, objectPrototype);

  FskObject* arrayPrototype = NewObject(the, objectPrototype);
  arrayPrototype->kind = FskObjectKind::kArray;
  the->prototypes.array = ObjectSlot(arrayPrototype);
  DefineFunction(the, arrayPrototype, "push", ArrayPush, 1);
  DefineConstructor(the, global, "Array", ArrayConstructor, 1, arrayPrototype);

  FskObject* chunkPrototype = NewObject(the, objectPrototype);
  chunkPrototype->isHost = true;
  chunkPrototype->destructor = FskMemPtrDispose;
  the->prototypes.chunk = ObjectSlot(chunkPrototype);
  DefineConstructor(the, global, "Chunk", ChunkConstructor, 1, chunkPrototype);

  InstallErrors(the, global, objectPrototype);
  DefineFunction(the, global, "trace", Trace, 1);
  InstallDate(the);
}
