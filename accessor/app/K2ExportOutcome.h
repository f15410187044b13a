#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"

// The result code of the export flow.
using ExportResult = XpResult;

// How an export, an import or a salvage ended, as start-up turns it into
// the exit status.
enum class K2ExportOutcome {
  kCompleted,
  kFailed,
  kCancelled,
};

// The program's exit status: done, failed or refused, cancelled.
inline constexpr int kK2ExitDone = 0;
inline constexpr int kK2ExitFailed = 1;
inline constexpr int kK2ExitCancelled = 2;

inline int K2ExitStatusOf(K2ExportOutcome outcome) {
  switch (outcome) {
    case K2ExportOutcome::kCompleted:
      return kK2ExitDone;
    case K2ExportOutcome::kCancelled:
      return kK2ExitCancelled;
    case K2ExportOutcome::kFailed:
      break;
  }
  return kK2ExitFailed;
}
