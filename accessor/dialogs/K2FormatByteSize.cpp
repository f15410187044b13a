#include "accessor/dialogs/K2FormatByteSize.h"

#include <array>
#include <string>

namespace {

constexpr uint64_t kStep = 1024;
constexpr std::array<const char*, 6> kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};

// The value in hundredths of the unit, truncated.
uint64_t HundredthsOf(uint64_t bytes, uint64_t unit) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * 100 / unit);
}

std::string WithThreeDigits(uint64_t hundredths) {
  const uint64_t whole = hundredths / 100;
  const uint64_t fraction = hundredths % 100;
  if (whole >= 100) {
    return std::to_string(whole);
  }
  if (whole >= 10) {
    return std::to_string(whole) + "." + std::to_string(fraction / 10);
  }
  const std::string twoDigits = (fraction < 10 ? "0" : "") + std::to_string(fraction);
  return std::to_string(whole) + "." + twoDigits;
}

}  // namespace

XpString K2FormatByteSize(uint64_t bytes) {
  if (bytes < kStep) {
    return XpString::FromUtf8(std::to_string(bytes) + " bytes");
  }
  uint64_t unit = kStep;
  size_t index = 0;
  while (index + 1 < kUnits.size() && bytes / unit >= kStep) {
    unit *= kStep;
    ++index;
  }
  return XpString::FromUtf8(WithThreeDigits(HundredthsOf(bytes, unit)) + " " + kUnits[index]);
}
