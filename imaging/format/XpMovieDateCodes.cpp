#include "imaging/format/XpMovieDateCodes.h"

namespace {

constexpr int32_t kCenturyTurn = 95;
constexpr uint8_t kTenMonthsBit = 0x10;

int32_t Units(uint8_t code) { return code & 0x0F; }

}  // namespace

int32_t XpDecodeBcdYear(uint8_t code) {
  const int32_t year = (code >> 4) * 10 + Units(code);
  return year < kCenturyTurn ? 2000 + year : 1900 + year;
}

int32_t XpDecodeMonth(uint8_t code) {
  return (code & kTenMonthsBit) != 0 ? Units(code) + 10 : Units(code);
}

int32_t XpDecodeDayOrHour(uint8_t code) { return Units(code) + ((code >> 4) & 3) * 10; }

int32_t XpDecodeMinuteOrSecond(uint8_t code) { return Units(code) + ((code >> 4) & 7) * 10; }

bool XpSetDateFromParts(XpDateTime& date, int32_t year, int32_t month, int32_t day, int32_t hour,
                        int32_t minute, int32_t second) {
  XpDateTime parsed;
  if (!parsed.SetDateTime(year, month, day, hour, minute, second)) {
    return false;
  }
  date = parsed;
  return true;
}
