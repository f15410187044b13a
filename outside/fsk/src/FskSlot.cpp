#include "fsk/FskSlot.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "FskValues.h"

FskString* FskString::Make(std::string_view text) {
  void* memory = std::malloc(offsetof(FskString, text) + text.size() + 1);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  auto* string = static_cast<FskString*>(memory);
  string->refs = 1;
  string->length = text.size();
  if (!text.empty()) {
    std::memcpy(string->text, text.data(), text.size());
  }
  string->text[text.size()] = '\0';
  return string;
}

void FskRetainString(FskString* string) noexcept { ++string->refs; }

void FskReleaseString(FskString* string) noexcept {
  if (--string->refs == 0) {
    std::free(string);
  }
}

void FskSlotAccess::SetUndefined(FskSlot& slot) { slot = FskSlot(); }

void FskSlotAccess::SetNull(FskSlot& slot) {
  FskSlot value;
  value.type_ = kFskNullType;
  slot = static_cast<FskSlot&&>(value);
}

void FskSlotAccess::SetBoolean(FskSlot& slot, bool boolean) {
  FskSlot value;
  value.type_ = kFskBooleanType;
  value.boolean_ = boolean;
  slot = static_cast<FskSlot&&>(value);
}

void FskSlotAccess::SetInteger(FskSlot& slot, int64_t integer) {
  FskSlot value;
  value.type_ = kFskIntegerType;
  value.integer_ = integer;
  slot = static_cast<FskSlot&&>(value);
}

void FskSlotAccess::SetNumber(FskSlot& slot, double number) {
  FskSlot value;
  value.type_ = kFskNumberType;
  value.number_ = number;
  slot = static_cast<FskSlot&&>(value);
}

void FskSlotAccess::AdoptString(FskSlot& slot, FskString* string) {
  FskSlot value;
  value.type_ = kFskStringType;
  value.string_ = string;
  slot = static_cast<FskSlot&&>(value);
}

void FskSlotAccess::SetString(FskSlot& slot, std::string_view text) {
  AdoptString(slot, FskString::Make(text));
}

void FskSlotAccess::SetObject(FskSlot& slot, FskObject* object) {
  FskRetainObject(object);
  FskSlot value;
  value.type_ = kFskObjectType;
  value.object_ = object;
  slot = static_cast<FskSlot&&>(value);
}
