#pragma once

#include "platform/text/XpString.h"

// The inverse of XpCommandLineSplit: one argument that splits back into
// text exactly. A non-empty text without blanks, tabs or quotes is returned
// as it is unless always is set; otherwise the text is put between quotes,
// each quote escaped with a backslash and the backslashes before a quote or
// before the closing quote doubled.
XpString XpCommandLineQuote(const XpString& text, bool always = false);
