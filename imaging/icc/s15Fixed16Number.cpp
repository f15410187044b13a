#include "imaging/icc/s15Fixed16Number.h"

#include <cmath>

namespace {

constexpr double kOne = 65536.0;
constexpr int64_t kIntegerShift = 16;

}  // namespace

s15Fixed16Number::s15Fixed16Number(double value) { SetValue(value); }

XpResult s15Fixed16Number::Read(XpAbstractFile& file) {
  XpResult result = BeginRead(file);
  if (result != kXpOk) {
    return result;
  }
  uint32_t raw = 0;
  result = ReadUInt32(file, raw);
  if (result == kXpOk) {
    raw_ = static_cast<int32_t>(raw);
  }
  return result;
}

double s15Fixed16Number::GetValue() const { return raw_ / kOne; }

bool s15Fixed16Number::SetValue(double value) {
  if (!(value >= kMinValue && value <= kMaxValue)) {
    return false;
  }
  // In 64 bits: the magnitude of -32768.0 is 0x80000000, which does not fit
  // a signed 32-bit number until it is negated.
  const double magnitude = std::fabs(value);
  const double integerPart = std::floor(magnitude);
  const auto fraction = static_cast<int64_t>(std::floor((magnitude - integerPart) * kOne));
  int64_t raw = (static_cast<int64_t>(integerPart) << kIntegerShift) | fraction;
  if (value < 0) {
    raw = -raw;
  }
  raw_ = static_cast<int32_t>(static_cast<uint32_t>(raw));
  return true;
}
