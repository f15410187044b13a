#pragma once

#include <cstdint>

#include "platform/time/XpDateTime.h"

// The decimal-coded date fields of camera movie containers, one byte each.
// A two-digit year is BCD: below 95 it is 2000 + y, else 1900 + y.
int32_t XpDecodeBcdYear(uint8_t code);
int32_t XpDecodeMonth(uint8_t code);
// Days and hours use two bits of tens, minutes and seconds three.
int32_t XpDecodeDayOrHour(uint8_t code);
int32_t XpDecodeMinuteOrSecond(uint8_t code);

// Sets date from the parts when they form a valid date; date is untouched
// otherwise. Returns whether they did.
bool XpSetDateFromParts(XpDateTime& date, int32_t year, int32_t month, int32_t day, int32_t hour,
                        int32_t minute, int32_t second);
