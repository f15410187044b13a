#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/result/XpResult.h"

// Lanczos resizing of BGR 24-bit pixmaps (with or without a bitmap
// handle): a horizontal pass, then a vertical one, each reducing or
// enlarging with the three-lobe Lanczos filter in Q16, results clamped to
// bytes. A direction whose length stays is copied.

// Resizes the pixmap in place, in this order: kXpErrGeneric for a pixmap
// without pixels or of another kind; kXpOk, nothing changed, at the current
// size; kXpErrGeneric for a width or height below 1. On a failed
// allocation the result is kXpErrOutOfMemory and the pixmap keeps its size
// and pixels.
[[nodiscard]] XpResult XpPixmapResizeLanczos(XpPixmapBase& pixmap, int32_t width, int32_t height);

// Resizes source into destination at the destination's size; the
// destination keeps its block. In this order: kXpErrGeneric for a source
// without pixels or a pixmap of another kind; at the same size the block
// is copied, kXpOk; kXpErrGeneric for a destination width or height below
// 1; kXpErrOutOfMemory when a temporary cannot be allocated.
[[nodiscard]] XpResult XpPixmapResizeLanczosInto(XpPixmapBase& destination,
                                                 const XpPixmapBase& source);
