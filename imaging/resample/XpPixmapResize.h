#pragma once

#include <cstdint>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/result/XpResult.h"

// Resizing of BGR 24-bit (with or without a bitmap handle) and BGRA 32-bit
// pixmaps, every channel alike, alpha included. A source twice or three
// times the target in both directions is box-averaged; otherwise a
// horizontal pass and then a vertical one each take, by the lengths s and
// t along their direction: a copy (s = t), the pair average (s = 2t), the
// exact area average (s > t), the repetition of a single pixel (s = 1) or
// the cubic enlargement. Averages truncate.

// Resizes the pixmap in place, in this order: kXpErrGeneric for a pixmap
// without pixels or of another kind; kXpOk, nothing changed, at the current
// size; kXpErrGeneric for a width or height below 1. The new pixels are
// built aside and take the old ones' place only when everything
// succeeded: on a failed allocation the result is kXpErrOutOfMemory and
// the pixmap keeps its size and pixels.
[[nodiscard]] XpResult XpPixmapResize(XpPixmapBase& pixmap, int32_t width, int32_t height);

// Resizes source into destination at the destination's size; the
// destination keeps its block. In this order: kXpErrGeneric for a source
// without pixels or pixmaps of different or other kinds; at the same size
// the block is copied, kXpOk; kXpErrGeneric for a destination width or
// height below 1 (a destination without pixels); kXpErrOutOfMemory when a
// temporary cannot be allocated.
[[nodiscard]] XpResult XpPixmapResizeInto(XpPixmapBase& destination, const XpPixmapBase& source);
