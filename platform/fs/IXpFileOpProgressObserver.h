#pragma once

#include <atomic>
#include <cstdint>

#include "platform/text/XpString.h"

// The progress observer of the file operations. The caller derives from it
// and owns it; the operations write the fields below while they run and call
// OnFileOpProgress on the caller's thread.
class IXpFileOpProgressObserver {
 public:
  IXpFileOpProgressObserver() = default;
  IXpFileOpProgressObserver(const IXpFileOpProgressObserver&) = delete;
  IXpFileOpProgressObserver& operator=(const IXpFileOpProgressObserver&) = delete;
  virtual ~IXpFileOpProgressObserver();

  // percent is 0.0 to 100.0; true asks the running operation to stop.
  virtual bool OnFileOpProgress(double percent) = 0;

  // The item being processed, and where it goes.
  XpString source;
  XpString destination;
  // The last percentage an operation stored.
  double percent = 0.0;
  // Entries finished, and entries to do (0: not known yet).
  int64_t doneCount = 0;
  int64_t totalCount = 0;
  // Non-zero cancels the single-file copies. The copies store the
  // observer's last answer here; once set it stays set, so every later copy
  // of the same walk is cancelled too. Another thread may set it.
  std::atomic<int32_t> stopFlag{0};
};
