#include "platform/sync/XpNamedObject.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>

#include "platform/sync/XpNamedObjectPath.h"
#include "platform/sync/XpNamedObjectTable.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr std::chrono::milliseconds kPollInterval(10);
constexpr std::chrono::milliseconds kShortestPoll(1);
constexpr XpResult kSemaphoreFull = kXpErrSync;

std::chrono::milliseconds PollDelay(const XpDeadline& deadline, XpWaitClock& clock) {
  if (deadline.IsInfinite()) return kPollInterval;
  const auto remaining =
      std::chrono::ceil<std::chrono::milliseconds>(deadline.When() - clock.Now());
  return std::clamp(remaining, kShortestPoll, kPollInterval);
}

}  // namespace

XpNamedObject::~XpNamedObject() { Close(); }

XpResult XpNamedObject::CreateMutex(const XpString& name, bool initiallyOwned,
                                    bool* alreadyExisted) {
  return Create(name, XpNamedObjectKind::kMutex, initiallyOwned, 0, 0, alreadyExisted);
}

XpResult XpNamedObject::CreateEvent(const XpString& name, bool initiallySet, bool* alreadyExisted) {
  return Create(name, XpNamedObjectKind::kEvent, false, initiallySet ? 1 : 0, 1, alreadyExisted);
}

XpResult XpNamedObject::CreateSemaphore(const XpString& name, uint32_t initialCount,
                                        uint32_t maximum, bool* alreadyExisted) {
  if (maximum == 0 || initialCount > maximum) return kXpErrBadArgument;
  return Create(name, XpNamedObjectKind::kSemaphore, false, initialCount, maximum,
                alreadyExisted);
}

XpResult XpNamedObject::Create(const XpString& name, XpNamedObjectKind kind, bool initiallyOwned,
                               uint32_t value, uint32_t maximum, bool* alreadyExisted) {
  Close();
  XpNamedObjectLocation location;
  XpResult result = XpNamedObjectLocate(name, kind, &location);
  if (result != kXpOk) return result;
  XpNamedObjectInit init;
  init.kind = kind;
  init.initiallyOwned = initiallyOwned;
  init.state.value = value;
  init.state.maximum = maximum;
  bool existed = false;
  result = XpNamedObjectTable::Instance().Create(location, init, &record_, &existed);
  if (result != kXpOk) {
    record_ = nullptr;
    return result;
  }
  if (alreadyExisted != nullptr) *alreadyExisted = existed;
  return kXpOk;
}

XpResult XpNamedObject::Open(const XpString& name, XpNamedObjectKind kind) {
  Close();
  XpNamedObjectLocation location;
  XpResult result = XpNamedObjectLocate(name, kind, &location);
  if (result != kXpOk) return result;
  result = XpNamedObjectTable::Instance().Open(location, kind, &record_);
  if (result != kXpOk) record_ = nullptr;
  return result;
}

void XpNamedObject::Close() {
  if (record_ == nullptr) return;
  XpNamedObjectTable::Instance().Close(record_);
  record_ = nullptr;
}

XpNamedObjectKind XpNamedObject::GetKind() const {
  return record_ != nullptr ? record_->kind : XpNamedObjectKind::kMutex;
}

XpResult XpNamedObject::Wait(uint32_t seconds) {
  return WaitUntil(XpDeadline::AfterSeconds(seconds, *clock_));
}

XpResult XpNamedObject::WaitUntil(const XpDeadline& deadline) {
  if (record_ == nullptr || !XpNamedObjectTable::IsUsable(record_)) return kXpErrInvalidHandle;
  std::optional<uint32_t> eventGeneration;
  for (;;) {
    const XpResult result = TryOnce(&eventGeneration);
    if (result != kXpErrTimeout) return result;
    if (deadline.HasPassed(*clock_)) return kXpErrTimeout;
    clock_->SleepFor(PollDelay(deadline, *clock_));
  }
}

XpResult XpNamedObject::ReleaseMutex() {
  const XpResult checked = Check(XpNamedObjectKind::kMutex);
  if (checked != kXpOk) return checked;
  std::lock_guard<std::mutex> hold(record_->mutex);
  if (record_->owner != XpThread::CurrentThreadId() || record_->recursion == 0) {
    return kXpErrNotOwner;
  }
  if (--record_->recursion > 0) return kXpOk;
  record_->owner = 0;
  record_->File().Unlock(XpNamedObjectFile::kOwnerByte);
  return kXpOk;
}

