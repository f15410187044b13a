#include "accessor/dialogs/K2ProgressTexts.h"

#include <array>

#include "accessor/dialogs/K2FormatByteSize.h"
#include "framework/strings/XfStringLookup.h"

namespace {

struct ErrorRow {
  uint32_t code;
  K2ProgressError error;
};

constexpr std::array<ErrorRow, 15> kErrors = {{
    {0x8112, {u"Messages/Errors/CannotCreateFolderBecauseReadOnly", kK2IconExclamation}},
    {0x8113, {u"Messages/Errors/CannotCopyBecauseDiskFull", kK2IconExclamation}},
    {0xC000, {u"Messages/Errors/XdbAccessError", kK2IconExclamation}},
    {0xC001, {u"Messages/Errors/XdbCopyError", kK2IconExclamation}},
    {0xC002,
     {u"Messages/Errors/ProcessingWasDiscontinuedByTheReadingAttribute", kK2IconExclamation}},
    {0xC003, {u"Messages/Errors/CameraDisconnected", kK2IconHand}},
    {0xC004, {u"Messages/Errors/NotEnoughSpaceOnCamera", kK2IconExclamation}},
    {0xC005,
     {u"Messages/Errors/UnableToStartOperationBecauseOfTemporaryFolderWasNotFound",
      kK2IconExclamation}},
    {0xC006, {u"Messages/Warnings/NoNewImages", kK2IconInformation}},
    {0xC007, {u"Messages/Errors/DiskFull", kK2IconExclamation}},
    {0xC009, {u"Messages/Errors/NotEnoughSpaceOnCamera", kK2IconExclamation}},
    {0xC00B,
     {u"Messages/Errors/UnableToStartOperationBecauseOfTemporaryFolderWasNotFound",
      kK2IconExclamation}},
    {0xC00D, {u"Messages/Errors/CannotExportBecauseDCFError", kK2IconExclamation}},
    {kK2ErrorFreeSpaceDetail,
     {u"Messages/Errors/AbortOperationBecauseOfFreeSpaceSizeDetail", kK2IconExclamation}},
    // Not enough space on the PC for a salvage: the same text as 0xC007.
    {0xC00F, {u"Messages/Errors/DiskFull", kK2IconExclamation}},
}};

constexpr K2ProgressError kUnknownError = {u"Messages/Errors/UnkownError",
                                           kK2IconExclamation};

constexpr uint64_t kBytesPerFullSizeItem = 512000;
constexpr uint64_t kBytesPerReducedItem = 102400;

constexpr int64_t kMinutesPerHour = 60;
constexpr int64_t kTens = 10;

int32_t Narrow(int64_t value) { return static_cast<int32_t>(value); }

}  // namespace

K2ProgressError K2ProgressErrorFor(uint32_t code) {
  for (const ErrorRow& row : kErrors) {
    if (row.code == code) {
      return row.error;
    }
  }
  return kUnknownError;
}

XpString K2FreeSpaceDetailText(const XpString& temporaryRoot, uint64_t exportableCount,
                               bool fullSizeImages) {
  const uint64_t perItem = fullSizeImages ? kBytesPerFullSizeItem : kBytesPerReducedItem;
  const XpString title = XfGetString(u"UI/ExportProgress/0-0");
  const XpString needed = K2FormatByteSize(exportableCount * perItem);
  return XfFormatMessage(u"Messages/Errors/AbortOperationBecauseOfFreeSpaceSizeDetail",
                         temporaryRoot, title, needed);
}

XpString K2FormatRemainingTime(int64_t seconds, int64_t minutes) {
  // Only the low 32 bits of the seconds count.
  const int32_t lowSeconds = static_cast<int32_t>(static_cast<uint32_t>(seconds));
  const int64_t m = minutes - 1;
  if (lowSeconds == 0) {
    return XfFormatString(u"Format/Duration/SecL", int32_t{1});
  }
  if (m == 0) {
    return XfFormatString(u"Format/Duration/SecL", lowSeconds);
  }
  if (m < 0) {
    return XfGetString(u"Format/Duration/Calculating");
  }
  if (m < kTens) {
    return XfFormatString(u"Format/Duration/MinL", Narrow(m));
  }
  if (m < kMinutesPerHour) {
    return XfFormatString(u"Format/Duration/MinMinL", Narrow(m / kTens * kTens));
  }
  const int64_t hours = m / kMinutesPerHour;
  const int64_t rest = m % kMinutesPerHour;
  if (rest < kTens) {
    return XfFormatString(u"Format/Duration/HourL", Narrow(hours));
  }
  return XfFormatString(u"Format/Duration/HourMinL", Narrow(hours), Narrow(rest / kTens * kTens));
}
