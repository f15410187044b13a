#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/fs/XpSysFailure.h"
#include "platform/result/XpResult.h"

class XpThread;

// A few threads of its own that run jobs in the order they are given; the
// outcomes are taken back in that same order. With no thread (none asked
// for, or none could be started) each job runs at once on the thread that
// gives it. Every operation but the threads' own is for one owning thread.
class ResizeWorkers {
 public:
  using Job = std::function<XpResult()>;

  // What a job returned, and the system-call failure it left on its thread.
  struct Outcome {
    XpResult result = kXpErrGeneric;
    XpSysFailure failure;
  };

  explicit ResizeWorkers(uint32_t threads);
  // Discards the jobs not started, waits for the running ones and ends the
  // threads.
  ~ResizeWorkers();
  ResizeWorkers(const ResizeWorkers&) = delete;
  ResizeWorkers& operator=(const ResizeWorkers&) = delete;

  // The threads that run the jobs; 0 when they run on the giving thread.
  uint32_t GetThreadCount() const { return static_cast<uint32_t>(threads_.size()); }
  void Submit(Job job);
  // Jobs given and not taken back.
  size_t GetWaitingCount() const;
  // Waits for the oldest job not taken back and gives its outcome; there
  // must be one.
  Outcome TakeNext();
  // Forgets the jobs not started yet and waits until none runs; the
  // outcomes of the jobs that ran are dropped too.
  void Discard();

 private:
  struct Slot {
    Job job;
    Outcome outcome;
    bool done = false;
  };

  static uint32_t ThreadMain(void* self);
  void RunJobs();
  static Outcome RunOne(const Job& job);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  // The slots not taken back, oldest first; the first `started_` of them
  // have been handed to a thread.
  std::deque<Slot> slots_;
  size_t started_ = 0;
  size_t running_ = 0;
  bool ending_ = false;
  std::vector<XpThread*> threads_;
};