XpResult XpNamedObject::SetEvent() { return SetEventState(1); }

XpResult XpNamedObject::ResetEvent() { return SetEventState(0); }

XpResult XpNamedObject::ReleaseSemaphore(uint32_t count, uint32_t* previousCount) {
  const XpResult checked = Check(XpNamedObjectKind::kSemaphore);
  if (checked != kXpOk) return checked;
  if (count == 0) return kXpErrBadArgument;
  std::lock_guard<std::mutex> hold(record_->mutex);
  const XpNamedObjectFile file = record_->File();
  return file.WithGuard([&] {
    XpNamedObjectFile::State state;
    const XpResult read = file.ReadState(&state);
    if (read != kXpOk) return read;
    const uint64_t wanted = uint64_t{state.value} + count;
    const uint64_t limit =
        state.maximum == kNoMaximum ? std::numeric_limits<uint32_t>::max() : state.maximum;
    if (wanted > limit) return kSemaphoreFull;
    if (previousCount != nullptr) *previousCount = state.value;
    state.value = static_cast<uint32_t>(wanted);
    return file.WriteState(state);
  });
}

XpResult XpNamedObject::Check(XpNamedObjectKind kind) const {
  if (record_ == nullptr || !XpNamedObjectTable::IsUsable(record_)) return kXpErrInvalidHandle;
  return record_->kind == kind ? kXpOk : kXpErrInvalidHandle;
}

XpResult XpNamedObject::TryOnce(std::optional<uint32_t>* eventGeneration) {
  switch (record_->kind) {
    case XpNamedObjectKind::kMutex:
      return TryTakeMutex();
    case XpNamedObjectKind::kEvent:
      return TryWaitEvent(eventGeneration);
    case XpNamedObjectKind::kSemaphore:
      return TryTakeUnit();
  }
  return kXpErrInvalidHandle;
}

XpResult XpNamedObject::TryTakeMutex() {
  const uint32_t caller = XpThread::CurrentThreadId();
  std::lock_guard<std::mutex> hold(record_->mutex);
  if (record_->owner == caller) {
    ++record_->recursion;
    return kXpOk;
  }
  // Another thread of this process owns it.
  if (record_->owner != 0) return kXpErrTimeout;
  const XpResult taken = record_->File().TryLock(XpNamedObjectFile::kOwnerByte, true);
  if (taken != kXpOk) return taken;
  record_->owner = caller;
  record_->recursion = 1;
  return kXpOk;
}

XpResult XpNamedObject::TryWaitEvent(std::optional<uint32_t>* generation) {
  std::lock_guard<std::mutex> hold(record_->mutex);
  const XpNamedObjectFile file = record_->File();
  return file.WithGuard([&] {
    XpNamedObjectFile::State state;
    const XpResult read = file.ReadState(&state);
    if (read != kXpOk) return read;
    if (state.value != 0) return kXpOk;
    // Set and reset again since the first look.
    if (generation->has_value() && **generation != state.generation) return kXpOk;
    *generation = state.generation;
    return kXpErrTimeout;
  });
}

XpResult XpNamedObject::TryTakeUnit() {
  std::lock_guard<std::mutex> hold(record_->mutex);
  const XpNamedObjectFile file = record_->File();
  return file.WithGuard([&] {
    XpNamedObjectFile::State state;
    const XpResult read = file.ReadState(&state);
    if (read != kXpOk) return read;
    if (state.value == 0) return kXpErrTimeout;
    --state.value;
    return file.WriteState(state);
  });
}

XpResult XpNamedObject::SetEventState(uint32_t value) {
  const XpResult checked = Check(XpNamedObjectKind::kEvent);
  if (checked != kXpOk) return checked;
  std::lock_guard<std::mutex> hold(record_->mutex);
  const XpNamedObjectFile file = record_->File();
  return file.WithGuard([&] {
    XpNamedObjectFile::State state;
    const XpResult read = file.ReadState(&state);
    if (read != kXpOk) return read;
    state.value = value;
    // Every set counts, so that waiters see it however soon a reset follows.
    if (value != 0) ++state.generation;
    return file.WriteState(state);
  });
}
