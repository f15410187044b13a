#pragma once

#include <cstdint>

// The work a progress window follows: held while the user is asked whether
// to stop it, then resumed or stopped. Called from the UI thread.
class IK2ProgressTask {
 public:
  virtual ~IK2ProgressTask() = default;

  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // Final; the task reports its end afterwards.
  virtual void Stop() = 0;
  // The items the task writes, for the space a conversion needs; 0 when it
  // does not tell.
  virtual uint64_t GetExportableCount() const = 0;
};
