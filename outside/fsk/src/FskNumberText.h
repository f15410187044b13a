#pragma once

#include <string>
#include <string_view>

// ECMAScript's conversions between numbers and text.
namespace fsknumber {

// Number::toString: "NaN", "Infinity", "-0" as "0", the shortest digits
// that read back as the same double, exponent form beyond 1e21 and below
// 1e-6.
std::string ToText(double number);
// StringToNumber: white space around is ignored, "" is 0, decimal with an
// optional exponent, 0x, 0o and 0b prefixes, "Infinity" with a sign; NaN
// for anything else. Independent of the locale.
double FromText(std::string_view text);

}  // namespace fsknumber
