#pragma once

#include "platform/text/XpString.h"

// Compares two names in natural order: letters without regard to case, runs
// of the digits 0-9 by their value ("file2" before "file10"). Negative, 0 or
// positive.
int XpCompareNamesLogical(const XpString& a, const XpString& b);
