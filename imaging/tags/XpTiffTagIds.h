#pragma once

#include <cstdint>

// Tags that the tag model itself treats specially.
inline constexpr uint16_t kXpTiffTagSubIFDs = 330;
inline constexpr uint16_t kXpTiffTagMakerTag2001 = 0x2001;
inline constexpr uint16_t kXpTiffTagExifIFD = 0x8769;
inline constexpr uint16_t kXpTiffTagGpsIFD = 0x8825;
inline constexpr uint16_t kXpTiffTagMakerNote = 37500;
inline constexpr uint16_t kXpTiffTagInteropIFD = 0xA005;
inline constexpr uint16_t kXpTiffTagB028IFD = 0xB028;

// Whether a LONG value of the tag points at IFDs and is held as a sub-IFD
// value.
inline bool XpTiffIsPointerTag(uint16_t tag) {
  switch (tag) {
    case kXpTiffTagSubIFDs:
    case kXpTiffTagExifIFD:
    case kXpTiffTagGpsIFD:
    case kXpTiffTagMakerNote:
    case kXpTiffTagInteropIFD:
    case kXpTiffTagB028IFD:
      return true;
    default:
      return false;
  }
}

// The 12 bytes in front of a maker-note IFD: "KAVO DSC " and three zeros.
inline constexpr uint32_t kXpTiffMakerNoteMarkerSize = 12;
inline constexpr uint8_t kXpTiffMakerNoteMarker[kXpTiffMakerNoteMarkerSize] = {
    'K', 'A', 'V', 'O', ' ', 'D', 'S', 'C', ' ', 0, 0, 0};
