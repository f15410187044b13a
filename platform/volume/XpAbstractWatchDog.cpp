#include "platform/volume/XpAbstractWatchDog.h"

#include <algorithm>
#include <chrono>

#include "platform/sync/XpDeadline.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;

}  // namespace

XpAbstractWatchDog::XpAbstractWatchDog(bool lowerPriority) : lowerPriority_(lowerPriority) {}

XpAbstractWatchDog::~XpAbstractWatchDog() {
  (void)Stop();  // a destructor cannot report; the thread ends either way
}

void XpAbstractWatchDog::SetInterval(uint32_t milliseconds) { intervalMs_.store(milliseconds); }

uint32_t XpAbstractWatchDog::GetInterval() const { return intervalMs_.load(); }

XpResult XpAbstractWatchDog::Start() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  if (thread_ != nullptr) return kXpErrWrongState;
  stopEvent_.SetSignaled(false);
  OnStarting();
  thread_ = XpThread::Create(&XpAbstractWatchDog::ThreadEntry, this);
  if (thread_ == nullptr) return kXpErrOutOfMemory;
  // At normal priority the watch still works, only less politely.
  if (lowerPriority_) (void)thread_->LowerPriority();
  return kXpOk;
}

XpResult XpAbstractWatchDog::Stop() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  if (thread_ == nullptr) return kXpErrWrongState;
  stopEvent_.SetSignaled(true);
  XpThread::Join(thread_);
  thread_ = nullptr;
  return kXpOk;
}

bool XpAbstractWatchDog::IsRunning() const {
  std::lock_guard<std::mutex> lock(threadMutex_);
  return thread_ != nullptr;
}

uint32_t XpAbstractWatchDog::ComputeWaitMilliseconds() const {
  const uint32_t interval = GetInterval();
  if (interval >= kMillisecondsPerSecond) {
    return interval / kMillisecondsPerSecond * kMillisecondsPerSecond;
  }
  return std::max(interval, kMinimumWaitMs);
}

bool XpAbstractWatchDog::WaitInterval() {
  const auto wait = std::chrono::milliseconds(ComputeWaitMilliseconds());
  const XpDeadline deadline = XpDeadline::At(XpWaitClock::Real().Now() + wait);
  return stopEvent_.LockUntil(deadline) == kXpErrTimeout;
}

uint32_t XpAbstractWatchDog::ThreadEntry(void* argument) {
  auto* watchDog = static_cast<XpAbstractWatchDog*>(argument);
  if (watchDog == nullptr) return kXpErrBadArgument;
  return watchDog->Run();
}
