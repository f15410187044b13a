#pragma once

#include <cstddef>
#include <cstdint>

// Text conversions of the album database glue.

// Converts NUL-terminated UTF-16 text (null reads as empty) to UTF-8 in a
// new buffer from FskMemPtrNew, released with FskMemPtrDispose. Surrogate
// escapes of undecodable bytes turn back into those bytes, so a native path
// reaches the runtime byte for byte. 0, or -1 with *out null when the
// buffer could not be made.
int32_t XdbToUtf8(const char16_t* text, char** out);

// Converts NUL-terminated UTF-8 text (null reads as empty) to UTF-16 in a
// new buffer from malloc that belongs to the caller (release with free).
// Every byte that is not part of a valid sequence becomes U+FFFD; the text
// is always terminated. 0, or -1 with *out null when the buffer could not
// be made.
int32_t XdbFromUtf8(const char* text, char16_t** out);

// For tests: the allocators behind the two conversions. Each setter takes
// null for the default (FskMemPtrNew, malloc) and returns the previous one.
using XdbUtf8Allocator = int32_t (*)(size_t size, void** out);
using XdbUtf16Allocator = void* (*)(size_t size);
XdbUtf8Allocator XdbSetUtf8Allocator(XdbUtf8Allocator allocator);
XdbUtf16Allocator XdbSetUtf16Allocator(XdbUtf16Allocator allocator);
