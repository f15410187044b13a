#include "catalogdb/grammar/CatalogSortingArrayNatives.h"

#include <cerrno>

#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogSlotBlock.h"
#include "fsk/FskScript.h"

namespace {

constexpr int32_t kNoRank = -1;
constexpr int32_t kGrowthSlots = 1024;

}  // namespace

void CatalogSortingArrayConstructor(FskMachine* the) {
  int64_t length = fxArgc(the) > 0 ? fxToInteger(the, fxCheckArg(the, 0)) : 0;
  if (!CatalogSetNewSlots(the, length, kNoRank)) {
    return;
  }
  fsk::Set(the, fsk::Value(*fxThis(the)), "index", fsk::Value::Integer(0));
}

void CatalogSortingArrayCompare(FskMachine* the) {
  CatalogSlots ranks = CatalogSlotsOf(the, fxThis(the));
  int64_t a = fxToInteger(the, fxCheckArg(the, 0));
  int64_t b = fxToInteger(the, fxCheckArg(the, 1));
  fxInteger(the, fxResult(the), int64_t{ranks.At(a)} - int64_t{ranks.At(b)});
}

void CatalogSortingArraySetValue(FskMachine* the) {
  FskSlot* self = fxThis(the);
  CatalogSlots ranks = CatalogSlotsOf(the, self);
  int64_t id = fxToInteger(the, fxCheckArg(the, 0));
  int32_t rank = CatalogInt32Arg(the, 1);
  if (id < 0 || id >= kCatalogMaxSlots) {
    fxError(the, EINVAL);
  }
  if (id >= ranks.length) {
    int64_t steps = (id - ranks.length) / kGrowthSlots + 1;
    int64_t length = ranks.length + steps * kGrowthSlots;
    if (length > kCatalogMaxSlots) {
      fxError(the, EINVAL);
    }
    void* block = CatalogGrowSlotBlock(fxGetHostData(the, self), static_cast<int32_t>(length));
    if (block == nullptr) {
      CatalogRaiseErrno(the);
    }
    fxSetHostData(the, self, block);
    fsk::Set(the, fsk::Value(*self), "length", fsk::Value::Integer(length));
    ranks = CatalogSlotsOfBlock(block);
  }
  ranks.slots[id] = rank;
}
