#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/result/XpResult.h"
#include "platform/text/XpFormatter.h"

// The typed argument list of a formatted text.
using XfFormatArgs = std::span<const XpFormatArg>;

// The longest formatted text, in UTF-16 units.
inline constexpr size_t kXfMaxFormattedLength = 4095;

// Fills a message template's numbered inserts from args and stores the
// result in *out:
//   %1 ... %99   argument n as %s (it must be text);
//   %n!conv!     argument n through the printf-style conversion conv
//                ("%1!d!", "%2!08X!"); a '*' in conv takes the arguments
//                after n;
//   %% %. %! %   the character after the '%';
//   %n           a line break "\n";
//   %0           ends the output.
// kXpErrBadArgument, and *out unchanged, for any other character after a
// '%', an insert number beyond args, an unterminated or empty conversion, or
// a conversion that does not match its argument; kXpErrBufferTooSmall when
// the result would be longer than kXfMaxFormattedLength.
[[nodiscard]] XpResult XfFormatMessageTo(const char16_t* pattern, XfFormatArgs args,
                                         std::u16string* out);

// printf-style formatting with the Windows wide-printf meanings, cut at
// kXfMaxFormattedLength units. kXpErrBadArgument, and *out unchanged, on a
// bad format or a missing or mismatched argument.
[[nodiscard]] XpResult XfFormatPrintfTo(const char16_t* format, XfFormatArgs args,
                                        std::u16string* out);
