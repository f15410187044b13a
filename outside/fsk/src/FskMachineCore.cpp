// Machines, frames, the stack, setters, symbols and remembered slots.
#include <algorithm>
#include <cstring>
#include <string>

#include "FskMachineImpl.h"
#include "FskValues.h"
#include "fsk/FskMachine.h"
#include "fsk/FskTrace.h"

namespace {

FskFrame& CurrentFrame(FskMachine* the) {
  if (the->frames.empty()) {
    fskimpl::ThrowError(the, kFskRangeError, "no frame is open");
  }
  return the->frames.back();
}

FskFrame& CurrentCall(FskMachine* the) {
  for (auto frame = the->frames.rbegin(); frame != the->frames.rend(); ++frame) {
    if (!frame->host) {
      return *frame;
    }
  }
  fskimpl::ThrowError(the, kFskRangeError, "no call is running");
}

template <typename Word>
Word Load(const char* bytes) {
  Word word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Whether size bytes at a and b agree. Names are short: a few word loads,
// the last of which may overlap the one before, cost less than a library
// call or a loop over bytes.
bool SameBytes(const char* a, const char* b, size_t size) {
  constexpr size_t kLong = sizeof(uint64_t);
  constexpr size_t kShort = sizeof(uint32_t);
  if (size >= kLong) {
    for (size_t at = 0; at + kLong < size; at += kLong) {
      if (Load<uint64_t>(a + at) != Load<uint64_t>(b + at)) {
        return false;
      }
    }
    return Load<uint64_t>(a + size - kLong) == Load<uint64_t>(b + size - kLong);
  }
  if (size >= kShort) {
    return Load<uint32_t>(a) == Load<uint32_t>(b) &&
           Load<uint32_t>(a + size - kShort) == Load<uint32_t>(b + size - kShort);
  }
  for (size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

namespace fskimpl {

void ThrowStackOverflow(FskMachine* the) { ThrowError(the, kFskRangeError, "stack overflow"); }

FskSlot PopSlot(FskMachine* the) {
  if (the->stack.empty()) {
    ThrowError(the, kFskRangeError, "stack underflow");
  }
  FskSlot value = std::move(the->stack.back());
  the->stack.pop_back();
  return value;
}

void PushObject(FskMachine* the, FskObject* object) {
  FskSlot value;
  FskSlotAccess::SetObject(value, object);
  PushSlot(the) = std::move(value);
}

}  // namespace fskimpl

FskMachine* fskimpl::CreateMachine(const char* name, const std::function<void(FskMachine*)>& addSymbols) {
  auto* the = new FskMachine();
  the->name = name != nullptr ? name : "";
  if (addSymbols) {
    addSymbols(the);
  }
  InstallBuiltins(the);
  return the;
}

FskMachine* fxNewMachine(const char* name) { return fskimpl::CreateMachine(name, nullptr); }

void fxDeleteMachine(FskMachine* the) {
  if (the == nullptr) {
    return;
  }
  the->TearDown();
  delete the;
}

const char* fxMachineName(FskMachine* the) { return the->name.c_str(); }

FskMachine* fxBeginHost(FskMachine* the) {
  FskFrame frame;
  frame.host = true;
  frame.base = the->stack.size();
  the->frames.push_back(frame);
  return the;
}

void fxEndHost(FskMachine* the) {
  auto host = std::find_if(the->frames.rbegin(), the->frames.rend(),
                           [](const FskFrame& frame) { return frame.host; });
  if (host == the->frames.rend()) {
    return;
  }
  size_t index = static_cast<size_t>(the->frames.rend() - host) - 1;
  size_t base = the->frames[index].base;
  the->frames.resize(index);
  fskimpl::Truncate(the, base);
}

void fxVars(FskMachine* the, int32_t count) {
  FskFrame& frame = CurrentFrame(the);
  if (frame.varsDeclared) {
    fskimpl::ThrowError(the, kFskRangeError, "variables are declared already");
  }
  if (count < 0) {
    fskimpl::ThrowError(the, kFskRangeError, "negative variable count");
  }
  fskimpl::EnsureRoom(the, static_cast<size_t>(count));
  size_t first = the->stack.size();
  for (int32_t i = 0; i < count; ++i) {
    the->stack.emplace_back();
  }
  // The frame reference may not survive the pushes above: look it up again.
  FskFrame& current = the->frames.back();
  current.varsDeclared = true;
  current.varsIndex = first;
  current.varCount = count;
}

FskSlot* fxCheckVar(FskMachine* the, int32_t index) {
  FskFrame& frame = CurrentFrame(the);
  if (index < 0 || index >= frame.varCount) {
    fskimpl::ThrowError(the, kFskRangeError, "no variable " + std::to_string(index));
  }
  return &the->stack[frame.varsIndex + static_cast<size_t>(index)];
}

FskSlot* fxCheckArg(FskMachine* the, int32_t index) {
  FskFrame& frame = CurrentCall(the);
  if (index < 0 || index >= frame.argc) {
    fskimpl::ThrowError(the, kFskRangeError, "no argument " + std::to_string(index));
  }
  return &the->stack[frame.countIndex - 1 - static_cast<size_t>(index)];
}

int32_t fxArgc(FskMachine* the) {
  for (auto frame = the->frames.rbegin(); frame != the->frames.rend(); ++frame) {
    if (!frame->host) {
      return frame->argc;
    }
  }
  return 0;
}

FskSlot* fxThis(FskMachine* the) { return &the->stack[CurrentCall(the).thisIndex]; }

FskSlot* fxResult(FskMachine* the) { return &the->stack[CurrentCall(the).resultIndex]; }

FskSlot* fxFunction(FskMachine* the) { return &the->stack[CurrentCall(the).functionIndex]; }

FskSlot* fxGlobal(FskMachine* the) { return &the->global; }

void fxOverflow(FskMachine* the, int32_t count, const char* file, int32_t line) {
  (void)file;
  (void)line;
  int64_t wanted = count < 0 ? -static_cast<int64_t>(count) : count;
  fskimpl::EnsureRoom(the, static_cast<size_t>(wanted));
}

FskSlot* fxPush(FskMachine* the) { return &fskimpl::PushSlot(the); }

void fxPushSlot(FskMachine* the, const FskSlot* value) {
  FskSlot copy = *value;
  fskimpl::PushSlot(the) = std::move(copy);
}

FskSlot* fxTop(FskMachine* the) {
  if (the->stack.empty()) {
    fskimpl::ThrowError(the, kFskRangeError, "stack underflow");
  }
  return &the->stack.back();
}

void fxPop(FskMachine* the, FskSlot* into) {
  FskSlot value = fskimpl::PopSlot(the);
  if (into != nullptr) {
    *into = std::move(value);
  }
}

size_t fxStackDepth(FskMachine* the) { return the->stack.size(); }

bool fxTest(FskMachine* the) { return fskimpl::ToBoolean(fskimpl::PopSlot(the)); }

void fxUndefined(FskMachine*, FskSlot* slot) { FskSlotAccess::SetUndefined(*slot); }

void fxNull(FskMachine*, FskSlot* slot) { FskSlotAccess::SetNull(*slot); }

void fxBoolean(FskMachine*, FskSlot* slot, bool value) { FskSlotAccess::SetBoolean(*slot, value); }

void fxInteger(FskMachine*, FskSlot* slot, int64_t value) { FskSlotAccess::SetInteger(*slot, value); }

void fxNumber(FskMachine*, FskSlot* slot, double value) { FskSlotAccess::SetNumber(*slot, value); }

void fxString(FskMachine* the, FskSlot* slot, const char* text) {
  fxStringBuffer(the, slot, text, text != nullptr ? std::strlen(text) : 0);
}

void fxStringBuffer(FskMachine*, FskSlot* slot, const char* text, size_t length) {
  FskSlotAccess::SetString(*slot, text != nullptr ? std::string_view(text, length) : std::string_view());
}

namespace {

// The symbol of name from the table, made on first use; remembered in hint.
[[gnu::noinline]] FskID LookUpSymbol(FskMachine* the, std::string_view name, FskMachine::SymbolHint& hint) {
  int32_t index = 0;
  auto found = the->symbolIndex.find(name);
  if (found != the->symbolIndex.end()) {
    index = found->second;
  } else {
    index = static_cast<int32_t>(the->symbolNames.size());
    the->symbolNames.emplace_back(name);
    the->symbolIndex.emplace(the->symbolNames.back(), index);
  }
  hint.data = name.data();
  hint.size = static_cast<uint32_t>(name.size());
  hint.index = index;
  if (name.size() <= FskMachine::kHintText) {
    std::copy(name.begin(), name.end(), hint.text.begin());
  }
  return FskSymbolID(index);
}

}  // namespace

FskID fskimpl::IdOf(FskMachine* the, std::string_view name) {
  // Fibonacci hashing of the name's address spreads nearby literals.
  constexpr uint64_t kSpread = 0x9E3779B97F4A7C15ULL;
  constexpr unsigned kHighBits = 32;
  const auto place = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(name.data())) + name.size();
  FskMachine::SymbolHint& hint =
      the->symbolHints[((place * kSpread) >> kHighBits) % FskMachine::kSymbolHints];
  if (hint.index >= 0 && hint.data == name.data() && hint.size == name.size()) {
    const char* known = name.size() <= FskMachine::kHintText
                            ? hint.text.data()
                            : the->symbolNames[static_cast<size_t>(hint.index)].data();
    if (SameBytes(known, name.data(), name.size())) {
      return FskSymbolID(hint.index);
    }
  }
  return LookUpSymbol(the, name, hint);
}

FskID fxID(FskMachine* the, const char* name) {
  return fskimpl::IdOf(the, name != nullptr ? std::string_view(name) : std::string_view());
}

FskID fxFindID(FskMachine* the, const char* name) {
  auto found = the->symbolIndex.find(std::string_view(name));
  return found == the->symbolIndex.end() ? kFskNoID : FskSymbolID(found->second);
}

const char* fxName(FskMachine* the, FskID id) {
  if (id >= 0 || id == kFskNoID) {
    return nullptr;
  }
  auto index = static_cast<size_t>(FskSymbolIndex(id));
  return index < the->symbolNames.size() ? the->symbolNames[index].c_str() : nullptr;
}

int32_t fxSymbolCount(FskMachine* the) { return static_cast<int32_t>(the->symbolNames.size()); }

void fxRemember(FskMachine* the, FskSlot* slot) {
  if (std::find(the->remembered.begin(), the->remembered.end(), slot) == the->remembered.end()) {
    the->remembered.push_back(slot);
  }
}

void fxForget(FskMachine* the, FskSlot* slot) {
  auto found = std::find(the->remembered.begin(), the->remembered.end(), slot);
  if (found != the->remembered.end()) {
    the->remembered.erase(found);
  }
}

int32_t fxRememberedCount(FskMachine* the) { return static_cast<int32_t>(the->remembered.size()); }

void fxGetValueRecord(FskMachine*, const FskSlot* slot, uint32_t record[4]) {
  uint64_t payload = 0;
  switch (slot->Type()) {
    case kFskObjectType:
      payload = FskSlotAccess::Object(*slot)->serial;
      break;
    case kFskIntegerType:
      payload = static_cast<uint64_t>(FskSlotAccess::Integer(*slot));
      break;
    case kFskNumberType: {
      double number = FskSlotAccess::Number(*slot);
      std::memcpy(&payload, &number, sizeof payload);
      break;
    }
    case kFskBooleanType:
      payload = FskSlotAccess::Boolean(*slot) ? 1 : 0;
      break;
    default:
      break;
  }
  record[0] = static_cast<uint32_t>(payload);
  record[1] = static_cast<uint32_t>(payload >> 32);
  record[2] = static_cast<uint32_t>(slot->Type());
  record[3] = 0;
}

int64_t fxLiveObjectCount(FskMachine* the) { return the->liveCount; }

void fxTrace(FskMachine*, const char* text) { FskTraceText(text != nullptr ? text : ""); }
