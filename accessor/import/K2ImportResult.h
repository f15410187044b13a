#pragma once

#include "accessor/task/K2ExportResult.h"
#include "platform/result/XpResult.h"

// Result codes of an import, beside the platform's and the export's own.
// The camera's album database lists nothing to import.
inline constexpr XpResult kK2ErrNothingToImport = 0xC006;
// The destination drive has not enough free space for the import.
inline constexpr XpResult kK2ErrImportDiskFull = 0xC007;
// The destination drive has not enough free space for the salvage.
inline constexpr XpResult kK2ErrSalvageDiskFull = 0xC00F;
