#pragma once

#include <cstdint>

// Hears how an importer module's program ended, for a destination choice.
class ISfImporterModuleObserver {
 public:
  virtual ~ISfImporterModuleObserver() = default;
  // The program's exit code (XpProcess::kStillActive when the wait was
  // given up while it still ran).
  virtual void OnModuleExited(uint32_t exitCode) = 0;
};
