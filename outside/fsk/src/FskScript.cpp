#include "fsk/FskScript.h"

#include <memory>
#include <string>
#include <utility>

#include "FskMachineImpl.h"

namespace fsk {

namespace {

Value PopValue(FskMachine* the) {
  Value value;
  fxPop(the, &value.Slot());
  return value;
}

FskID IdOf(FskMachine* the, std::string_view name) { return fskimpl::IdOf(the, name); }

// Pushes count arguments last to first and their count.
void PushArguments(FskMachine* the, const Value* arguments, size_t count, int32_t extra) {
  fxOverflow(the, -static_cast<int32_t>(count) - 1 - extra, nullptr, 0);
  for (size_t index = count; index > 0; --index) {
    fxPushSlot(the, &arguments[index - 1].Slot());
  }
  fxInteger(the, fxPush(the), static_cast<int64_t>(count));
}

void PushArguments(FskMachine* the, const std::vector<Value>& arguments, int32_t extra) {
  PushArguments(the, arguments.data(), arguments.size(), extra);
}

// The argument list of a host closure, kept between its calls so that a
// call needs no allocation; a call made while another runs gets its own.
struct ArgumentList {
  std::vector<Value> values;
  bool busy = false;
};

// Lends a closure's list for one call and empties it after, however the
// call ends, so that it holds no value between calls.
class LentArguments {
 public:
  explicit LentArguments(ArgumentList& list) : list_(list.busy ? nullptr : &list) {
    if (list_ != nullptr) {
      list_->busy = true;
    }
  }
  LentArguments(const LentArguments&) = delete;
  LentArguments& operator=(const LentArguments&) = delete;
  ~LentArguments() {
    if (list_ != nullptr) {
      list_->values.clear();
      list_->busy = false;
    }
  }
  std::vector<Value>& Values() { return list_ != nullptr ? list_->values : own_; }

 private:
  ArgumentList* list_;
  std::vector<Value> own_;
};

FskClosure Adapt(Closure closure) {
  return [closure = std::move(closure), list = std::make_shared<ArgumentList>()](FskMachine* the) {
    LentArguments lent(*list);
    std::vector<Value>& arguments = lent.Values();
    // The call's own frame is the newest: the closure runs as soon as it is
    // made, and the stack never moves under it.
    const FskFrame& frame = the->frames.back();
    const auto count = static_cast<size_t>(frame.argc);
    const size_t resultIndex = frame.resultIndex;
    arguments.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      arguments.emplace_back(the->stack[frame.countIndex - 1 - i]);
    }
    Value receiver(the->stack[frame.thisIndex]);
    Value result = closure(the, receiver, arguments);
    the->stack[resultIndex] = std::move(result.Slot());
  };
}

}  // namespace

Value Value::Null() {
  Value value;
  fxNull(nullptr, &value.slot_);
  return value;
}

Value Value::Boolean(bool boolean) {
  Value value;
  fxBoolean(nullptr, &value.slot_, boolean);
  return value;
}

Value Value::Integer(int64_t integer) {
  Value value;
  fxInteger(nullptr, &value.slot_, integer);
  return value;
}

Value Value::Number(double number) {
  Value value;
  fxNumber(nullptr, &value.slot_, number);
  return value;
}

Value Value::String(std::string_view text) {
  Value value;
  fxStringBuffer(nullptr, &value.slot_, text.data(), text.size());
  return value;
}

Value Global(FskMachine* the) { return Value(*fxGlobal(the)); }

Value Get(FskMachine* the, const Value& object, std::string_view name) {
  // What fxGetID does, without the round trip through the stack.
  return Value(fskimpl::GetProperty(the, object.Slot(), IdOf(the, name)));
}

Value GetAt(FskMachine* the, const Value& object, int32_t index) {
  if (index < 0) {
    Throw(the, kFskRangeError, "negative index");
  }
  fxPushSlot(the, &object.Slot());
  fxGetID(the, index);
  return PopValue(the);
}

