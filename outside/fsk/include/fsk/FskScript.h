#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fsk/FskMachine.h"

// A thin typed layer over the fx calls, for our own C++ that plays the part
// of script: values, a host bracket, property access, calls, constructions
// and host closures. Every call may throw FskException, as the fx calls do.
namespace fsk {

// A script value held in C++ (it keeps its object alive).
class Value {
 public:
  Value() = default;
  explicit Value(const FskSlot& slot) : slot_(slot) {}

  static Value Undefined() { return Value(); }
  static Value Null();
  static Value Boolean(bool value);
  static Value Integer(int64_t value);
  static Value Number(double value);
  static Value String(std::string_view text);

  FskValueType Type() const { return slot_.Type(); }
  bool IsUndefined() const { return Type() == kFskUndefinedType; }
  bool IsNull() const { return Type() == kFskNullType; }
  bool IsObject() const { return Type() == kFskObjectType; }

  const FskSlot& Slot() const { return slot_; }
  FskSlot& Slot() { return slot_; }

 private:
  FskSlot slot_;
};

// C++ arguments as script values: integers as integers, floating point as
// numbers, text as strings, nullptr as null.
inline Value ToValue(const Value& value) { return value; }
inline Value ToValue(bool value) { return Value::Boolean(value); }
inline Value ToValue(int32_t value) { return Value::Integer(value); }
inline Value ToValue(int64_t value) { return Value::Integer(value); }
inline Value ToValue(uint32_t value) { return Value::Integer(value); }
inline Value ToValue(uint64_t value) { return Value::Integer(static_cast<int64_t>(value)); }
inline Value ToValue(double value) { return Value::Number(value); }
inline Value ToValue(const char* text) { return Value::String(text); }
inline Value ToValue(std::string_view text) { return Value::String(text); }
inline Value ToValue(const std::string& text) { return Value::String(text); }
inline Value ToValue(std::nullptr_t) { return Value::Null(); }

// A host bracket: fxBeginHost when made, fxEndHost when it goes, also when
// an exception passes.
class HostBracket {
 public:
  explicit HostBracket(FskMachine* the) : the_(fxBeginHost(the)) {}
  HostBracket(const HostBracket&) = delete;
  HostBracket& operator=(const HostBracket&) = delete;
  ~HostBracket() { fxEndHost(the_); }

  FskMachine* Machine() const { return the_; }

 private:
  FskMachine* the_;
};

Value Global(FskMachine* the);
Value Get(FskMachine* the, const Value& object, std::string_view name);
Value GetAt(FskMachine* the, const Value& object, int32_t index);
// The value at a dotted path from the global object ("xdb.result").
Value GetPath(FskMachine* the, std::string_view path);
void Set(FskMachine* the, const Value& object, std::string_view name, const Value& value);
void SetAt(FskMachine* the, const Value& object, int32_t index, const Value& value);

// object.name(arguments...)
Value CallMethod(FskMachine* the, const Value& object, std::string_view name, const std::vector<Value>& arguments);
// The same with count arguments at arguments.
Value CallMethod(FskMachine* the, const Value& object, std::string_view name, const Value* arguments, size_t count);
// function.call(receiver, arguments...)
Value CallFunction(FskMachine* the, const Value& function, const Value& receiver,
                   const std::vector<Value>& arguments);
// new holder.name(arguments...)
Value Construct(FskMachine* the, const Value& holder, std::string_view name, const std::vector<Value>& arguments);
// The same with count arguments at arguments.
Value Construct(FskMachine* the, const Value& holder, std::string_view name, const Value* arguments, size_t count);

// The arguments stay on the C++ stack: no allocation per call.
template <typename... Arguments>
Value Call(FskMachine* the, const Value& object, std::string_view name, Arguments&&... arguments) {
  if constexpr (sizeof...(Arguments) == 0) {
    return CallMethod(the, object, name, nullptr, 0);
  } else {
    const Value values[] = {ToValue(std::forward<Arguments>(arguments))...};
    return CallMethod(the, object, name, values, sizeof...(Arguments));
  }
}

template <typename... Arguments>
Value New(FskMachine* the, const Value& holder, std::string_view name, Arguments&&... arguments) {
  if constexpr (sizeof...(Arguments) == 0) {
    return Construct(the, holder, name, nullptr, 0);
  } else {
    const Value values[] = {ToValue(std::forward<Arguments>(arguments))...};
    return Construct(the, holder, name, values, sizeof...(Arguments));
  }
}

Value NewObject(FskMachine* the);
Value NewInstanceOf(FskMachine* the, const Value& prototype);
// Whether prototype is on the object's prototype chain.
bool IsInstanceOf(FskMachine* the, const Value& object, const Value& prototype);

// A host closure sees its receiver and its arguments and returns its result.
// Called as a constructor, the receiver is the new instance, and a result
// that is not an object leaves the instance as the result.
using Closure = std::function<Value(FskMachine* the, const Value& receiver, const std::vector<Value>& arguments)>;
Value NewFunction(FskMachine* the, Closure closure, int32_t length);
// A constructor whose instances have prototype as their prototype.
Value NewConstructor(FskMachine* the, Closure closure, int32_t length, const Value& prototype);

int64_t ToInteger(FskMachine* the, const Value& value);
double ToNumber(FskMachine* the, const Value& value);
bool ToBoolean(FskMachine* the, const Value& value);
std::string ToString(FskMachine* the, const Value& value);

// Throws a new error of the kind.
[[noreturn]] void Throw(FskMachine* the, FskErrorKind kind, std::string_view message);

}  // namespace fsk
