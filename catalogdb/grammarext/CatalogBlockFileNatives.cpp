#include "catalogdb/grammarext/CatalogBlockFileNatives.h"

#include <array>
#include <cstring>

#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammarext/CatalogExtSupport.h"

namespace {

using fsk::Value;

constexpr int64_t kBaseHeaderSize = 64;
constexpr int64_t kIndexHeaderSize = 96;
constexpr int64_t kHelperHeaderSize = 128;
constexpr int64_t kExtensionAt = 64;
constexpr int64_t kCounterAt = 68;
constexpr int64_t kRollingAt = 68;
constexpr int64_t kVersionAt = 72;
constexpr int64_t kUserDataAt = 76;
constexpr int32_t kUserDataCount = 8;
constexpr int64_t kOffsetFieldAt = 16;

struct HeaderField {
  const char* name;
  int64_t at;
};

// The base header's fields; offset is packed from the argument.
constexpr std::array<HeaderField, 9> kBaseFields{{{"dataSize", 0},
                                                  {"type", 4},
                                                  {"major", 8},
                                                  {"minor", 12},
                                                  {"offset", kOffsetFieldAt},
                                                  {"blockSize", 20},
                                                  {"blockCount", 24},
                                                  {"freeBlock", 28},
                                                  {"dirty", 32}}};

unsigned char* LineMemory(FskMachine* the, const Value& line) {
  auto* memory = static_cast<unsigned char*>(CatalogExtHostData(the, line));
  CatalogExtRequire(the, memory != nullptr);
  return memory;
}

unsigned char* HeaderArg(FskMachine* the) {
  unsigned char* header = CatalogPointerArg(the, 0);
  CatalogExtRequire(the, header != nullptr);
  return header;
}

// Stores value at header + at; whether the stored word changed.
bool StoreWord(unsigned char* header, int64_t at, uint32_t value) {
  bool changed = CatalogLoadLittle32(header + at) != value;
  CatalogStoreLittle32(header + at, value);
  return changed;
}

void SetSigned(FskMachine* the, const Value& object, const char* name, const unsigned char* at) {
  fsk::Set(the, object, name, Value::Integer(static_cast<int32_t>(CatalogLoadLittle32(at))));
}

void SetUnsigned(FskMachine* the, const Value& object, const char* name, const unsigned char* at) {
  fsk::Set(the, object, name, Value::Integer(CatalogLoadLittle32(at)));
}

void SetHeaderSize(FskMachine* the, int64_t size) { fxInteger(the, fxResult(the), size); }

// function.call(self, arguments...), the arguments at arguments.
Value CallOn(FskMachine* the, const Value& function, const Value& self, const Value* arguments, size_t count) {
  constexpr int32_t kExtraSlots = 3;  // The count, the receiver and the function.
  fxOverflow(the, -static_cast<int32_t>(count) - kExtraSlots, nullptr, 0);
  for (size_t index = count; index > 0; --index) {
    fxPushSlot(the, &arguments[index - 1].Slot());
  }
  fxInteger(the, fxPush(the), static_cast<int64_t>(count));
  fxPushSlot(the, &self.Slot());
  fxPushSlot(the, &function.Slot());
  fxCall(the);
  Value result;
  fxPop(the, &result.Slot());
  return result;
}

// this.name(arguments) when this has such a method; its truth, else false.
bool CallIfPresent(FskMachine* the, const Value& self, const char* name, const Value* arguments, size_t count) {
  Value method = fsk::Get(the, self, name);
  if (!fxIsFunction(the, &method.Slot())) {
    return false;
  }
  return fsk::ToBoolean(the, CallOn(the, method, self, arguments, count));
}

// The userData array of this, made when it is missing.
Value UserData(FskMachine* the, const Value& self) {
  Value entries = fsk::Get(the, self, "userData");
  if (entries.IsObject()) {
    return entries;
  }
  entries = fsk::New(the, fsk::Global(the), "Array");
  fsk::Set(the, self, "userData", entries);
  return entries;
}

// this.file.method(memory, this.length, this.offset)
void Transfer(FskMachine* the, const char* method) {
  Value line = CatalogExtThis(the);
  fsk::Call(the, fsk::Get(the, line, "file"), method, CatalogAddressOf(LineMemory(the, line)),
            CatalogExtIntegerProperty(the, line, "length"), CatalogExtIntegerProperty(the, line, "offset"));
}

}  // namespace

void CatalogLinePointer(FskMachine* the) {
  fxInteger(the, fxResult(the), CatalogAddressOf(CatalogExtHostData(the, CatalogExtThis(the))));
}

void CatalogLineContains(FskMachine* the) {
  Value self = CatalogExtThis(the);
  int64_t lineStart = CatalogExtWordProperty(the, self, "offset");
  int64_t lineEnd = lineStart + CatalogExtWordProperty(the, self, "length");
  int64_t start = CatalogExtWordArg(the, 0);
  int64_t end = start + CatalogExtWordArg(the, 1);
  int64_t answer = -1;
  if (start >= lineStart && end <= lineEnd) {
    answer = 1;
  } else if (end <= lineStart || start >= lineEnd) {
    answer = 0;
  }
  fxInteger(the, fxResult(the), answer);
}