Value GetPath(FskMachine* the, std::string_view path) {
  Value value = Global(the);
  size_t start = 0;
  while (true) {
    size_t dot = path.find('.', start);
    value = Get(the, value, path.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) {
      return value;
    }
    start = dot + 1;
  }
}

void Set(FskMachine* the, const Value& object, std::string_view name, const Value& value) {
  // What fxSetID does, without the round trip through the stack.
  fskimpl::SetProperty(the, object.Slot(), IdOf(the, name), value.Slot());
}

void SetAt(FskMachine* the, const Value& object, int32_t index, const Value& value) {
  if (index < 0) {
    Throw(the, kFskRangeError, "negative index");
  }
  fxOverflow(the, -2, nullptr, 0);
  fxPushSlot(the, &value.Slot());
  fxPushSlot(the, &object.Slot());
  fxSetID(the, index);
}

Value CallMethod(FskMachine* the, const Value& object, std::string_view name, const std::vector<Value>& arguments) {
  return CallMethod(the, object, name, arguments.data(), arguments.size());
}

Value CallMethod(FskMachine* the, const Value& object, std::string_view name, const Value* arguments, size_t count) {
  FskID id = IdOf(the, name);
  PushArguments(the, arguments, count, 1);
  fxPushSlot(the, &object.Slot());
  fxCallID(the, id);
  return PopValue(the);
}

Value CallFunction(FskMachine* the, const Value& function, const Value& receiver,
                   const std::vector<Value>& arguments) {
  PushArguments(the, arguments, 2);
  fxPushSlot(the, &receiver.Slot());
  fxPushSlot(the, &function.Slot());
  fxCall(the);
  return PopValue(the);
}

Value Construct(FskMachine* the, const Value& holder, std::string_view name, const std::vector<Value>& arguments) {
  return Construct(the, holder, name, arguments.data(), arguments.size());
}

Value Construct(FskMachine* the, const Value& holder, std::string_view name, const Value* arguments, size_t count) {
  FskID id = IdOf(the, name);
  PushArguments(the, arguments, count, 1);
  fxPushSlot(the, &holder.Slot());
  fxNewID(the, id);
  return PopValue(the);
}

Value NewObject(FskMachine* the) {
  fxNewObject(the);
  return PopValue(the);
}

Value NewInstanceOf(FskMachine* the, const Value& prototype) {
  fxPushSlot(the, &prototype.Slot());
  fxNewInstanceOf(the);
  return PopValue(the);
}

bool IsInstanceOf(FskMachine* the, const Value& object, const Value& prototype) {
  fxOverflow(the, -2, nullptr, 0);
  fxPushSlot(the, &prototype.Slot());
  fxPushSlot(the, &object.Slot());
  return fxIsInstanceOf(the);
}

Value NewFunction(FskMachine* the, Closure closure, int32_t length) {
  fxNewHostClosure(the, Adapt(std::move(closure)), length);
  return PopValue(the);
}

Value NewConstructor(FskMachine* the, Closure closure, int32_t length, const Value& prototype) {
  fxNewHostClosureConstructor(the, Adapt(std::move(closure)), length);
  Value constructor = PopValue(the);
  Set(the, constructor, "prototype", prototype);
  return constructor;
}

int64_t ToInteger(FskMachine* the, const Value& value) { return fxToInteger(the, &value.Slot()); }

double ToNumber(FskMachine* the, const Value& value) { return fxToNumber(the, &value.Slot()); }

bool ToBoolean(FskMachine* the, const Value& value) { return fxToBoolean(the, &value.Slot()); }

std::string ToString(FskMachine* the, const Value& value) {
  FskSlot copy = value.Slot();
  const char* text = fxToString(the, &copy);
  return std::string(text, fxStringLength(the, &copy));
}

void Throw(FskMachine* the, FskErrorKind kind, std::string_view message) {
  fxThrowError(the, kind, std::string(message).c_str());
}

}  // namespace fsk
