#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "FskObject.h"
#include "FskSlotStack.h"
#include "fsk/FskMachine.h"

struct FskFrame {
  bool host = false;
  size_t base = 0;
  // Calls only.
  size_t thisIndex = 0;
  size_t countIndex = 0;
  int32_t argc = 0;
  size_t functionIndex = 0;
  size_t resultIndex = 0;
  // Both kinds.
  bool varsDeclared = false;
  size_t varsIndex = 0;
  int32_t varCount = 0;
};

struct FskPrototypes {
  FskSlot object;
  FskSlot function;
  FskSlot array;
  FskSlot chunk;
  FskSlot date;
  FskSlot error;
  FskSlot typeError;
  FskSlot rangeError;
  FskSlot syntaxError;
  FskSlot nativeError;
};

// Symbols the runtime itself uses.
struct FskCommonIDs {
  FskID length = 0;
  FskID prototype = 0;
  FskID message = 0;
  FskID name = 0;
  FskID code = 0;
  FskID valueOf = 0;
  FskID toString = 0;
};

// Looks symbols up by any string form without making a std::string.
struct FskSymbolHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct FskMachine {
  FskSlotStack stack{kFskStackLimit};
  std::vector<FskFrame> frames;

  std::string name;

  std::vector<std::string> symbolNames;
  std::unordered_map<std::string, int32_t, FskSymbolHash, std::equal_to<>> symbolIndex;
  // Recent look-ups by where the name lay; a hit is checked against the
  // symbol's name, so a reused buffer never gives a wrong symbol. A short
  // name is kept in the hint itself, so that its check stays in one place.
  static constexpr size_t kHintText = 16;
  struct SymbolHint {
    const char* data = nullptr;
    uint32_t size = 0;
    int32_t index = -1;
    std::array<char, kHintText> text{};
  };
  static constexpr size_t kSymbolHints = 2048;
  std::array<SymbolHint, kSymbolHints> symbolHints{};


  FskSlot global;
  FskPrototypes prototypes;
  FskCommonIDs ids;

  FskObject* liveFirst = nullptr;
  FskObject* liveLast = nullptr;
  int64_t liveCount = 0;
  uint64_t nextSerial = 1;
  std::vector<FskObject*> pendingFree;
  bool freeing = false;

  std::vector<FskSlot*> remembered;
  bool tornDown = false;

  // A new object on the live list, with no reference yet.
  FskObject* AllocateObject();
  // Frees an object whose last reference went, and whatever that frees.
  void Free(FskObject* object) noexcept;
  // Finalises every object; the machine is unusable afterwards.
  void TearDown() noexcept;

 private:
  void Unlink(FskObject* object) noexcept;
};

// Internal helpers shared by the runtime's files.
namespace fskimpl {

// A new machine: addSymbols adds the first symbols, then the built-ins are
// installed.
FskMachine* CreateMachine(const char* name, const std::function<void(FskMachine*)>& addSymbols);

// The symbol of name, made on first use.
FskID IdOf(FskMachine* the, std::string_view name);
FskObject* ObjectOf(const FskSlot& slot);
// A new object whose prototype is prototype (null for none). An instance of
// an array, a date or a host object is one too.
FskObject* NewObject(FskMachine* the, FskObject* prototype);
[[noreturn]] void ThrowStackOverflow(FskMachine* the);
// Throws a stack-overflow error unless count more slots fit.
inline void EnsureRoom(FskMachine* the, size_t count) {
  if (count > kFskStackLimit || the->stack.size() > kFskStackLimit - count) {
    ThrowStackOverflow(the);
  }
}
void PushObject(FskMachine* the, FskObject* object);
inline FskSlot& PushSlot(FskMachine* the) {
  EnsureRoom(the, 1);
  return the->stack.emplace_back();
}
FskSlot PopSlot(FskMachine* the);
inline void Truncate(FskMachine* the, size_t depth) {
  while (the->stack.size() > depth) {
    the->stack.pop_back();
  }
}

bool GetOwnOrInherited(FskObject* object, FskID id, FskSlot* out);
void SetOwn(FskMachine* the, FskObject* object, FskID id, const FskSlot& value);
void DefineOwn(FskMachine* the, FskObject* object, FskID id, const FskSlot& value, int32_t flag,
               int32_t attributes);
// Reads a property of any value; throws on undefined and null.
FskSlot GetProperty(FskMachine* the, const FskSlot& holder, FskID id);
// The object that GetProperty would give, without taking a reference: for
// a call that holds it itself; null when the value is no object.
FskObject* PropertyObject(FskMachine* the, const FskSlot& holder, FskID id);
void SetProperty(FskMachine* the, const FskSlot& holder, FskID id, const FskSlot& value);
std::string DescribeID(FskMachine* the, FskID id);

[[noreturn]] void Throw(FskMachine* the, const FskSlot& value);
[[noreturn]] void ThrowError(FskMachine* the, FskErrorKind kind, std::string_view message);
FskSlot MakeError(FskMachine* the, FskErrorKind kind, std::string_view message);
// A new Fsk.Error.Native with its code.
FskSlot MakeNativeError(FskMachine* the, int64_t code);
void SetNativeErrorFields(FskMachine* the, FskObject* error, int64_t code);

// Calls function with the receiver at thisIndex and argc arguments below
// the count at countIndex; returns the result.
FskSlot Invoke(FskMachine* the, FskObject* function, size_t thisIndex, size_t countIndex,
               int32_t argc);
// Constructs with constructor; the slot at thisIndex is replaced by the
// instance.
FskSlot Construct(FskMachine* the, const FskSlot& constructor, size_t thisIndex,
                  size_t countIndex, int32_t argc);
// Calls function with receiver and arguments given from C++.
FskSlot CallValue(FskMachine* the, const FskSlot& function, const FskSlot& receiver,
                  const std::vector<FskSlot>& arguments);

double ToNumber(FskMachine* the, const FskSlot& slot);
int32_t ToInt32(double number);
std::string ToText(FskMachine* the, const FskSlot& slot);
bool ToBoolean(const FskSlot& slot);

// A function object of the length, not yet callable; a constructor gets a
// new plain object as its prototype property.
FskObject* NewFunctionObject(FskMachine* the, int32_t length, bool constructor);

void InstallBuiltins(FskMachine* the);
void InstallDate(FskMachine* the);

}  // namespace fskimpl
