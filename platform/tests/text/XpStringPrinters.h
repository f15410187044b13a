#pragma once

#include <ostream>

#include "platform/text/XpString.h"
#include "platform/text/XpUtf.h"

// GoogleTest prints strings in failure messages through these (found by
// argument-dependent lookup, so they live beside the classes).
inline void PrintTo(const XpString& text, std::ostream* out) {
  *out << "u\"" << XpUtf16ToUtf8(text.View()) << "\"";
}

inline void PrintTo(const XpStringA& text, std::ostream* out) { *out << "\"" << text.View() << "\""; }
