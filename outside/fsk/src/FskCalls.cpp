// Calls, constructions, instances and host functions.
#include <string>
#include <utility>

#include "FskMachineImpl.h"
#include "FskStackGuard.h"
#include "FskValues.h"

namespace {

// Deeper nesting of calls is refused before the C++ stack runs out.
constexpr size_t kFrameLimit = 1024;

bool IsCallable(const FskObject* object) {
  return object != nullptr && object->callable != FskCallableKind::kNone;
}

// The argument count at countIndex: an integer from 0 to the slots below it.
int32_t ReadCount(FskMachine* the, size_t countIndex) {
  const FskSlot& count = the->stack[countIndex];
  int64_t value = -1;
  if (count.Type() == kFskIntegerType) {
    value = FskSlotAccess::Integer(count);
  } else if (count.Type() == kFskNumberType) {
    value = static_cast<int64_t>(FskSlotAccess::Number(count));
  }
  if (value < 0 || static_cast<uint64_t>(value) > countIndex) {
    fskimpl::Truncate(the, countIndex);
    fskimpl::ThrowError(the, kFskTypeError, "bad argument count");
  }
  return static_cast<int32_t>(value);
}

// The errors of the calls, out of line so that the calls keep a short path.
[[noreturn, gnu::cold, gnu::noinline]] void ThrowCallOfNothing(FskMachine* the, FskID id, FskValueType type) {
  fskimpl::ThrowError(the, kFskTypeError,
                      "cannot call " + fskimpl::DescribeID(the, id) + " of " +
                          (type == kFskNullType ? "null" : "undefined"));
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowNotCallable(FskMachine* the, FskID id, const char* what) {
  fskimpl::ThrowError(the, kFskTypeError, fskimpl::DescribeID(the, id) + what);
}

void RequireDepth(FskMachine* the, size_t depth) {
  if (the->stack.size() < depth) {
    fskimpl::ThrowError(the, kFskRangeError, "stack underflow");
  }
}

// A call's slots from the top down: above (the function for fxCall, or
// nothing), this, the argument count, then the arguments.
struct CallFrame {
  size_t thisIndex;
  size_t countIndex;
  int32_t argc;
  size_t argsStart;
};

CallFrame ReadFrame(FskMachine* the, size_t above) {
  RequireDepth(the, above + 2);
  size_t thisIndex = the->stack.size() - 1 - above;
  size_t countIndex = thisIndex - 1;
  int32_t argc = ReadCount(the, countIndex);
  return CallFrame{thisIndex, countIndex, argc, countIndex - static_cast<size_t>(argc)};
}

// Runs call over the frame and leaves its result in the frame's place; when
// call throws, the stack and frames go back to below the arguments.
template <typename Call>
void RunFrame(FskMachine* the, size_t above, const Call& call) {
  CallFrame frame = ReadFrame(the, above);
  FskStackScope guard(the, frame.argsStart);
  FskSlot result = call(frame);
  fskimpl::Truncate(the, frame.argsStart);
  fskimpl::PushSlot(the) = std::move(result);
  guard.Done();
}

// Pops frames opened after it when it goes, however it goes.
class FrameScope {
 public:
  explicit FrameScope(FskMachine* the) : the_(the), count_(the->frames.size()) {}
  FrameScope(const FrameScope&) = delete;
  FrameScope& operator=(const FrameScope&) = delete;
  ~FrameScope() {
    if (the_->frames.size() > count_) {
      the_->frames.resize(count_);
    }
  }

 private:
  FskMachine* the_;
  size_t count_;
};

}  // namespace

FskObject* fskimpl::NewFunctionObject(FskMachine* the, int32_t length, bool constructor) {
  FskObject* function = fskimpl::NewObject(the, fskimpl::ObjectOf(the->prototypes.function));
  FskSlot lengthValue;
  FskSlotAccess::SetInteger(lengthValue, length);
  fskimpl::SetOwn(the, function, the->ids.length, lengthValue);
  function->isConstructor = constructor;
  if (constructor) {
    FskSlot prototype;
    FskSlotAccess::SetObject(prototype,
                             fskimpl::NewObject(the, fskimpl::ObjectOf(the->prototypes.object)));
    fskimpl::SetOwn(the, function, the->ids.prototype, prototype);
  }
  return function;
}

namespace {

void PushNative(FskMachine* the, FskCallback callback, int32_t length, bool constructor) {
  fskimpl::EnsureRoom(the, 1);
  FskObject* function = fskimpl::NewFunctionObject(the, length, constructor);
  function->callable = FskCallableKind::kNative;
  function->native = callback;
  fskimpl::PushObject(the, function);
}

void PushClosure(FskMachine* the, FskClosure closure, int32_t length, bool constructor) {
  fskimpl::EnsureRoom(the, 1);
  FskObject* function = fskimpl::NewFunctionObject(the, length, constructor);
  function->callable = FskCallableKind::kClosure;
  function->closure = std::make_unique<FskClosure>(std::move(closure));
  fskimpl::PushObject(the, function);
}

FskObject* HostObjectOf(FskMachine* the, const FskSlot* slot) {
  FskObject* object = fskimpl::ObjectOf(*slot);
  if (object == nullptr || !object->isHost) {
    fskimpl::ThrowError(the, kFskTypeError, "not a host object");
  }
  return object;
}

}  // namespace

namespace fskimpl {

FskSlot Invoke(FskMachine* the, FskObject* function, size_t thisIndex, size_t countIndex,
               int32_t argc) {
  if (the->frames.size() >= kFrameLimit) {
    ThrowError(the, kFskRangeError, "stack overflow");
  }
  FrameScope scope(the);
  FskSlot functionSlot;
  FskSlotAccess::SetObject(functionSlot, function);
  size_t functionIndex = the->stack.size();
  PushSlot(the) = std::move(functionSlot);
  size_t resultIndex = the->stack.size();
  PushSlot(the);

  FskFrame frame;
  frame.base = functionIndex;
  frame.thisIndex = thisIndex;
  frame.countIndex = countIndex;
  frame.argc = argc;
  frame.functionIndex = functionIndex;
  frame.resultIndex = resultIndex;
  the->frames.push_back(frame);

  if (function->callable == FskCallableKind::kNative) {
    function->native(the);
  } else {
    // The function slot above keeps the closure alive during the call.
    (*function->closure)(the);
  }
  // The slot goes with the frame's part of the stack: take its value.
  return std::move(the->stack[resultIndex]);
}

FskSlot Construct(FskMachine* the, const FskSlot& constructor, size_t thisIndex,
                  size_t countIndex, int32_t argc) {
  FskObject* function = ObjectOf(constructor);
  if (function == nullptr || !function->isConstructor) {
    ThrowError(the, kFskTypeError, "not a constructor");
  }
  FskSlot prototypeSlot;
  GetOwnOrInherited(function, the->ids.prototype, &prototypeSlot);
  FskObject* prototype = ObjectOf(prototypeSlot);
  if (prototype == nullptr) {
    prototype = ObjectOf(the->prototypes.object);
  }
  FskSlot instance;
  FskSlotAccess::SetObject(instance, NewObject(the, prototype));
  the->stack[thisIndex] = instance;
  FskSlot result = Invoke(the, function, thisIndex, countIndex, argc);
  return ObjectOf(result) != nullptr ? result : instance;
}

FskSlot CallValue(FskMachine* the, const FskSlot& function, const FskSlot& receiver,
                  const std::vector<FskSlot>& arguments) {
  fxOverflow(the, -static_cast<int32_t>(arguments.size() + 3), nullptr, 0);
  size_t start = the->stack.size();
  FskStackGuard guard(the, start);
  for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) {
    PushSlot(the) = *argument;
  }
  FskSlotAccess::SetInteger(PushSlot(the), static_cast<int64_t>(arguments.size()));
  PushSlot(the) = receiver;
  PushSlot(the) = function;
  fxCall(the);
  return PopSlot(the);
}

}  // namespace fskimpl

