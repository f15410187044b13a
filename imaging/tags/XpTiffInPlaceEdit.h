#pragma once

#include <cstdint>

#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"
#include "platform/time/XpDateTime.h"

// Edits of a TIFF block inside an open file that overwrite a value where it
// lies, with the same length: nothing is inserted, moved or resized. The
// block starts at the absolute position base; its offsets count from there
// and its numbers are in the byte order of its header. Every write is
// flushed at once, an edit that wrote into a file on disk (XpFile) syncs it
// before it returns, and a change already made stays when a later step
// fails. A failed sync is the edit's result.
//
// Results: kXpOk, kXpErrImageNoTiffBlock when the header is not valid or
// IFD 0 lies at the end of the file, kXpErrImageTagNotFound when an IFD or
// tag on the path is missing or has another type or count (where an
// operation reports it), else the failing read or write result.

// Searches the IFD at the absolute position ifdPosition for an entry with
// the tag, the type or (when not 0) the alternative type, and a count from
// lowestCount to highestCount. Unless the value is inline, all of its bytes
// must lie inside the file. Returns base + the entry's value field, with
// the entry's index in *index; 0, and -1 in *index, when nothing matches or
// the IFD cannot be read. index may be null.
int64_t XpTiffFindEntryInFile(XpAbstractFile& file, int64_t ifdPosition, bool bigEndian,
                              int64_t base, uint16_t tag, uint16_t type, uint16_t alternativeType,
                              uint32_t lowestCount, uint32_t highestCount, bool valueIsInline,
                              int32_t* index);

// The result of an edit of IFD 0 followed by one of IFD 1: the second
// result when it is neither kXpOk nor kXpErrImageTagNotFound, else the
// first.
[[nodiscard]] XpResult XpTiffCombineEditResults(XpResult first, XpResult second);

// Turns the Orientation (SHORT, count 1) of IFD 0 by quarter turns (negative
// ones allowed), starting from upright when fromUpright is set; then that
// of IFD 1, when IFD 0 was turned and links to one. A missing Orientation
// is kXpErrImageTagNotFound; one missing in IFD 1 alone is not reported.
[[nodiscard]] XpResult XpTiffRotateOrientationInFile(XpAbstractFile& file, int64_t base,
                                                     int32_t quarterTurns, bool fromUpright);

// Writes date into DateTime (ASCII, count 20) of IFD 0 and IFD 1 as
// "YYYY:MM:DD hh:mm:ss" and a NUL; results combine as for the orientation.
// When all went well and setFileTime is set, the file's modification time
// becomes date too. A date that is not valid is kXpErrBadArgument.
[[nodiscard]] XpResult XpTiffWriteDateInFile(XpAbstractFile& file, int64_t base,
                                             const XpDateTime& date, bool setFileTime);

// Writes date into the ASCII count-20 tag of the Exif IFD. A missing Exif
// IFD or tag leaves the file as it is and gives kXpOk.
[[nodiscard]] XpResult XpTiffWriteExifDateInFile(XpAbstractFile& file, int64_t base, uint16_t tag,
                                                 const XpDateTime& date);

// Writes ColorSpace (SHORT, count 1) of the Exif IFD; kXpOk when missing.
[[nodiscard]] XpResult XpTiffWriteColorSpaceInFile(XpAbstractFile& file, int64_t base,
                                                   uint16_t value);

// Reads (write false) or writes the LONG of maker-note tag 0x2002. A
// missing Exif IFD, maker note, marker or tag is kXpErrImageTagNotFound.
[[nodiscard]] XpResult XpTiffAccessMakerLongInFile(XpAbstractFile& file, int64_t base, bool write,
                                                   uint32_t& value);

// Writes the LONG of tag 0x88 in the maker-note IFD that tag 0xB028 points
// at; kXpOk when anything on the path is missing.
[[nodiscard]] XpResult XpTiffSetMakerSubValueInFile(XpAbstractFile& file, int64_t base,
                                                    uint32_t value);

// Gives maker-note tag 0x2001 (UNDEFINED) a new count and value offset;
// kXpOk when anything on the path is missing. The new value must lie inside
// the file (base + offset + count at most its size), else
// kXpErrImageTagNotFound and nothing is written.
[[nodiscard]] XpResult XpTiffSetMakerTag2001InFile(XpAbstractFile& file, int64_t base,
                                                   uint32_t offset, uint32_t count);
