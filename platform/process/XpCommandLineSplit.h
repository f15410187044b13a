#pragma once

#include "platform/text/XpString.h"

// Splits a command line into arguments by the Windows rules:
// - blanks and tabs outside quotes separate arguments;
// - 2n backslashes before a quote give n backslashes, and the quote opens or
//   closes a quoted part; 2n+1 give n backslashes and a literal quote;
// - backslashes not before a quote are literal;
// - "" inside a quoted part is a literal quote, and the part stays open;
// - "" on its own is an empty argument.
XpStringVector XpCommandLineSplit(const XpString& commandLine);