void fxCallID(FskMachine* the, FskID id) {
  RunFrame(the, 0, [the, id](const CallFrame& frame) {
    const FskSlot& receiver = the->stack[frame.thisIndex];
    FskValueType type = receiver.Type();
    if (type == kFskUndefinedType || type == kFskNullType) {
      ThrowCallOfNothing(the, id, type);
    }
    // Invoke holds the function for the call.
    FskObject* function = fskimpl::PropertyObject(the, receiver, id);
    if (!IsCallable(function)) {
      ThrowNotCallable(the, id, " is not a function");
    }
    return fskimpl::Invoke(the, function, frame.thisIndex, frame.countIndex, frame.argc);
  });
}

void fxCall(FskMachine* the) {
  RunFrame(the, 1, [the](const CallFrame& frame) {
    FskSlot function = the->stack[frame.thisIndex + 1];
    FskObject* callee = fskimpl::ObjectOf(function);
    if (!IsCallable(callee)) {
      fskimpl::ThrowError(the, kFskTypeError, "not a function");
    }
    return fskimpl::Invoke(the, callee, frame.thisIndex, frame.countIndex, frame.argc);
  });
}

void fxNewID(FskMachine* the, FskID id) {
  RunFrame(the, 0, [the, id](const CallFrame& frame) {
    FskSlot constructor = fskimpl::GetProperty(the, the->stack[frame.thisIndex], id);
    if (!IsCallable(fskimpl::ObjectOf(constructor))) {
      ThrowNotCallable(the, id, " is not a constructor");
    }
    return fskimpl::Construct(the, constructor, frame.thisIndex, frame.countIndex, frame.argc);
  });
}

