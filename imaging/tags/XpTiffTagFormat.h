#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"
#include "platform/time/XpDateTime.h"

// Texts of tag values.

// "YYYY:MM:DD hh:mm:ss", the 19 characters of an Exif date; empty for a
// date that is not valid.
XpStringA XpTiffTagFormatDateTime(const XpDateTime& time);
// The same for the current local time.
XpStringA XpTiffTagFormatNow();

// An exposure time for display, from the magnitudes of numerator and
// denominator: "" when either is 0, "%.1lf" of the quotient from one second
// up, "1/q" when the denominator holds the numerator three times or more,
// else "1/%.1lf" of denominator / numerator kept within 1.0 ... 3.0 ("1/2"
// for exactly 2).
XpString XpTiffTagFormatExposure(int64_t numerator, int64_t denominator);

// The rows of the APEX shutter table, time value -5 (30 seconds) to 12
// (1/4000 second): the exposure time as a rational, false outside the
// table, and its display text, empty outside the table.
bool XpTiffTagApexShutterTime(int32_t index, uint32_t& numerator, uint32_t& denominator);
XpString XpTiffTagApexShutterText(int32_t index);
