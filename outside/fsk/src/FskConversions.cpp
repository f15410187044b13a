// Conversions between value types.
#include <cmath>
#include <limits>
#include <string>

#include "FskMachineImpl.h"
#include "FskNumberText.h"
#include "FskValues.h"

namespace fskimpl {

namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kTwoTo31 = 2147483648.0;

// A primitive of the object: a date's time for a number, else the result
// of a callable valueOf or toString that gives a primitive. Undefined when
// there is none.
FskSlot ToPrimitive(FskMachine* the, FskObject* object, bool preferNumber) {
  FskSlot result;
  if (preferNumber && object->kind == FskObjectKind::kDate) {
    FskSlotAccess::SetNumber(result, object->time);
    return result;
  }
  FskSlot self;
  FskSlotAccess::SetObject(self, object);
  FskID order[2] = {the->ids.valueOf, the->ids.toString};
  if (!preferNumber) {
    std::swap(order[0], order[1]);
  }
  for (FskID id : order) {
    FskSlot method;
    GetOwnOrInherited(object, id, &method);
    if (!fxIsFunction(the, &method)) {
      continue;
    }
    FskSlot value = CallValue(the, method, self, {});
    if (value.Type() != kFskObjectType) {
      return value;
    }
  }
  return result;
}

}  // namespace

double ToNumber(FskMachine* the, const FskSlot& slot) {
  switch (slot.Type()) {
    case kFskNullType:
      return 0;
    case kFskBooleanType:
      return FskSlotAccess::Boolean(slot) ? 1 : 0;
    case kFskIntegerType:
      return static_cast<double>(FskSlotAccess::Integer(slot));
    case kFskNumberType:
      return FskSlotAccess::Number(slot);
    case kFskStringType:
      return fsknumber::FromText(FskSlotAccess::String(slot)->View());
    case kFskObjectType: {
      FskSlot primitive = ToPrimitive(the, FskSlotAccess::Object(slot), true);
      if (primitive.Type() == kFskUndefinedType) {
        return std::numeric_limits<double>::quiet_NaN();
      }
      return ToNumber(the, primitive);
    }
    default:
      return std::numeric_limits<double>::quiet_NaN();
  }
}

int32_t ToInt32(double number) {
  if (!std::isfinite(number)) {
    return 0;
  }
  double value = std::fmod(std::trunc(number), kTwoTo32);
  if (value < 0) {
    value += kTwoTo32;
  }
  if (value >= kTwoTo31) {
    value -= kTwoTo32;
  }
  return static_cast<int32_t>(value);
}

std::string ToText(FskMachine* the, const FskSlot& slot) {
  switch (slot.Type()) {
    case kFskUndefinedType:
      return "undefined";
    case kFskNullType:
      return "null";
    case kFskBooleanType:
      return FskSlotAccess::Boolean(slot) ? "true" : "false";
    case kFskIntegerType:
      return std::to_string(FskSlotAccess::Integer(slot));
    case kFskNumberType:
      return fsknumber::ToText(FskSlotAccess::Number(slot));
    case kFskStringType:
      return std::string(FskSlotAccess::String(slot)->View());
    default: {
      FskSlot primitive = ToPrimitive(the, FskSlotAccess::Object(slot), false);
      if (primitive.Type() == kFskUndefinedType) {
        return "[object Object]";
      }
      return ToText(the, primitive);
    }
  }
}

bool ToBoolean(const FskSlot& slot) {
  switch (slot.Type()) {
    case kFskBooleanType:
      return FskSlotAccess::Boolean(slot);
    case kFskIntegerType:
      return FskSlotAccess::Integer(slot) != 0;
    case kFskNumberType: {
      double number = FskSlotAccess::Number(slot);
      return number != 0 && !std::isnan(number);
    }
    case kFskStringType:
      return FskSlotAccess::String(slot)->length > 0;
    case kFskObjectType:
      return true;
    default:
      return false;
  }
}

}  // namespace fskimpl

FskValueType fxTypeOf(FskMachine*, const FskSlot* slot) { return slot->Type(); }

int64_t fxToInteger(FskMachine* the, const FskSlot* slot) {
  if (slot->Type() == kFskIntegerType) {
    return FskSlotAccess::Integer(*slot);
  }
  return fskimpl::ToInt32(fskimpl::ToNumber(the, *slot));
}

double fxToNumber(FskMachine* the, const FskSlot* slot) { return fskimpl::ToNumber(the, *slot); }

bool fxToBoolean(FskMachine*, const FskSlot* slot) { return fskimpl::ToBoolean(*slot); }

const char* fxToString(FskMachine* the, FskSlot* slot) {
  if (slot->Type() != kFskStringType) {
    FskSlotAccess::SetString(*slot, fskimpl::ToText(the, *slot));
  }
  return FskSlotAccess::String(*slot)->text;
}

size_t fxStringLength(FskMachine*, const FskSlot* slot) {
  return slot->Type() == kFskStringType ? FskSlotAccess::String(*slot)->length : 0;
}
