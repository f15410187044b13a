#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "fsk/FskException.h"
#include "fsk/FskSlot.h"

// The host interface of the script runtime: a machine with a stack of value
// slots, objects with properties, host functions and host objects, and
// exceptions that carry a script value.
//
// The runtime is used from one thread at a time: nothing in it takes a lock,
// and two threads must never be inside it together (also not on different
// machines, which share the process-wide registry, trace sink and clock).
//
// The stack. Operands are pushed on the stack and the calls below consume
// them; "[a, b] -> [c]" lists the slots on top of the stack before and after
// a call, the top last. Make room with fxOverflow before pushing; fxPush
// gives a new undefined slot on top, which fxInteger and the other setters
// then fill. A slot pointer into the stack stays valid until that slot is
// popped: pushing never moves the slots below.
//
// Frames. A host bracket (fxBeginHost ... fxEndHost) or a call of a host
// function opens a frame; fxVars declares the frame's variables. A host
// function sees its receiver (fxThis), its arguments (fxCheckArg, fxArgc),
// its result slot (fxResult) and its variables (fxCheckVar).
//
// Exceptions. Every failure inside the runtime throws FskException. A call
// that throws leaves the stack as it was before its operands were pushed,
// and closes every frame it opened. fxEndHost closes the innermost open
// bracket and restores the stack depth at its fxBeginHost, also when an
// exception thrown inside the bracket was caught inside it. A bracket that
// an exception leaves must be closed by RAII (fsk::HostBracket).
//
// Example: an object with a property set and read back, in a bracket that
// an exception cannot leave open.
//
//   FskMachine* the = fxNewMachine("example");
//   try {
//     fsk::HostBracket bracket(the);             // fsk/FskScript.h
//     const FskID answer = fxID(the, "answer");
//     fxOverflow(the, -3, nullptr, 0);
//     fxNewObject(the);                          // [object]
//     FskSlot* object = fxTop(the);
//     fxInteger(the, fxPush(the), 42);           // [object, 42]
//     fxPushSlot(the, object);                   // [object, 42, object]
//     fxSetID(the, answer);                      // [object]
//     fxGetID(the, answer);                      // [42]
//     const int64_t value = fxToInteger(the, fxTop(the));
//     fxPop(the, nullptr);                       // []
//   } catch (const FskException&) {
//     // the stack is as it was before the bracket
//   }
//   fxDeleteMachine(the);

struct FskMachine;

// A symbol. Symbols are negative; a non-negative value in its place names
// an indexed property.
using FskID = int32_t;
inline constexpr FskID kFskNoID = INT32_MIN;
// The symbol of entry index of a machine's symbol table.
constexpr FskID FskSymbolID(int32_t index) { return -1 - index; }
constexpr int32_t FskSymbolIndex(FskID id) { return -1 - id; }

// A result code: 0 or a platform result code (XpResult).
using FskErr = int32_t;

using FskCallback = void (*)(FskMachine* the);
// Called once with a host object's data when the object ends (the data may
// be null).
using FskDestructor = void (*)(void* data);
using FskClosure = std::function<void(FskMachine* the)>;

// The limit of the stack, in slots.
inline constexpr size_t kFskStackLimit = 1024 * 1024;

// The error constructors of fxThrowError.
enum FskErrorKind : int32_t {
  kFskError = 0,
  kFskTypeError = 1,
  kFskRangeError = 2,
  kFskSyntaxError = 3,
};

// Machines. A new machine holds the built-in objects: Object, Array, Chunk,
// Date, Error (with TypeError, RangeError, SyntaxError), Fsk.Error.Native,
// and the global function trace. fxDeleteMachine tears the machine down:
// every object still alive is finalised, cycles included, and each host
// destructor runs exactly once; remembered slots become undefined.
FskMachine* fxNewMachine(const char* name);
void fxDeleteMachine(FskMachine* the);
const char* fxMachineName(FskMachine* the);

// Host brackets and frames.
FskMachine* fxBeginHost(FskMachine* the);
void fxEndHost(FskMachine* the);
// Declares count variables of the current frame, all undefined; once per
// frame.
void fxVars(FskMachine* the, int32_t count);
// Variable index of the current frame; throws a RangeError when there is no
// such variable.
FskSlot* fxCheckVar(FskMachine* the, int32_t index);
// Argument index of the current call; throws a RangeError when the call has
// fewer arguments.
FskSlot* fxCheckArg(FskMachine* the, int32_t index);
// The number of arguments of the current call.
int32_t fxArgc(FskMachine* the);
// The receiver, the result slot and the function of the current call.
FskSlot* fxThis(FskMachine* the);
FskSlot* fxResult(FskMachine* the);
FskSlot* fxFunction(FskMachine* the);
FskSlot* fxGlobal(FskMachine* the);

// The stack.
// Makes room for -count pushes (count is negative, as the number of slots
// about to be pushed); throws a stack-overflow RangeError past the limit.
// file and line may be null and 0.
void fxOverflow(FskMachine* the, int32_t count, const char* file, int32_t line);
// [] -> [undefined]
FskSlot* fxPush(FskMachine* the);
// [] -> [copy of value]
void fxPushSlot(FskMachine* the, const FskSlot* value);
FskSlot* fxTop(FskMachine* the);
// [value] -> []; the value goes to into unless into is null.
void fxPop(FskMachine* the, FskSlot* into);
size_t fxStackDepth(FskMachine* the);
// [value] -> []; whether the value is truthy.
bool fxTest(FskMachine* the);

