// The built-in Date: UTC time values with ECMAScript arithmetic.
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include "FskDateMath.h"
#include "FskMachineImpl.h"
#include "FskValues.h"
#include "fsk/FskDate.h"

namespace {

using namespace fskdate;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

FskClock& Clock() {
  static FskClock clock;
  return clock;
}

FskObject* DateThis(FskMachine* the) {
  FskObject* date = fskimpl::ObjectOf(*fxThis(the));
  if (date == nullptr || date->kind != FskObjectKind::kDate) {
    fxThrowError(the, kFskTypeError, "not a date");
  }
  return date;
}

double Argument(FskMachine* the, int32_t index) { return fxToNumber(the, fxCheckArg(the, index)); }

// Argument index, or fallback when the call has fewer.
double ArgumentOr(FskMachine* the, int32_t index, double fallback) {
  return fxArgc(the) > index ? Argument(the, index) : fallback;
}

// Argument index, or the field of time t when the call has fewer; the field
// is worked out only then.
double ArgumentOrField(FskMachine* the, int32_t index, double (*field)(double), double t) {
  return fxArgc(the) > index ? Argument(the, index) : field(t);
}

void Store(FskMachine* the, FskObject* date, double time) {
  date->time = TimeClip(time);
  fxNumber(the, fxResult(the), date->time);
}

void DateConstructor(FskMachine* the) {
  FskObject* date = DateThis(the);
  int32_t argc = fxArgc(the);
  if (argc == 0) {
    date->time = TimeClip(FskCurrentTime());
    return;
  }
  if (argc == 1) {
    FskObject* other = fskimpl::ObjectOf(*fxCheckArg(the, 0));
    date->time = TimeClip(other != nullptr && other->kind == FskObjectKind::kDate ? other->time
                                                                                    : Argument(the, 0));
    return;
  }
  // Several components are taken as UTC.
  double year = Argument(the, 0);
  double day = MakeDay(year, Argument(the, 1), ArgumentOr(the, 2, 1));
  double time = MakeTime(ArgumentOr(the, 3, 0), ArgumentOr(the, 4, 0), ArgumentOr(the, 5, 0),
                         ArgumentOr(the, 6, 0));
  date->time = TimeClip(MakeDate(day, time));
}

void ValueOf(FskMachine* the) { fxNumber(the, fxResult(the), DateThis(the)->time); }

template <double (*Field)(double)>
void Getter(FskMachine* the) {
  double time = DateThis(the)->time;
  fxNumber(the, fxResult(the), std::isnan(time) ? kNaN : Field(time));
}

void SetUTCHours(FskMachine* the) {
  FskObject* date = DateThis(the);
  double t = date->time;
  double hour = ArgumentOr(the, 0, kNaN);
  double minute = ArgumentOrField(the, 1, MinFromTime, t);
  double second = ArgumentOrField(the, 2, SecFromTime, t);
  double ms = ArgumentOrField(the, 3, MsFromTime, t);
  if (std::isnan(t)) {
    Store(the, date, kNaN);
    return;
  }
  Store(the, date, MakeDate(Day(t), MakeTime(hour, minute, second, ms)));
}

void SetUTCFullYear(FskMachine* the) {
  FskObject* date = DateThis(the);
  // An invalid date counts as +0.
  double t = std::isnan(date->time) ? 0 : date->time;
  double year = ArgumentOr(the, 0, kNaN);
  double month = ArgumentOrField(the, 1, MonthFromTime, t);
  double day = ArgumentOrField(the, 2, DateFromTime, t);
  Store(the, date, MakeDate(MakeDay(year, month, day), TimeWithinDay(t)));
}

void DefineMethod(FskMachine* the, FskObject* prototype, const char* name, FskCallback callback,
                  int32_t length) {
  fxNewHostFunction(the, callback, length);
  FskSlot function = fskimpl::PopSlot(the);
  fskimpl::SetOwn(the, prototype, fxID(the, name), function);
}

}  // namespace

FskClock FskSetClock(FskClock clock) { return std::exchange(Clock(), std::move(clock)); }

double FskCurrentTime() {
  if (Clock()) {
    return Clock()();
  }
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void fskimpl::InstallDate(FskMachine* the) {
  FskObject* prototype = NewObject(the, ObjectOf(the->prototypes.object));
  prototype->kind = FskObjectKind::kDate;
  prototype->time = kNaN;
  FskSlotAccess::SetObject(the->prototypes.date, prototype);

  DefineMethod(the, prototype, "valueOf", ValueOf, 0);
  DefineMethod(the, prototype, "getTime", ValueOf, 0);
  DefineMethod(the, prototype, "getUTCFullYear", Getter<YearFromTime>, 0);
  DefineMethod(the, prototype, "getUTCMonth", Getter<MonthFromTime>, 0);
  DefineMethod(the, prototype, "getUTCDate", Getter<DateFromTime>, 0);
  DefineMethod(the, prototype, "getUTCDay", Getter<WeekDay>, 0);
  DefineMethod(the, prototype, "getUTCHours", Getter<HourFromTime>, 0);
  DefineMethod(the, prototype, "getUTCMinutes", Getter<MinFromTime>, 0);
  DefineMethod(the, prototype, "getUTCSeconds", Getter<SecFromTime>, 0);
  DefineMethod(the, prototype, "getUTCMilliseconds", Getter<MsFromTime>, 0);
  DefineMethod(the, prototype, "setUTCHours", SetUTCHours, 4);
  DefineMethod(the, prototype, "setUTCFullYear", SetUTCFullYear, 3);

  fxNewHostConstructor(the, DateConstructor, 7);
  FskSlot constructor = fskimpl::PopSlot(the);
  FskSlot prototypeSlot;
  FskSlotAccess::SetObject(prototypeSlot, prototype);
  fskimpl::SetOwn(the, ObjectOf(constructor), the->ids.prototype, prototypeSlot);
  fskimpl::SetOwn(the, ObjectOf(the->global), fxID(the, "Date"), constructor);
}
