#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The user's language as a Windows locale identifier (LCID), and the
// installer transform it selects.

inline constexpr uint32_t kSetupDefaultLcid = 1033;

// The user's POSIX locale: the first non-empty of LC_ALL, LC_MESSAGES and
// LANG; "" when none is set.
std::string SetupUserLocaleFromEnvironment();

// The LCID of a POSIX locale "ll_TT[.codeset][@modifier]": the name with
// its modifier, else without it, else the language alone (its primary
// LCID). "C", "POSIX", "" and unknown names give 1033.
uint32_t SetupLcidFromLocale(std::string_view locale);

// The transform number of lcid: 0 for Japanese (no transform), the
// language's own number for the languages the product ships, 1033 for every
// other identifier. Always true.
bool UserLanguageTransform(uint32_t lcid, uint32_t* number);
