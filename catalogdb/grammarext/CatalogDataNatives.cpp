#include "catalogdb/grammarext/CatalogDataNatives.h"

#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammarext/CatalogExtSupport.h"
#include "catalogdb/include/CatalogGrammarNames.h"
#include "catalogdb/include/CatalogResultBits.h"
#include "fsk/FskMemory.h"

namespace {

using fsk::Value;

constexpr int64_t kWordBytes = 4;
constexpr int64_t kBitsPerWord = 32;

// The values of a data block and how each is looked at.
struct Stride {
  const unsigned char* first;
  int64_t stride;
  int64_t count;
  Value thisArg;
  Value transform;

  uint32_t ValueAt(FskMachine* the, int64_t i) const {
    uint32_t value = CatalogLoadLittle32(first + i * stride);
    if (transform.IsUndefined()) {
      return value;
    }
    return CatalogExtWord(the, fsk::CallFunction(the, transform, thisArg, {Value::Integer(value)}));
  }
};

// The span of arguments blockAt to blockAt + 3 (block, offset, stride,
// count), with thisArg and transform at transformAt - 1 and transformAt.
Stride StrideArguments(FskMachine* the, int32_t blockAt, int32_t transformAt) {
  CatalogExtBlock block = CatalogExtBlockOf(the, CatalogExtArg(the, blockAt));
  int64_t offset = CatalogExtIntegerArg(the, blockAt + 1) & ~(kWordBytes - 1);
  int64_t stride = CatalogExtIntegerArg(the, blockAt + 2) & ~(kWordBytes - 1);
  int64_t count = CatalogExtIntegerArg(the, blockAt + 3);
  if (count > 0) {
    CatalogExtRequire(the, offset >= 0 && offset <= block.length && stride >= 0 && stride <= block.length);
    CatalogExtRequire(the, count - 1 <= block.length && block.Holds(offset + stride * (count - 1), kWordBytes));
  }
  Value transform = CatalogExtOptionalArg(the, transformAt);
  if (!fsk::ToBoolean(the, transform)) {
    transform = Value();
  }
  return Stride{block.bytes + offset, stride, count, CatalogExtOptionalArg(the, transformAt - 1), transform};
}

bool Matches(uint32_t value, uint32_t low, const Value& high, FskMachine* the) {
  if (high.IsUndefined()) {
    return value == low;
  }
  return low <= value && value <= CatalogExtWord(the, high);
}

// The bits of a result bitmap (xdb.result._result or _bitmap) that has
// them; ILLEGAL_DB for anything else.
CatalogResultBits* ResultBitsOf(FskMachine* the, const Value& bitmap) {
  Value results = fsk::Get(the, fsk::Global(the), CatalogGrammarNames::kXdb);
  CatalogExtRequire(the, results.IsObject() && bitmap.IsObject());
  bool isResult = fsk::IsInstanceOf(the, bitmap, fsk::GetPath(the, CatalogGrammarNames::kResultBits)) ||
                  fsk::IsInstanceOf(the, bitmap, fsk::GetPath(the, CatalogGrammarNames::kResultBitmap));
  CatalogExtRequire(the, isResult);
  auto* bits = static_cast<CatalogResultBits*>(CatalogExtHostData(the, bitmap));
  CatalogExtRequire(the, bits != nullptr && bits->bits != nullptr);
  return bits;
}

}  // namespace

void CatalogDataBubbleSearch(FskMachine* the) {
  Value target = CatalogExtArg(the, 0);
  Stride values = StrideArguments(the, 1, 9);
  int64_t base = CatalogExtIntegerArg(the, 5);
  uint32_t low = CatalogExtWordArg(the, 6);
  Value high = CatalogExtOptionalArg(the, 7);
  for (int64_t i = 0; i < values.count; ++i) {
    if (Matches(values.ValueAt(the, i), low, high, the)) {
      fsk::Call(the, target, "addID", base + i + 1);
    }
  }
}

void CatalogDataCopySortingArray(FskMachine* the) {
  unsigned char* destination = CatalogPointerArg(the, 0);
  Stride values = StrideArguments(the, 1, 6);
  CatalogExtRequire(the, destination != nullptr || values.count <= 0);
  for (int64_t i = 0; i < values.count; ++i) {
    CatalogStoreLittle32(destination + (i + 1) * kWordBytes, values.ValueAt(the, i));
  }
}

void CatalogDatabaseClone(FskMachine* the) {
  Value instance = fsk::NewInstanceOf(the, CatalogExtArg(the, 0));
  fxPushSlot(the, &instance.Slot());
  fxPop(the, fxResult(the));
}

void CatalogDatabaseGetBits(FskMachine* the) {
  CatalogResultBits* bits = ResultBitsOf(the, CatalogExtArg(the, 0));
  fxInteger(the, fxResult(the), CatalogAddressOf(bits->bits));
}

void CatalogDatabaseAddID(FskMachine* the) {
  Value self = CatalogExtThis(the);
  int64_t id = CatalogExtIntegerArg(the, 0);
  fsk::Call(the, self, "invalidate");
  CatalogResultBits* bits = ResultBitsOf(the, fsk::Get(the, self, "data"));
  if (id < 0 || id >= bits->maxID) {
    return;
  }
  bits->bits[id / kBitsPerWord] |= uint32_t{1} << (id % kBitsPerWord);
}

void CatalogDatabaseClose(FskMachine* the) {
  Value self = CatalogExtThis(the);
  void* memory = CatalogExtHostData(the, self);
  if (memory == nullptr) {
    return;
  }
  fxSetHostData(the, &self.Slot(), nullptr);
  FskMemPtrDispose(memory);
}
