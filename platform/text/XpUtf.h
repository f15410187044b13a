#pragma once

#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 with surrogate escape: every byte that does not decode
// becomes U+DC80+(byte-0x80) and turns back into that byte on encoding, so
// any Linux file name survives a round trip. Decoding is strict (no overlong
// forms, no encoded surrogates, nothing above U+10FFFF). Any other unpaired
// surrogate encodes as U+FFFD.
std::u16string XpUtf8ToUtf16(std::string_view bytes);
std::string XpUtf16ToUtf8(std::u16string_view units);
