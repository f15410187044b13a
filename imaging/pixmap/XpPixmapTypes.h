#pragma once

#include "imaging/pixmap/XpPixel.h"
#include "imaging/pixmap/XpPixmap.h"
#include "imaging/pixmap/XpPlane.h"
#include "platform/memory/XpBitmapAllocator.h"
#include "platform/memory/XpDefaultAllocator.h"

using XpPlaneDescBGR = XpPlaneDesc<XpPixelBGR<unsigned char>, 4, 1, 1>;
using XpPlaneDescBGRA = XpPlaneDesc<XpPixelBGRA<unsigned char>, 4, 1, 1>;
using XpPlaneDescNull4 = XpPlaneDesc<XpPixelNull<unsigned char>, 4, kXpSubsamplingEmpty, kXpSubsamplingEmpty>;
using XpPlaneDescYCbCr = XpPlaneDesc<XpPixelYCbCr<unsigned char>, 1, 1, 1>;
using XpPlaneDescY = XpPlaneDesc<XpPixelY<unsigned char>, 1, 1, 1>;
using XpPlaneDescCb = XpPlaneDesc<XpPixelCb<unsigned char>, 1, 2, 2>;
using XpPlaneDescCr = XpPlaneDesc<XpPixelCr<unsigned char>, 1, 2, 2>;
using XpPlaneDescNull1 = XpPlaneDesc<XpPixelNull<unsigned char>, 1, kXpSubsamplingEmpty, kXpSubsamplingEmpty>;

// BGR 24-bit, top-down rows padded to 4 bytes, with a bitmap handle.
using XpPixmapBGR24 = XpPixmap<
    XpPixmapDesc<XpBitmapAllocator24, XpPlaneDescBGR, XpPlaneDescNull4, XpPlaneDescNull4, XpPlaneDescNull4>>;
// BGR 24-bit without a handle: the general working format.
using XpPixmapBGR24NoHandle = XpPixmap<XpPixmapDesc<XpBitmapAllocator24NoHandle, XpPlaneDescBGR,
                                                    XpPlaneDescNull4, XpPlaneDescNull4, XpPlaneDescNull4>>;
// BGRA 32-bit with a bitmap handle.
using XpPixmapBGRA32 = XpPixmap<
    XpPixmapDesc<XpBitmapAllocator32, XpPlaneDescBGRA, XpPlaneDescNull4, XpPlaneDescNull4, XpPlaneDescNull4>>;
// Interleaved Y, Cb, Cr, unpadded rows.
using XpPixmapYCbCr444 = XpPixmap<
    XpPixmapDesc<XpDefaultAllocator, XpPlaneDescYCbCr, XpPlaneDescNull1, XpPlaneDescNull1, XpPlaneDescNull1>>;
// Planar Y, Cb, Cr with chroma subsampled 2 x 2.
using XpPixmapYCbCr420 =
    XpPixmap<XpPixmapDesc<XpDefaultAllocator, XpPlaneDescY, XpPlaneDescCb, XpPlaneDescCr, XpPlaneDescNull1>>;
