#pragma once

#include <cstdint>

// The accessor's mode: it chooses the caption of every message box. Any
// value outside the table is the neutral mode.
enum AccessorMode : int32_t {
  kAccessorModeNeutral = 0,
  kAccessorModeImportConfirm = 256,
  kAccessorModeImportProgress = 257,
  kAccessorModeExportConfirm = 512,
  kAccessorModeExportProgress = 513,
  kAccessorModeSalvageReport = 768,
  kAccessorModeSalvageProgress = 769,
};
