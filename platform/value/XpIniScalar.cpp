#include "platform/value/XpIniScalar.h"

#include <limits>

namespace {

// Stores value through out; false for a null out.
template <typename T>
bool Deliver(T* out, const T& value) {
  if (out == nullptr) {
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

XpResult XpIniBool::GetBool(bool* out) const {
  return Deliver(out, value_) ? kXpOk : kXpErrBadArgument;
}

XpResult XpIniBool::SetBool(bool value) {
  value_ = value;
  return kXpOk;
}

XpResult XpIniInt::GetInt64(int64_t* out) const {
  return Deliver(out, value_) ? kXpOk : kXpErrBadArgument;
}

XpResult XpIniInt::GetInt32(int32_t* out) const {
  if (!Deliver(out, static_cast<int32_t>(value_))) {
    return kXpErrBadArgument;
  }
  const bool fits = value_ >= std::numeric_limits<int32_t>::min() &&
                    value_ <= std::numeric_limits<int32_t>::max();
  return fits ? kXpOk : kXpErrValueNotInt32;
}

XpResult XpIniInt::SetInt64(int64_t value) {
  value_ = value;
  return kXpOk;
}

XpResult XpIniReal::GetReal(double* out) const {
  return Deliver(out, value_) ? kXpOk : kXpErrBadArgument;
}

XpResult XpIniReal::SetReal(double value) {
  value_ = value;
  return kXpOk;
}

XpResult XpIniString::GetString(XpString* out) const {
  return Deliver(out, value_) ? kXpOk : kXpErrBadArgument;
}

XpResult XpIniString::SetString(const char16_t* text) {
  value_ = text;
  return kXpOk;
}

XpResult XpIniDate::GetDate(XpDateTime* out) const {
  return Deliver(out, value_) ? kXpOk : kXpErrBadArgument;
}

XpResult XpIniDate::SetDate(const XpDateTime& value) {
  value_ = value;
  return kXpOk;
}
