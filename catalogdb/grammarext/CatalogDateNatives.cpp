#include "catalogdb/grammarext/CatalogDateNatives.h"

#include <cmath>
#include <ctime>

#include "catalogdb/grammarext/CatalogExtSupport.h"

namespace {

using fsk::Value;

constexpr double kEarliestTime = 86400;        // 1970-01-02 00:00:00 UTC
constexpr double kLatestTime = 2145916799;     // 2037-12-31 23:59:59 UTC
constexpr int kYearBase = 1900;
constexpr int64_t kMonthFactor = 100;
constexpr int64_t kYearFactor = 10000;
constexpr int kLocalConversions = 2;

// The UTC calendar fields of floor(time); ILLEGAL_DB for a time the C
// library cannot break down.
std::tm UtcFields(FskMachine* the, double time) {
  CatalogExtRequire(the, std::isfinite(time));
  double seconds = std::floor(time);
  CatalogExtRequire(the, seconds >= -9.0e15 && seconds <= 9.0e15);
  auto clock = static_cast<time_t>(seconds);
  std::tm fields{};
  CatalogExtRequire(the, ::gmtime_r(&clock, &fields) != nullptr);
  return fields;
}

std::tm TimeArgFields(FskMachine* the) { return UtcFields(the, fxToNumber(the, fxCheckArg(the, 0))); }

int64_t Year(const std::tm& fields) { return int64_t{fields.tm_year} + kYearBase; }
int64_t Month(const std::tm& fields) { return int64_t{fields.tm_mon} + 1; }

double Clamped(double time) {
  if (time < kEarliestTime) {
    return kEarliestTime;
  }
  return time > kLatestTime ? kLatestTime : time;
}

// A whole number as an integer, anything else as a number.
void SetTimeResult(FskMachine* the, double time) {
  if (std::floor(time) == time) {
    fxInteger(the, fxResult(the), static_cast<int64_t>(time));
    return;
  }
  fxNumber(the, fxResult(the), time);
}

}  // namespace

void CatalogUtcToLocal(FskMachine* the) {
  double time = fxToNumber(the, fxCheckArg(the, 0));
  time_t local = -1;
  for (int round = 0; round < kLocalConversions; ++round) {
    std::tm fields = UtcFields(the, time);
    fields.tm_isdst = -1;
    local = std::mktime(&fields);
  }
  fxInteger(the, fxResult(the), static_cast<int64_t>(local));
}

void CatalogLocalToUTC(FskMachine* the) {
  double time = fxToNumber(the, fxCheckArg(the, 0));
  SetTimeResult(the, std::isnan(time) ? kEarliestTime : Clamped(time));
}

void CatalogUtcToUTCDate(FskMachine* the) {
  double time = fxToNumber(the, fxCheckArg(the, 0));
  std::tm fields = UtcFields(the, std::isnan(time) ? kEarliestTime : Clamped(time));
  Value date = fsk::New(the, fsk::Global(the), "Date", int64_t{0});
  fsk::Call(the, date, "setUTCHours", fields.tm_hour, fields.tm_min, fields.tm_sec, 0);
  fsk::Call(the, date, "setUTCFullYear", Year(fields), fields.tm_mon, fields.tm_mday);
  fxPushSlot(the, &date.Slot());
  fxPop(the, fxResult(the));
}

void CatalogDateYearKey(FskMachine* the) { fxInteger(the, fxResult(the), Year(TimeArgFields(the))); }

void CatalogDateMonthKey(FskMachine* the) {
  std::tm fields = TimeArgFields(the);
  fxInteger(the, fxResult(the), Year(fields) * kMonthFactor + Month(fields));
}

void CatalogDateDayKey(FskMachine* the) {
  std::tm fields = TimeArgFields(the);
  fxInteger(the, fxResult(the), Year(fields) * kYearFactor + Month(fields) * kMonthFactor + fields.tm_mday);
}
