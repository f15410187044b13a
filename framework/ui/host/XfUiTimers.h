#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "framework/ui/host/XfUiClock.h"

// Something that owns timers: a dialog presenter, a progress bar, a back end.
class XfUiTimerTarget {
 public:
  virtual void OnTimer(uint32_t id) = 0;

 protected:
  ~XfUiTimerTarget() = default;
};

// The timers of the UI thread: periodic, keyed by owner and id, fired one at
// a time in due order (ties in the order they were set). Setting a timer
// that exists restarts it with the new interval. A timer that falls behind
// the clock fires once and is then due one interval later, so it never
// fires in a burst. Used on the UI thread only.
class XfUiTimers {
 public:
  explicit XfUiTimers(const XfUiClock& clock) : clock_(clock) {}
  XfUiTimers(const XfUiTimers&) = delete;
  XfUiTimers& operator=(const XfUiTimers&) = delete;

  // An interval of 0 counts as 1 ms.
  void Set(XfUiTimerTarget* owner, uint32_t id, uint32_t intervalMs);
  void Kill(XfUiTimerTarget* owner, uint32_t id);
  void KillAll(XfUiTimerTarget* owner);
  bool IsSet(const XfUiTimerTarget* owner, uint32_t id) const;
  // The interval of a set timer; 0 when it is not set.
  uint32_t IntervalOf(const XfUiTimerTarget* owner, uint32_t id) const;
  size_t Count() const { return timers_.size(); }

  // When the earliest timer is due; nothing without timers.
  std::optional<int64_t> NextDue() const;
  // Fires the earliest timer that is due at the clock's time. False when
  // none is due.
  bool FireOneDue();
  // Moves a virtual clock forward by ms, firing every timer that falls due
  // on the way, each at its own due time, in due order.
  void Advance(XfUiVirtualClock& clock, int64_t ms);

 private:
  struct Timer {
    XfUiTimerTarget* owner;
    uint32_t id;
    uint32_t interval;
    int64_t due;
    uint64_t order;
  };

  std::vector<Timer>::iterator FindTimer(const XfUiTimerTarget* owner, uint32_t id);
  std::vector<Timer>::const_iterator FindTimer(const XfUiTimerTarget* owner, uint32_t id) const;
  std::vector<Timer>::iterator Earliest();

  const XfUiClock& clock_;
  std::vector<Timer> timers_;
  uint64_t nextOrder_ = 0;
};
