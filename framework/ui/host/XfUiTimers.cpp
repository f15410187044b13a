#include "framework/ui/host/XfUiTimers.h"

#include <algorithm>

namespace {

constexpr uint32_t kMinimumIntervalMs = 1;

}  // namespace

void XfUiTimers::Set(XfUiTimerTarget* owner, uint32_t id, uint32_t intervalMs) {
  const uint32_t interval = std::max(intervalMs, kMinimumIntervalMs);
  const int64_t due = clock_.NowMs() + interval;
  auto timer = FindTimer(owner, id);
  if (timer != timers_.end()) {
    timer->interval = interval;
    timer->due = due;
    timer->order = nextOrder_++;
    return;
  }
  timers_.push_back(Timer{owner, id, interval, due, nextOrder_++});
}

void XfUiTimers::Kill(XfUiTimerTarget* owner, uint32_t id) {
  auto timer = FindTimer(owner, id);
  if (timer != timers_.end()) {
    timers_.erase(timer);
  }
}

void XfUiTimers::KillAll(XfUiTimerTarget* owner) {
  std::erase_if(timers_, [owner](const Timer& timer) { return timer.owner == owner; });
}

bool XfUiTimers::IsSet(const XfUiTimerTarget* owner, uint32_t id) const {
  return FindTimer(owner, id) != timers_.end();
}

uint32_t XfUiTimers::IntervalOf(const XfUiTimerTarget* owner, uint32_t id) const {
  auto timer = FindTimer(owner, id);
  return timer == timers_.end() ? 0 : timer->interval;
}

std::optional<int64_t> XfUiTimers::NextDue() const {
  if (timers_.empty()) {
    return std::nullopt;
  }
  auto earliest = std::min_element(timers_.begin(), timers_.end(),
                                   [](const Timer& a, const Timer& b) { return a.due < b.due; });
  return earliest->due;
}

bool XfUiTimers::FireOneDue() {
  auto timer = Earliest();
  const int64_t now = clock_.NowMs();
  if (timer == timers_.end() || timer->due > now) {
    return false;
  }
  timer->due += timer->interval;
  if (timer->due <= now) {
    timer->due = now + timer->interval;
  }
  timer->order = nextOrder_++;
  // The callback may set and kill timers, so nothing of the table is held.
  XfUiTimerTarget* owner = timer->owner;
  const uint32_t id = timer->id;
  owner->OnTimer(id);
  return true;
}

void XfUiTimers::Advance(XfUiVirtualClock& clock, int64_t ms) {
  const int64_t target = clock.NowMs() + std::max<int64_t>(ms, 0);
  for (;;) {
    const std::optional<int64_t> due = NextDue();
    if (!due || *due > target) {
      break;
    }
    clock.Set(*due);
    FireOneDue();
  }
  clock.Set(target);
}

std::vector<XfUiTimers::Timer>::iterator XfUiTimers::FindTimer(const XfUiTimerTarget* owner, uint32_t id) {
  return std::find_if(timers_.begin(), timers_.end(),
                      [owner, id](const Timer& timer) { return timer.owner == owner && timer.id == id; });
}

std::vector<XfUiTimers::Timer>::const_iterator XfUiTimers::FindTimer(const XfUiTimerTarget* owner,
                                                                     uint32_t id) const {
  return std::find_if(timers_.begin(), timers_.end(),
                      [owner, id](const Timer& timer) { return timer.owner == owner && timer.id == id; });
}

std::vector<XfUiTimers::Timer>::iterator XfUiTimers::Earliest() {
  return std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
    return a.due != b.due ? a.due < b.due : a.order < b.order;
  });
}
