#pragma once

// ECMAScript's time arithmetic over time values: milliseconds since
// 1970-01-01T00:00:00Z, as doubles; NaN is an invalid date.
namespace fskdate {

inline constexpr double kMsPerDay = 86400000.0;

double Day(double t);
double TimeWithinDay(double t);
double YearFromTime(double t);
// 0 to 11.
double MonthFromTime(double t);
// 1 to 31.
double DateFromTime(double t);
double HourFromTime(double t);
double MinFromTime(double t);
double SecFromTime(double t);
double MsFromTime(double t);
// 0 is Sunday.
double WeekDay(double t);

double MakeTime(double hour, double minute, double second, double ms);
// The day number of date (1-based) of month (any value; 12 is January of
// the next year) of year.
double MakeDay(double year, double month, double date);
double MakeDate(double day, double time);
// NaN beyond 8.64e15 milliseconds either way; whole milliseconds, +0 for -0.
double TimeClip(double time);

}  // namespace fskdate
