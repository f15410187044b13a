#pragma once

#include <cstddef>
#include <cstdint>

struct FskMachine;

// Script objects as XML, in a form of our own, read and written through the
// platform's XML document layer (no network, no external entity or DTD,
// bounded entities):
//
//   <?xml version="1.0" encoding="utf-8"?>
//   <object><property><name>a</name><integer>1</integer></property>...</object>
//
// An object is an <object> element (an array an <array> element) with one
// <property> child per own property: first <name> (a named property) or
// <index> (an indexed one, 0 to 2^31 - 1), then its value. Values:
// <undefined/>, <null/>, <boolean>true</boolean>, <integer>-5</integer>,
// <number>1.5</number> (also NaN, Infinity, -Infinity), <string>text</string>,
// <date>milliseconds</date>, and nested <object> and <array>. Indexed
// properties come first, in index order, then named ones in insertion order;
// an array's length is not written, it follows from its items. Objects and
// arrays nest at most kFskXmlDepthLimit deep, the outer one counting 1.
// Functions and host objects cannot be written. Text passes as UTF-8;
// characters that XML 1.0 cannot carry come back as U+FFFD.

inline constexpr int32_t kFskXmlDepthLimit = 64;

// [grammar objects last to first, count] -> [object]. Parses size bytes of
// buffer; path and line name the text in error messages. The grammar
// objects and flag are accepted and not used. A text that is not of the
// form above, an entity reference or nesting deeper than the limit throws a
// SyntaxError.
void fxParseBuffer(FskMachine* the, const void* buffer, size_t size, const char* path, int32_t line,
                   int32_t flag);

// [object] -> []. Returns the length in bytes of the object's XML text; when
// buffer is not null also writes the text there (not NUL-terminated), and a
// size below the length throws a RangeError without writing. The same object
// gives the same length in both passes. flag is accepted and not used.
size_t fxSerializeBuffer(FskMachine* the, void* buffer, size_t size, int32_t flag);
