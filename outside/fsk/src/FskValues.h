#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fsk/FskSlot.h"

// An immutable, reference-counted UTF-8 text; slots share it.
struct FskString {
  int64_t refs;
  size_t length;
  char text[1];

  // A new text with one reference; throws std::bad_alloc.
  static FskString* Make(std::string_view text);
  std::string_view View() const { return {text, length}; }
};


// The runtime's view inside a slot.
struct FskSlotAccess {
  static bool Boolean(const FskSlot& slot) { return slot.boolean_; }
  static int64_t Integer(const FskSlot& slot) { return slot.integer_; }
  static double Number(const FskSlot& slot) { return slot.number_; }
  static FskString* String(const FskSlot& slot) { return slot.string_; }
  // Null unless the slot holds an object.
  static FskObject* Object(const FskSlot& slot) {
    return slot.type_ == kFskObjectType ? slot.object_ : nullptr;
  }

  static void SetUndefined(FskSlot& slot);
  static void SetNull(FskSlot& slot);
  static void SetBoolean(FskSlot& slot, bool value);
  static void SetInteger(FskSlot& slot, int64_t value);
  static void SetNumber(FskSlot& slot, double value);
  // Takes over the caller's reference to string.
  static void AdoptString(FskSlot& slot, FskString* string);
  static void SetString(FskSlot& slot, std::string_view text);
  // Adds a reference to object.
  static void SetObject(FskSlot& slot, FskObject* object);
};
