#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 with surrogate escape: every byte that does not decode
// becomes U+DC80+(byte-0x80) and turns back into that byte on encoding, so
// any Linux file name survives a round trip. Decoding is strict (no overlong
// forms, no encoded surrogates, nothing above U+10FFFF). Any other unpaired
// surrogate encodes as U+FFFD.
std::u16string XpUtf8ToUtf16(std::string_view bytes);
std::string XpUtf16ToUtf8(std::u16string_view units);

// The byte count a lead byte announces: 2 to 4 for a byte that can begin a
// strict multi-byte sequence, 1 for any other byte.
size_t XpUtf8SequenceLength(unsigned char lead);
// Decodes the strict sequence at the start of bytes into codePoint. Returns
// its length, or 0 when bytes is empty or does not start with a whole valid
// sequence; codePoint is then unspecified.
size_t XpUtf8DecodeOne(std::string_view bytes, char32_t& codePoint);
// Appends a code point up to U+10FFFF as one unit or a surrogate pair.
void XpUtf16Append(std::u16string& out, char32_t codePoint);
// The surrogate escape that stands for a byte that did not decode.
char16_t XpUtf16EscapeOf(unsigned char byte);
bool XpUtf16IsEscape(char16_t unit);
bool XpUtf16IsHighSurrogate(char16_t unit);
bool XpUtf16IsLowSurrogate(char16_t unit);
