#pragma once

#include <cstdint>

#include "imaging/icc/icc_basic_type.h"

// A signed 16.16 fixed-point number in two's complement.
class s15Fixed16Number : public icc_basic_type {
 public:
  // The doubles that have a raw value: 0x80000000 and 0x7FFFFFFF.
  static constexpr double kMinValue = -32768.0;
  static constexpr double kMaxValue = 2147483647.0 / 65536.0;

  // Raw 0.
  s15Fixed16Number() = default;
  explicit s15Fixed16Number(int32_t raw) : raw_(raw) {}
  // Raw 0 when value is outside kMinValue ... kMaxValue.
  explicit s15Fixed16Number(double value);

  [[nodiscard]] XpResult Read(XpAbstractFile& file) override;

  int32_t GetRaw() const { return raw_; }
  void SetRaw(int32_t raw) { raw_ = raw; }
  // raw / 65536.
  double GetValue() const;
  // The magnitude's integer part in the upper 16 bits and its fraction,
  // truncated, in the lower, negated for a negative value. False, and the
  // raw value unchanged, outside kMinValue ... kMaxValue or for NaN.
  bool SetValue(double value);

 private:
  int32_t raw_ = 0;
};
