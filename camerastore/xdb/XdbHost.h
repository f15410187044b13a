#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "fsk/FskMachine.h"

// The call convention of the album database glue, shared by its files.
//
// Connection state: the machine of "dbManager" and the master slot, process
// wide. The glue takes no lock: its calls must not overlap.
FskMachine*& XdbConnectionMachine();
// The slot that holds the Master; it lives as long as the process.
FskSlot* XdbMasterSlot();

// Where a value comes from: a slot, or a property of a slot's object, or a
// property of that property's object.
struct XdbPlace {
  const FskSlot* slot = nullptr;
  const char* property = nullptr;
  const char* subProperty = nullptr;
};

// One argument pushed on the machine's stack.
class XdbArg {
 public:
  static XdbArg Integer(int32_t value);
  static XdbArg Number(double value);
  // Null text becomes the script value null.
  static XdbArg Text(const char* text);
  static XdbArg Null();
  static XdbArg Copy(XdbPlace place);

  void Push(FskMachine* the) const;

 private:
  enum class Kind { kInteger, kNumber, kText, kNull, kCopy };
  Kind kind_ = Kind::kNull;
  int32_t integer_ = 0;
  double number_ = 0;
  const char* text_ = nullptr;
  XdbPlace place_;
};

// A host bracket on the connection's machine: fxBeginHost when made; when
// it goes, the UTF-8 buffers it holds are released and fxEndHost closes it,
// on every way out. Every call but the constructor may throw FskException.
class XdbHost {
 public:
  explicit XdbHost(FskMachine* machine);
  ~XdbHost();
  XdbHost(const XdbHost&) = delete;
  XdbHost& operator=(const XdbHost&) = delete;

  FskMachine* Machine() const { return the_; }

  // Declares the frame's script locals.
  void Vars(int32_t count);
  FskSlot* Local(int32_t index);
  XdbPlace Master() const;
  XdbPlace MasterProperty(const char* property) const;
  XdbPlace Global() const;
  XdbPlace GlobalProperty(const char* property, const char* subProperty = nullptr) const;
  XdbPlace LocalPlace(int32_t index);
  XdbPlace LocalProperty(int32_t index, const char* property);

  // Converts text to UTF-8 into a buffer that the bracket releases; false
  // when the buffer could not be made.
  bool Utf8(const char16_t* text, const char** out);

  // Each leaves its value on top of the stack.
  // receiver.method(arguments)
  void Call(XdbPlace receiver, const char* method, std::initializer_list<XdbArg> arguments);
  // new holder.constructor(arguments)
  void New(XdbPlace holder, const char* constructor, std::initializer_list<XdbArg> arguments);
  // The value of a place.
  void Read(XdbPlace place);

  // Take the value on top of the stack.
  void Store(int32_t local);
  void Drop();
  int32_t PopInteger();
  // The integer conversion of a local.
  int32_t LocalInteger(int32_t local);

  // Whether the object of a place has prototype's object on its chain.
  bool IsInstance(XdbPlace object, XdbPlace prototype);

 private:
  struct Disposer {
    void operator()(char* buffer) const;
  };

  void PushPlace(XdbPlace place);
  void PushArguments(std::initializer_list<XdbArg> arguments, int32_t extra);

  FskMachine* the_;
  std::vector<std::unique_ptr<char, Disposer>> buffers_;
};

// What a bracketed call needs: its failure result, its script locals and a
// step of its own before the try (which must not throw), if any.
struct XdbCallPlan {
  int32_t failure;
  int32_t locals = 0;
  void (*before)() = nullptr;
};

namespace xdbdetail {

// The bracket, the conversion of text when asked for, and the try.
template <typename Body>
int32_t RunBracketed(const XdbCallPlan& plan, bool convert, const char16_t* text, Body&& body) {
  FskMachine* machine = XdbConnectionMachine();
  if (machine == nullptr) {
    return plan.failure;
  }
  int32_t result = 0;
  try {
    XdbHost host(machine);
    if (plan.locals > 0) {
      host.Vars(plan.locals);
    }
    if (plan.before != nullptr) {
      plan.before();
    }
    const char* utf8 = nullptr;
    if (convert && !host.Utf8(text, &utf8)) {
      return plan.failure;
    }
    try {
      result = body(host, utf8);
    } catch (...) {
      result = plan.failure;
    }
  } catch (...) {
  }
  return result;
}

}  // namespace xdbdetail

// Runs body(host) inside the host bracket and a try. A script exception, or
// any other, inside body gives plan.failure; one outside it (entering the
// machine, declaring locals) gives the current result. Without a machine
// the result is plan.failure at once. body returns the result.
template <typename Body>
int32_t XdbBracketed(const XdbCallPlan& plan, Body&& body) {
  return xdbdetail::RunBracketed(plan, false, nullptr, [&body](XdbHost& host, const char*) { return body(host); });
}

// As XdbBracketed, for a call that takes UTF-16 text: the text is converted
// before the try, and a failed conversion gives plan.failure without any
// script call. body(host, utf8) returns the result.
template <typename Body>
int32_t XdbBracketedWithText(const XdbCallPlan& plan, const char16_t* text, Body&& body) {
  return xdbdetail::RunBracketed(plan, true, text, std::forward<Body>(body));
}

// Thrown inside a bracket's try when the glue itself cannot go on (a text
// that could not be converted); it ends the call like a script exception.
struct XdbAbort {};
