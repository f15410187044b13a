#include "accessor/resize/ResizeWorkers.h"

#include <utility>

#include "platform/thread/XpThread.h"

namespace {

using Lock = std::unique_lock<std::mutex>;

}  // namespace

ResizeWorkers::ResizeWorkers(uint32_t threads) {
  threads_.reserve(threads);
  for (uint32_t index = 0; index < threads; ++index) {
    XpThread* thread = XpThread::Create(&ResizeWorkers::ThreadMain, this);
    if (thread == nullptr) {
      break;
    }
    threads_.push_back(thread);
  }
}

ResizeWorkers::~ResizeWorkers() {
  Discard();
  {
    Lock lock(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  for (XpThread* thread : threads_) {
    static_cast<void>(XpThread::Join(thread));
  }
}

ResizeWorkers::Outcome ResizeWorkers::RunOne(const Job& job) {
  XpClearSysFailure();
  Outcome outcome;
  outcome.result = job();
  outcome.failure = XpLastSysFailure();
  return outcome;
}

void ResizeWorkers::Submit(Job job) {
  if (threads_.empty()) {
    Slot slot;
    slot.outcome = RunOne(job);
    slot.done = true;
    Lock lock(lock_);
    slots_.push_back(std::move(slot));
    ++started_;
    return;
  }
  {
    Lock lock(lock_);
    slots_.push_back(Slot{std::move(job), Outcome(), false});
  }
  changed_.notify_all();
}

size_t ResizeWorkers::GetWaitingCount() const {
  Lock lock(lock_);
  return slots_.size();
}

ResizeWorkers::Outcome ResizeWorkers::TakeNext() {
  Lock lock(lock_);
  if (slots_.empty()) {
    return Outcome();
  }
  changed_.wait(lock, [this] { return slots_.front().done; });
  Outcome outcome = std::move(slots_.front().outcome);
  slots_.pop_front();
  --started_;
  return outcome;
}

void ResizeWorkers::Discard() {
  Lock lock(lock_);
  slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(started_), slots_.end());
  changed_.wait(lock, [this] { return running_ == 0; });
  slots_.clear();
  started_ = 0;
}

uint32_t ResizeWorkers::ThreadMain(void* self) {
  static_cast<ResizeWorkers*>(self)->RunJobs();
  return 0;
}

void ResizeWorkers::RunJobs() {
  Lock lock(lock_);
  for (;;) {
    changed_.wait(lock, [this] { return ending_ || started_ < slots_.size(); });
    if (ending_) {
      return;
    }
    // A slot's address holds while it runs: only done slots are taken
    // back, and Discard waits for the running ones.
    Slot& slot = slots_[started_];
    ++started_;
    ++running_;
    const Job job = std::move(slot.job);
    lock.unlock();
    Outcome outcome = RunOne(job);
    lock.lock();
    slot.outcome = std::move(outcome);
    slot.done = true;
    --running_;
    changed_.notify_all();
  }
}
