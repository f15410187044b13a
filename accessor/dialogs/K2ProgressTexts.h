#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Message box icons of the progress window's errors.
inline constexpr uint32_t kK2IconHand = 0x10;
inline constexpr uint32_t kK2IconExclamation = 0x30;
inline constexpr uint32_t kK2IconInformation = 0x40;

// The error code whose text the progress window fills in with the
// temporary folder's root, the title and the space needed.
inline constexpr uint32_t kK2ErrorFreeSpaceDetail = 0xC00E;

// The message of a task's error code and its box style.
struct K2ProgressError {
  const char16_t* key;
  uint32_t style;
};
K2ProgressError K2ProgressErrorFor(uint32_t code);

// The text of kK2ErrorFreeSpaceDetail: "%1" the root of the temporary
// folder, "%2" the export title, "%3" the space the conversion needs, per
// exportable item 512,000 bytes for full-size images and 102,400 bytes
// otherwise. Filled in one pass, so a "%" in the root stays as it is.
XpString K2FreeSpaceDetailText(const XpString& temporaryRoot, uint64_t exportableCount,
                               bool fullSizeImages);

// The remaining time as the progress window shows it, from the model's
// estimate in seconds and in started minutes (-1 when there is none).
XpString K2FormatRemainingTime(int64_t seconds, int64_t minutes);