void CatalogLineRead(FskMachine* the) { Transfer(the, "readDataAt"); }

void CatalogLineWrite(FskMachine* the) { Transfer(the, "writeDataAt"); }

void CatalogBlockFileHeaderSize(FskMachine* the) { SetHeaderSize(the, kBaseHeaderSize); }

void CatalogBlockFileReadHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  Value address = Value::Integer(CatalogAddressOf(LineMemory(the, CatalogExtArg(the, 0))));
  fsk::CallMethod(the, self, "unpackHeader", &address, 1);
  CallIfPresent(the, self, "subUnpackHeader", &address, 1);
}

void CatalogBlockFileWriteHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  Value line = CatalogExtArg(the, 0);
  const std::array<Value, 2> arguments{Value::Integer(CatalogAddressOf(LineMemory(the, line))),
                                       CatalogExtOptionalArg(the, 1)};
  bool changed = fsk::ToBoolean(the, fsk::CallMethod(the, self, "packHeader", arguments.data(), arguments.size()));
  bool extensionChanged = CallIfPresent(the, self, "subPackHeader", arguments.data(), arguments.size());
  if (changed || extensionChanged) {
    CatalogExtChange(the, line);
  }
}

void CatalogBlockFilePackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  unsigned char* header = HeaderArg(the);
  std::array<unsigned char, kBaseHeaderSize> packed{};
  for (const HeaderField& field : kBaseFields) {
    uint32_t value = field.at == kOffsetFieldAt ? CatalogExtWord(the, CatalogExtOptionalArg(the, 1))
                                                : CatalogExtWordProperty(the, self, field.name);
    CatalogStoreLittle32(packed.data() + field.at, value);
  }
  bool changed = std::memcmp(header, packed.data(), packed.size()) != 0;
  std::memcpy(header, packed.data(), packed.size());
  fxBoolean(the, fxResult(the), changed);
}

void CatalogBlockFileUnpackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  const unsigned char* header = HeaderArg(the);
  for (const HeaderField& field : kBaseFields) {
    SetSigned(the, self, field.name, header + field.at);
  }
}

void CatalogIndexHeaderSize(FskMachine* the) { SetHeaderSize(the, kIndexHeaderSize); }

void CatalogIndexSubPackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  unsigned char* header = HeaderArg(the);
  bool changed = StoreWord(header, kExtensionAt, CatalogExtWordProperty(the, self, "topBlock"));
  fxBoolean(the, fxResult(the), changed);
}

void CatalogIndexSubUnpackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  SetSigned(the, self, "topBlock", HeaderArg(the) + kExtensionAt);
}

void CatalogDatabaseIDSubPackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  unsigned char* header = HeaderArg(the);
  bool changed = StoreWord(header, kExtensionAt, CatalogExtWordProperty(the, self, "maxID"));
  changed = StoreWord(header, kCounterAt, CatalogExtWordProperty(the, self, "counter")) || changed;
  fxBoolean(the, fxResult(the), changed);
}

void CatalogDatabaseIDSubUnpackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  const unsigned char* header = HeaderArg(the);
  SetSigned(the, self, "maxID", header + kExtensionAt);
  SetUnsigned(the, self, "counter", header + kCounterAt);
}

void CatalogHelperHeaderSize(FskMachine* the) { SetHeaderSize(the, kHelperHeaderSize); }

void CatalogHelperSubPackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  unsigned char* header = HeaderArg(the);
  bool changed = StoreWord(header, kExtensionAt, CatalogExtWordProperty(the, self, "flushing"));
  changed = StoreWord(header, kRollingAt, CatalogExtWordProperty(the, self, "rolling")) || changed;
  Value entries = fsk::Get(the, self, "userData");
  for (int32_t i = 0; i < kUserDataCount; ++i) {
    uint32_t entry = entries.IsObject() ? CatalogExtWord(the, fsk::GetAt(the, entries, i)) : 0;
    changed = StoreWord(header, kUserDataAt + 4 * i, entry) || changed;
  }
  uint32_t version = CatalogExtWordProperty(the, self, "version");
  if (CatalogLoadLittle32(header + kVersionAt) == 0 && version != 0) {
    changed = StoreWord(header, kVersionAt, version) || changed;
  }
  fxBoolean(the, fxResult(the), changed);
}

void CatalogHelperSubUnpackHeader(FskMachine* the) {
  Value self = CatalogExtThis(the);
  const unsigned char* header = HeaderArg(the);
  SetSigned(the, self, "flushing", header + kExtensionAt);
  SetSigned(the, self, "rolling", header + kRollingAt);
  SetSigned(the, self, "version", header + kVersionAt);
  Value entries = UserData(the, self);
  for (int32_t i = 0; i < kUserDataCount; ++i) {
    fsk::SetAt(the, entries, i, Value::Integer(CatalogLoadLittle32(header + kUserDataAt + 4 * i)));
  }
}
