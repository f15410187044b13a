#pragma once

#include <cstdint>

// The format of a file as a 32-bit code. The top four bits are the family
// (1 picture, 2 movie, 8 folder or side file); bit 29 marks every movie kind.
using XpFormatKind = uint32_t;

inline constexpr XpFormatKind kXpKindUnknown = 0x01000000;

inline constexpr XpFormatKind kXpKindJpegByName = 0x10000100;
inline constexpr XpFormatKind kXpKindJpeg = 0x10000101;
inline constexpr XpFormatKind kXpKindJpegMarked = 0x10000102;
// Pictures with a companion movie; only the DCF objects assign them.
inline constexpr XpFormatKind kXpKindJpegWithMovie = 0x10000103;
inline constexpr XpFormatKind kXpKindJpegWithMovieMarked = 0x10000104;
inline constexpr XpFormatKind kXpKindJpegThumbnail = 0x10000105;
inline constexpr XpFormatKind kXpKindTiff = 0x10000201;
inline constexpr XpFormatKind kXpKindGif = 0x10000301;
inline constexpr XpFormatKind kXpKindZkp = 0x10010401;
inline constexpr XpFormatKind kXpKindZk2 = 0x10010402;
inline constexpr XpFormatKind kXpKindMrw = 0x10020401;
inline constexpr XpFormatKind kXpKindZkwByName = 0x10030400;
inline constexpr XpFormatKind kXpKindZkwModel = 0x10030401;
inline constexpr XpFormatKind kXpKindZkwOther = 0x10030402;

inline constexpr XpFormatKind kXpKindAnimatedGif = 0x20000301;
inline constexpr XpFormatKind kXpKindMpegByName = 0x20001100;
inline constexpr XpFormatKind kXpKindMpeg1 = 0x20011101;
inline constexpr XpFormatKind kXpKindMpeg2ByName = 0x20021100;
inline constexpr XpFormatKind kXpKindMpeg2 = 0x20021101;
inline constexpr XpFormatKind kXpKindMpeg2Tshv = 0x20021102;
inline constexpr XpFormatKind kXpKindMmv = 0x20021103;
inline constexpr XpFormatKind kXpKindMpeg2Hdmv = 0x20021104;
inline constexpr XpFormatKind kXpKindMp4ByName = 0x20031100;
inline constexpr XpFormatKind kXpKindMp4Type1 = 0x20031101;
inline constexpr XpFormatKind kXpKindMp4Type2 = 0x20031102;
inline constexpr XpFormatKind kXpKindAviByName = 0x20001200;
// Offered to the movie plug-ins only; never produced from a file.
inline constexpr XpFormatKind kXpKindAviPlugin = 0x20001201;
inline constexpr XpFormatKind kXpKindDvAvi = 0x20001202;
inline constexpr XpFormatKind kXpKindCameraMjpegAvi = 0x20001203;
inline constexpr XpFormatKind kXpKindWmv = 0x20001301;

inline constexpr XpFormatKind kXpKindDirectory = 0x80000001;
inline constexpr XpFormatKind kXpKindMovieSideFile = 0x80000002;
inline constexpr XpFormatKind kXpKindMoffSideFile = 0x80000003;
inline constexpr XpFormatKind kXpKindVmltSideFile = 0x80003101;
inline constexpr XpFormatKind kXpKindVmlfSideFile = 0x80003102;

// The bit that every movie kind carries.
inline constexpr XpFormatKind kXpKindMovieBit = 0x20000000;

inline constexpr bool XpIsMovieKind(XpFormatKind kind) { return (kind & kXpKindMovieBit) != 0; }
