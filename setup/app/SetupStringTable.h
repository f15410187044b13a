#pragma once

#include <cstdint>

// setup's own texts, compiled in so that it can say that its files are
// missing. Only 142 and 143 are shown; the other rows are kept for
// completeness.
inline constexpr uint32_t kSetupStringOsNotSupported = 142;
inline constexpr uint32_t kSetupStringFilesMissing = 143;

// The text of a row; null for an id that has none.
const char16_t* SetupLoadString(uint32_t id);
