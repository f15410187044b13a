#pragma once

#include "fsk/FskMachine.h"

// Date conversions and date keys of CatalogGrammarExt. Times are seconds
// since 1970-01-01T00:00:00Z.

// utcToLocal(time): the time whose local calendar fields are the UTC
// calendar fields of time (daylight saving left to the C library).
void CatalogUtcToLocal(FskMachine* the);
// localToUTC(time): time clamped to [86400, 2145916799].
void CatalogLocalToUTC(FskMachine* the);
// utcToUTCDate(time): a new Date of the clamped time, set from its UTC
// calendar fields.
void CatalogUtcToUTCDate(FskMachine* the);

// dateField.yearKey, monthKey, dayKey(time): Y, Y*100+M, Y*10000+M*100+D of
// the UTC calendar date of floor(time).
void CatalogDateYearKey(FskMachine* the);
void CatalogDateMonthKey(FskMachine* the);
void CatalogDateDayKey(FskMachine* the);
