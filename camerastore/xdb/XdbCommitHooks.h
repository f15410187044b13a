#pragma once

#include <cstdint>
#include <functional>

#include "platform/sync/XpWaitClock.h"

namespace XdbAccessor {

// The pause between two tries of a folder step, and a test's view of the
// steps of the work copy and the folder swap. Both are process wide.

using XdbStepObserver = std::function<void(const char* step)>;

// Installs the clock whose SleepFor makes the pauses (null restores the
// real one); returns the previous.
XpWaitClock* XdbSetWaitClock(XpWaitClock* clock);
// Installs an observer (empty removes it); returns the previous.
XdbStepObserver XdbSetStepObserver(XdbStepObserver observer);

void XdbSleep(uint32_t milliseconds);
// Tells the observer, if any, that step comes next (or, for a file of the
// work copy, has just been done).
void XdbObserveStep(const char* step);

// Step names.
inline constexpr char kXdbStepFactoryRemoveBackup[] = "factory.removeBackup";
inline constexpr char kXdbStepFactoryRemoveWorkCopy[] = "factory.removeWorkCopy";
inline constexpr char kXdbStepFactoryRestoreWorkCopy[] = "factory.restoreWorkCopy";
inline constexpr char kXdbStepFactoryRestoreBackup[] = "factory.restoreBackup";
inline constexpr char kXdbStepWorkCopyFile[] = "workCopy.file";
inline constexpr char kXdbStepSwapSyncWorkCopy[] = "swap.syncWorkCopy";
inline constexpr char kXdbStepSwapExchange[] = "swap.exchange";
inline constexpr char kXdbStepSwapRemoveOldCopy[] = "swap.removeOldCopy";
inline constexpr char kXdbStepSwapRemoveOldBackup[] = "swap.removeOldBackup";
inline constexpr char kXdbStepSwapDatabaseToBackup[] = "swap.databaseToBackup";
inline constexpr char kXdbStepSwapWorkCopyToDatabase[] = "swap.workCopyToDatabase";
inline constexpr char kXdbStepSwapRemoveBackup[] = "swap.removeBackup";
inline constexpr char kXdbStepSwapReopen[] = "swap.reopen";

}  // namespace XdbAccessor
