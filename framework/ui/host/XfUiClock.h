#pragma once

#include <atomic>
#include <cstdint>

// The clock that the UI host's timers run on, in milliseconds.
class XfUiClock {
 public:
  virtual ~XfUiClock() = default;
  virtual int64_t NowMs() const = 0;
  // True for a clock that moves only when told to.
  virtual bool IsVirtual() const = 0;
};

// The steady clock of the machine, as XpWaitClock::Real reads it.
class XfUiSteadyClock final : public XfUiClock {
 public:
  int64_t NowMs() const override;
  bool IsVirtual() const override { return false; }
};

// A clock that starts at 0 and moves only through Set: the scripted back end
// and tests use it, so that timers fire at exact, repeatable times.
class XfUiVirtualClock final : public XfUiClock {
 public:
  int64_t NowMs() const override { return now_.load(std::memory_order_acquire); }
  bool IsVirtual() const override { return true; }
  // Never moves backwards.
  void Set(int64_t ms);

 private:
  std::atomic<int64_t> now_{0};
};
