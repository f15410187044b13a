#pragma once

#include <cstdint>

#include "imaging/tags/XpTiffTagManager.h"
#include "platform/result/XpResult.h"

// Typed reads of one tag value for the picture readers. Each answers
// kXpOk with element 0 of the value, or kXpErrImageTagNotFound when the IFD
// or the tag is missing, the value has another type or no element;
// kXpErrBadArgument for a null output.

// A LONG value, in ifd and, with recurse, in the IFDs below it.
[[nodiscard]] XpResult XpImageIoGetLongTag(const XpTiffTagIFD* ifd, uint16_t tag, uint32_t* value,
                                           bool recurse);
// A SHORT or LONG value as 32 bits.
[[nodiscard]] XpResult XpImageIoGetShortOrLongTag(const XpTiffTagIFD* ifd, uint16_t tag,
                                                  uint32_t* value, bool recurse);

// The same in top-level IFD ifdIndex of the tree itself, not below it.
[[nodiscard]] XpResult XpImageIoGetLongTag(const XpTiffTagManager* tags, uint16_t tag,
                                           int32_t ifdIndex, uint32_t* value);
[[nodiscard]] XpResult XpImageIoGetShortOrLongTag(const XpTiffTagManager* tags, uint16_t tag,
                                                  int32_t ifdIndex, uint32_t* value);
