#pragma once

#include "framework/notify/XfObject.h"

// One value as a framework object (XfData<int32_t> carries a 32-bit number).
template <typename T>
class XfData : public XfObject {
 public:
  explicit XfData(T value = T()) : value_(value) {}

  T Get() const { return value_; }
  void Set(T value) { value_ = value; }

 private:
  T value_;
};
