#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/result/XpResult.h"
#include "platform/sync/XpManualEvent.h"

class XpThread;

// A thread that polls: Run loops on WaitInterval until Stop. A derived class
// must call Stop in its own destructor, before its fields go away.
class XpAbstractWatchDog {
 public:
  static constexpr uint32_t kDefaultIntervalMs = 2000;
  // Shorter intervals are waited in milliseconds, never below this.
  static constexpr uint32_t kMinimumWaitMs = 10;

  explicit XpAbstractWatchDog(bool lowerPriority);
  XpAbstractWatchDog(const XpAbstractWatchDog&) = delete;
  XpAbstractWatchDog& operator=(const XpAbstractWatchDog&) = delete;
  // Stops a running thread.
  virtual ~XpAbstractWatchDog();

  virtual void SetInterval(uint32_t milliseconds);
  virtual uint32_t GetInterval() const;
  // kXpErrWrongState when running; kXpErrOutOfMemory when the thread cannot
  // be created.
  [[nodiscard]] virtual XpResult Start();
  // kXpErrWrongState when not running; else signals the thread and joins it.
  [[nodiscard]] virtual XpResult Stop();
  bool IsRunning() const;

  // What WaitInterval waits for the interval now set: whole seconds from
  // 1000 ms on, else the milliseconds but at least kMinimumWaitMs.
  uint32_t ComputeWaitMilliseconds() const;

 protected:
  // The thread's work; returns its exit code.
  virtual uint32_t Run() = 0;
  // Called by Start just before the thread is created.
  virtual void OnStarting() {}
  // Waits one interval; true when it passed, false when Stop was asked.
  virtual bool WaitInterval();

 private:
  static uint32_t ThreadEntry(void* argument);

  const bool lowerPriority_;
  XpManualEvent stopEvent_{false};
  mutable std::mutex threadMutex_;
  XpThread* thread_ = nullptr;
  std::atomic<uint32_t> intervalMs_{kDefaultIntervalMs};
};
