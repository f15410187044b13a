// Property reads, writes and definitions.
#include <string>

#include "FskMachineImpl.h"
#include "FskStackGuard.h"
#include "FskValues.h"

namespace fskimpl {

FskObject* ObjectOf(const FskSlot& slot) { return FskSlotAccess::Object(slot); }

FskObject* NewObject(FskMachine* the, FskObject* prototype) {
  FskObject* object = the->AllocateObject();
  if (prototype == nullptr) {
    return object;
  }
  FskRetainObject(prototype);
  object->prototype = prototype;
  object->kind = prototype->kind;
  object->time = prototype->time;
  if (prototype->isHost) {
    object->isHost = true;
    object->destructor = prototype->destructor;
  }
  if (object->kind == FskObjectKind::kArray) {
    FskSlot zero;
    FskSlotAccess::SetInteger(zero, 0);
    SetOwn(the, object, the->ids.length, zero);
  }
  return object;
}

namespace {

// The property of id on object or the nearest of its prototypes; null when
// none has it.
FskProperty* FindProperty(FskObject* object, FskID id) {
  for (FskObject* current = object; current != nullptr; current = current->prototype) {
    if (FskProperty* property = current->FindOwn(id)) {
      return property;
    }
  }
  return nullptr;
}

}  // namespace

bool GetOwnOrInherited(FskObject* object, FskID id, FskSlot* out) {
  FskProperty* property = FindProperty(object, id);
  if (property == nullptr) {
    return false;
  }
  *out = property->value;
  return true;
}

namespace {

void GrowArrayLength(FskMachine* the, FskObject* object, FskID index) {
  if (object->kind != FskObjectKind::kArray || index < 0) {
    return;
  }
  FskProperty* length = object->FindOwn(the->ids.length);
  int64_t wanted = static_cast<int64_t>(index) + 1;
  if (length != nullptr && length->value.Type() == kFskIntegerType &&
      FskSlotAccess::Integer(length->value) >= wanted) {
    return;
  }
  FskSlot value;
  FskSlotAccess::SetInteger(value, wanted);
  if (length != nullptr) {
    length->value = std::move(value);
    return;
  }
  FskProperty property;
  property.id = the->ids.length;
  property.value = std::move(value);
  object->AddNamed(std::move(property));
}

}  // namespace

namespace {

// Adds a property the object does not have yet.
void AddOwn(FskMachine* the, FskObject* object, FskID id, const FskSlot& value, int32_t flag, int32_t attributes) {
  FskProperty property;
  property.id = id;
  property.flag = flag;
  property.attributes = attributes;
  property.value = value;
  if (id >= 0) {
    object->indexed.emplace(id, std::move(property));
    GrowArrayLength(the, object, id);
  } else {
    object->AddNamed(std::move(property));
  }
}

}  // namespace

void DefineOwn(FskMachine* the, FskObject* object, FskID id, const FskSlot& value, int32_t flag,
               int32_t attributes) {
  if (FskProperty* existing = object->FindOwn(id)) {
    existing->value = value;
    existing->flag = flag;
    existing->attributes = attributes;
    return;
  }
  AddOwn(the, object, id, value, flag, attributes);
}

void SetOwn(FskMachine* the, FskObject* object, FskID id, const FskSlot& value) {
  if (FskProperty* existing = object->FindOwn(id)) {
    existing->value = value;
    return;
  }
  AddOwn(the, object, id, value, 0, 0);
}

std::string DescribeID(FskMachine* the, FskID id) {
  if (id >= 0) {
    return std::to_string(id);
  }
  const char* name = fxName(the, id);
  return name != nullptr ? name : "?";
}

namespace {

// Out of line, so that the reads keep a short path.
[[noreturn, gnu::cold, gnu::noinline]] void ThrowReadOfNothing(FskMachine* the, FskID id, FskValueType type) {
  ThrowError(the, kFskTypeError,
             "cannot read property " + DescribeID(the, id) + " of " + (type == kFskNullType ? "null" : "undefined"));
}

}  // namespace

FskSlot GetProperty(FskMachine* the, const FskSlot& holder, FskID id) {
  FskValueType type = holder.Type();
  if (type == kFskUndefinedType || type == kFskNullType) {
    ThrowReadOfNothing(the, id, type);
  }
  FskObject* object = ObjectOf(holder);
  FskProperty* property = object != nullptr ? FindProperty(object, id) : nullptr;
  return property != nullptr ? property->value : FskSlot();
}

FskObject* PropertyObject(FskMachine* the, const FskSlot& holder, FskID id) {
  FskValueType type = holder.Type();
  if (type == kFskUndefinedType || type == kFskNullType) {
    ThrowReadOfNothing(the, id, type);
  }
  FskObject* object = ObjectOf(holder);
  FskProperty* property = object != nullptr ? FindProperty(object, id) : nullptr;
  return property != nullptr ? ObjectOf(property->value) : nullptr;
}

void SetProperty(FskMachine* the, const FskSlot& holder, FskID id, const FskSlot& value) {
  FskObject* object = ObjectOf(holder);
  if (object == nullptr) {
    ThrowError(the, kFskTypeError, "cannot set property " + DescribeID(the, id) + " of a non-object");
  }
  SetOwn(the, object, id, value);
}

}  // namespace fskimpl

using fskimpl::PopSlot;

void fxGetID(FskMachine* the, FskID id) {
  FskSlot* top = fxTop(the);
  FskStackScope guard(the, the->stack.size() - 1);
  FskSlot value = fskimpl::GetProperty(the, *top, id);
  *top = std::move(value);
  guard.Done();
}

void fxSetID(FskMachine* the, FskID id) {
  if (the->stack.size() < 2) {
    fskimpl::ThrowError(the, kFskRangeError, "stack underflow");
  }
  FskStackScope guard(the, the->stack.size() - 2);
  FskSlot object = PopSlot(the);
  FskSlot value = PopSlot(the);
  fskimpl::SetProperty(the, object, id, value);
  guard.Done();
}

void fxPutID(FskMachine* the, FskID id, int32_t flag, int32_t attributes) {
  if (the->stack.size() < 2) {
    fskimpl::ThrowError(the, kFskRangeError, "stack underflow");
  }
  FskStackGuard guard(the, the->stack.size() - 2);
  FskSlot holder = PopSlot(the);
  FskSlot value = PopSlot(the);
  FskObject* object = fskimpl::ObjectOf(holder);
  if (object == nullptr) {
    fskimpl::ThrowError(the, kFskTypeError,
                        "cannot define property " + fskimpl::DescribeID(the, id) + " of a non-object");
  }
  fskimpl::DefineOwn(the, object, id, value, flag, attributes);
}

bool fxHasOwnID(FskMachine* the, FskID id) {
  FskSlot holder = PopSlot(the);
  FskObject* object = fskimpl::ObjectOf(holder);
  return object != nullptr && object->FindOwn(id) != nullptr;
}

bool fxGetPropertyFlags(FskMachine* the, FskID id, int32_t* flag, int32_t* attributes) {
  FskSlot holder = PopSlot(the);
  FskObject* object = fskimpl::ObjectOf(holder);
  FskProperty* property = object != nullptr ? object->FindOwn(id) : nullptr;
  if (property == nullptr) {
    return false;
  }
  *flag = property->flag;
  *attributes = property->attributes;
  return true;
}
