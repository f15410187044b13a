#pragma once

#include <cstdint>
#include <string>

namespace fakedsetup {

// Appends line and a newline to the file KAVO_FAKE_DSETUP_LOG names; nothing
// when it is unset.
void Record(const std::string& line);
// The number in the environment variable name; fallback when it is unset or
// empty.
int32_t EnvNumber(const char* name, int32_t fallback);
// "0x" and lower-case hex digits.
std::string Hex(uint32_t value);
// Decimal digits.
std::string Decimal(uint32_t value);
// The UTF-8 form of a UTF-16 text; "null" for a null one.
std::string Utf8(const char16_t* text);

}  // namespace fakedsetup
