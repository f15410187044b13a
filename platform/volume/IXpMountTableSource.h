#pragma once

#include "platform/result/XpResult.h"
#include "platform/system/XpMountTable.h"

// Where a mount watcher reads the mount table and learns that it changed.
// Open, Read, WaitForChange and Close are called by the watcher; Interrupt
// may come from any thread.
class IXpMountTableSource {
 public:
  virtual ~IXpMountTableSource() = default;

  // Prepares for waiting; kXpErrSystem when the table cannot be opened. An
  // Interrupt from an earlier run is forgotten.
  [[nodiscard]] virtual XpResult Open() = 0;
  virtual void Close() = 0;
  // The table as it is now.
  [[nodiscard]] virtual XpResult Read(XpMountTable* table) = 0;
  // Blocks until the table may have changed (true) or until Interrupt
  // (false; so does a failure of the wait).
  virtual bool WaitForChange() = 0;
  // Ends the current or next WaitForChange.
  virtual void Interrupt() = 0;
};