void fxNew(FskMachine* the) {
  RunFrame(the, 0, [the](const CallFrame& frame) {
    FskSlot constructor = the->stack[frame.thisIndex];
    return fskimpl::Construct(the, constructor, frame.thisIndex, frame.countIndex, frame.argc);
  });
}

void fxNewInstanceOf(FskMachine* the) {
  FskSlot* top = fxTop(the);
  FskStackGuard guard(the, the->stack.size() - 1);
  FskObject* prototype = fskimpl::ObjectOf(*top);
  if (prototype == nullptr && top->Type() != kFskNullType) {
    fskimpl::ThrowError(the, kFskTypeError, "a prototype must be an object or null");
  }
  FskSlotAccess::SetObject(*top, fskimpl::NewObject(the, prototype));
}

void fxNewObject(FskMachine* the) {
  fskimpl::EnsureRoom(the, 1);
  fskimpl::PushObject(the, fskimpl::NewObject(the, fskimpl::ObjectOf(the->prototypes.object)));
}

bool fxIsInstanceOf(FskMachine* the) {
  RequireDepth(the, 2);
  FskSlot object = fskimpl::PopSlot(the);
  FskSlot prototype = fskimpl::PopSlot(the);
  FskObject* target = fskimpl::ObjectOf(prototype);
  FskObject* current = fskimpl::ObjectOf(object);
  if (target == nullptr || current == nullptr) {
    return false;
  }
  for (current = current->prototype; current != nullptr; current = current->prototype) {
    if (current == target) {
      return true;
    }
  }
  return false;
}

void fxNewHostFunction(FskMachine* the, FskCallback callback, int32_t length) {
  PushNative(the, callback, length, false);
}

void fxNewHostConstructor(FskMachine* the, FskCallback callback, int32_t length) {
  PushNative(the, callback, length, true);
}

void fxNewHostClosure(FskMachine* the, FskClosure closure, int32_t length) {
  PushClosure(the, std::move(closure), length, false);
}

void fxNewHostClosureConstructor(FskMachine* the, FskClosure closure, int32_t length) {
  PushClosure(the, std::move(closure), length, true);
}

void fxNewHostObject(FskMachine* the, FskDestructor destructor) {
  fskimpl::EnsureRoom(the, 1);
  FskObject* object = fskimpl::NewObject(the, fskimpl::ObjectOf(the->prototypes.object));
  object->isHost = true;
  object->destructor = destructor;
  fskimpl::PushObject(the, object);
}

void* fxGetHostData(FskMachine* the, const FskSlot* slot) { return HostObjectOf(the, slot)->hostData; }

void fxSetHostData(FskMachine* the, FskSlot* slot, void* data) {
  HostObjectOf(the, slot)->hostData = data;
}

bool fxIsFunction(FskMachine*, const FskSlot* slot) {
  return IsCallable(fskimpl::ObjectOf(*slot));
}

bool fxIsConstructor(FskMachine*, const FskSlot* slot) {
  FskObject* object = fskimpl::ObjectOf(*slot);
  return IsCallable(object) && object->isConstructor;
}

bool fxIsHostObject(FskMachine*, const FskSlot* slot) {
  FskObject* object = fskimpl::ObjectOf(*slot);
  return object != nullptr && object->isHost;
}
