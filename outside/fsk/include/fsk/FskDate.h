#pragma once

#include <functional>

// The built-in Date holds a UTC time value in milliseconds, with
// ECMAScript's arithmetic. `new Date()` reads the clock below; `new
// Date(v)` takes the time of a date v, else ToNumber(v) (text is not read
// as a date); with several arguments they are UTC year, month, day, hours,
// minutes, seconds and milliseconds.
//
// The clock of `new Date()`: milliseconds since 1970-01-01T00:00:00Z.
using FskClock = std::function<double()>;

// Installs clock (empty restores the system clock) and returns the
// previous one. Tests install a fixed clock.
FskClock FskSetClock(FskClock clock);
double FskCurrentTime();
