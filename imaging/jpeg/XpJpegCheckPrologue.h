#pragma once

#include <cstdint>

#include "imaging/jpeg/XpJpegHeadReader.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"

// Checks the start of a JPEG stream at the file's position: the SOI marker,
// then a chain of APPn segments, each skipped by its length, up to the
// first marker that is not APPn. kXpErrImageNoTiffBlock when the stream
// does not begin with SOI or a marker does not begin with FF; the result of
// a failing read or seek as it is. Leaves the file inside the stream: on
// success just after the first marker that is not APPn.
// A segment length below 2 breaks the chain (kXpErrImageNoTiffBlock), and
// one that runs past the end of the file ends it with kXpErrEndOfFile.
// The head is read through an XpJpegHeadReader.
[[nodiscard]] XpResult XpJpegCheckPrologue(XpAbstractFile& file);
// The same check from the head reader's position; the reader, not the
// file, stands after that marker.
[[nodiscard]] XpResult XpJpegCheckPrologue(XpJpegHeadReader& head);

// Reads a two-byte marker or segment length, big-endian.
[[nodiscard]] XpResult XpJpegReadWord(XpAbstractFile& file, uint16_t& word);

// Skips the rest of a segment: count bytes forward from the position.
// kXpErrImageNoTiffBlock for a negative count; kXpErrEndOfFile when the
// target lies past the end of the file (when its size is known).
[[nodiscard]] XpResult XpJpegSkipForward(XpAbstractFile& file, int64_t count);

// Whether a marker code is one of APP0 to APP15.
bool XpJpegIsAppMarker(uint16_t marker);
