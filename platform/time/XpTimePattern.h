#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Builds the strftime pattern for a time of day shown to people from the
// locale's time formats (T_FMT and T_FMT_AMPM). %T, %R and %r are first
// expanded into their fields. Style 0 leaves the hour only, style 1 the hour
// and minutes, any other style the whole time; removing a field also
// removes its separator or unit. A 12-hour pattern keeps its %p; force24h
// shows the hour as %H and drops %p.
std::string XpTimePattern(std::string_view timeFormat, std::string_view amPmFormat,
                          int32_t style, bool force24h);