// Setters.
void fxUndefined(FskMachine* the, FskSlot* slot);
void fxNull(FskMachine* the, FskSlot* slot);
void fxBoolean(FskMachine* the, FskSlot* slot, bool value);
// Integers are 64-bit: they also carry memory addresses.
void fxInteger(FskMachine* the, FskSlot* slot, int64_t value);
void fxNumber(FskMachine* the, FskSlot* slot, double value);
// The text (UTF-8) is copied in.
void fxString(FskMachine* the, FskSlot* slot, const char* text);
void fxStringBuffer(FskMachine* the, FskSlot* slot, const char* text, size_t length);

// Conversions. fxToInteger gives the 64-bit value of an integer slot and
// ECMAScript ToInt32 of anything else: NaN and the infinities give 0,
// values wrap modulo 2^32, undefined and null give 0, a string goes through
// ToNumber (decimal, C locale). fxToString makes the slot a string in place
// and returns its text, owned by the slot and valid until the slot changes.
FskValueType fxTypeOf(FskMachine* the, const FskSlot* slot);
int64_t fxToInteger(FskMachine* the, const FskSlot* slot);
double fxToNumber(FskMachine* the, const FskSlot* slot);
bool fxToBoolean(FskMachine* the, const FskSlot* slot);
const char* fxToString(FskMachine* the, FskSlot* slot);
// The byte length of a string slot's text; 0 for other slots.
size_t fxStringLength(FskMachine* the, const FskSlot* slot);

// Symbols. fxID adds a name that the machine does not know yet.
FskID fxID(FskMachine* the, const char* name);
// kFskNoID for a name the machine does not know.
FskID fxFindID(FskMachine* the, const char* name);
// The name of a symbol; null for an index or an unknown symbol.
const char* fxName(FskMachine* the, FskID id);
int32_t fxSymbolCount(FskMachine* the);

// Properties. Reading a property of undefined or null throws a TypeError; a
// missing property reads as undefined; the prototype chain is searched.
// [object] -> [value]
void fxGetID(FskMachine* the, FskID id);
// [value, object] -> []; assigns an own property.
void fxSetID(FskMachine* the, FskID id);
// [value, object] -> []; defines an own property with its flag and
// attributes, which are stored as given.
void fxPutID(FskMachine* the, FskID id, int32_t flag, int32_t attributes);
// [object] -> []; whether the object has the own property.
bool fxHasOwnID(FskMachine* the, FskID id);
// [object] -> []; the flag and attributes of an own property; false when
// there is none.
bool fxGetPropertyFlags(FskMachine* the, FskID id, int32_t* flag, int32_t* attributes);

// Calls. A missing method, a method that is not a function, or a receiver
// that is undefined or null throws a TypeError.
// [arguments last to first, count, receiver] -> [result]
void fxCallID(FskMachine* the, FskID id);
// [arguments last to first, count, receiver, function] -> [result]
void fxCall(FskMachine* the);
// [arguments last to first, count, holder] -> [instance]: constructs with
// the holder's property id.
void fxNewID(FskMachine* the, FskID id);
// [arguments last to first, count, constructor] -> [instance]
void fxNew(FskMachine* the);
// [prototype] -> [instance]. An instance of a host object is itself a host
// object, with the prototype's destructor and null data.
void fxNewInstanceOf(FskMachine* the);
// [] -> [a new plain object]
void fxNewObject(FskMachine* the);
// [prototype, object] -> []; whether prototype is on the object's chain.
bool fxIsInstanceOf(FskMachine* the);

// Host functions and objects; each pushes what it makes. A host function's
// length property holds its argument count. A host constructor's prototype
// property starts as a new plain object.
void fxNewHostFunction(FskMachine* the, FskCallback callback, int32_t length);
void fxNewHostConstructor(FskMachine* the, FskCallback callback, int32_t length);
void fxNewHostObject(FskMachine* the, FskDestructor destructor);
// Host closures: host functions from std::function.
void fxNewHostClosure(FskMachine* the, FskClosure closure, int32_t length);
void fxNewHostClosureConstructor(FskMachine* the, FskClosure closure, int32_t length);
// The data of a host object (a Chunk's data is its bytes); a TypeError for
// anything else.
void* fxGetHostData(FskMachine* the, const FskSlot* slot);
void fxSetHostData(FskMachine* the, FskSlot* slot, void* data);
bool fxIsFunction(FskMachine* the, const FskSlot* slot);
bool fxIsConstructor(FskMachine* the, const FskSlot* slot);
bool fxIsHostObject(FskMachine* the, const FskSlot* slot);

// Errors; none of them returns.
// Throws a new Fsk.Error.Native whose property code holds code.
[[noreturn]] void fxError(FskMachine* the, int32_t code);
// [value] -> []; throws the value.
[[noreturn]] void fxThrow(FskMachine* the);
// Throws a new error of the kind with the message.
[[noreturn]] void fxThrowError(FskMachine* the, FskErrorKind kind, const char* message);

// Remembered slots: slots in process memory that the machine lists as
// roots. Remembering a slot twice counts once; forgetting removes it. The
// machine's teardown makes them undefined.
void fxRemember(FskMachine* the, FskSlot* slot);
void fxForget(FskMachine* the, FskSlot* slot);
int32_t fxRememberedCount(FskMachine* the);

// The 16-byte record of a value: for an object {serial low, serial high,
// type, 0}. Serials are never reused in a machine's life, so a record never
// names a newer object. Other values give {payload low, payload high, type,
// 0}: the integer, the bits of the number, the boolean, else 0.
void fxGetValueRecord(FskMachine* the, const FskSlot* slot, uint32_t record[4]);
// How many objects the machine holds; for tests.
int64_t fxLiveObjectCount(FskMachine* the);

// Writes text to the trace sink (FskTrace.h).
void fxTrace(FskMachine* the, const char* text);
