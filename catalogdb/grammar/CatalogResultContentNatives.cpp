#include "catalogdb/grammar/CatalogResultContentNatives.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "catalogdb/grammar/CatalogContentQuicksort.h"
#include "catalogdb/grammar/CatalogSlotBlock.h"
#include "fsk/FskScript.h"

namespace {

constexpr int32_t kNoID = -1;

}  // namespace

void CatalogResultContentConstructor(FskMachine* the) {
  int64_t length = fxArgc(the) > 0 ? fxToInteger(the, fxCheckArg(the, 0)) : 0;
  (void)CatalogSetNewSlots(the, length, kNoID);
}

void CatalogResultContentGetAt(FskMachine* the) {
  CatalogSlots slots = CatalogSlotsOf(the, fxThis(the));
  fxInteger(the, fxResult(the), slots.At(fxToInteger(the, fxCheckArg(the, 0))));
}

void CatalogResultContentReverse(FskMachine* the) {
  CatalogSlots slots = CatalogSlotsOf(the, fxThis(the));
  std::reverse(slots.slots, slots.slots + slots.length);
}

void CatalogResultContentSort(FskMachine* the) {
  FskSlot* self = fxThis(the);
  CatalogSlots slots = CatalogSlotsOf(the, self);
  fsk::Value function(*fxCheckArg(the, 0));
  int64_t hi = int64_t{slots.length} - 1;
  auto before = [the, &function](int32_t element, int32_t pivot) {
    fsk::Value order =
        fsk::CallFunction(the, function, fsk::Value(), {fsk::ToValue(element), fsk::ToValue(pivot)});
    return fsk::ToNumber(the, order) < 0;
  };
  // The function may close or replace the slots.
  auto current = [the, self, hi]() {
    CatalogSlots now = CatalogSlotsOf(the, self);
    if (hi >= now.length) {
      fxError(the, EINVAL);
    }
    return now.slots;
  };
  CatalogContentQuicksort sort(before, current);
  sort.Sort(0, hi);
}
