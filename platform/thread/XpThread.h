#pragma once

#include <pthread.h>

#include <cstdint>
#include <mutex>

#include "platform/result/XpResult.h"

// A thread function: one pointer-sized argument, and the thread's exit code
// as its result.
using XpThreadFunction = uint32_t (*)(void* argument);

// Logical thread priorities (the Windows levels), applied as nice values of
// the thread.
inline constexpr int kXpThreadPriorityIdle = -15;
inline constexpr int kXpThreadPriorityLowest = -2;
inline constexpr int kXpThreadPriorityBelowNormal = -1;
inline constexpr int kXpThreadPriorityNormal = 0;
inline constexpr int kXpThreadPriorityAboveNormal = 1;
inline constexpr int kXpThreadPriorityHighest = 2;
inline constexpr int kXpThreadPriorityTimeCritical = 15;

struct XpThreadStartRecord;

// The handle of a thread started through Create. Every thread starts in the
// same way: its stack is moved down by a small offset that changes from one
// thread to the next, then its function runs. Join waits for the thread and
// deletes the handle; a handle deleted without Join lets the thread run on.
class XpThread {
 public:
  // A started thread, or null when it could not be started.
  static XpThread* Create(XpThreadFunction function, void* argument);
  // Waits for the thread, deletes it and returns its exit code.
  // kXpErrInvalidHandle for null; kXpErrJoinSelf on the thread itself, which
  // leaves the object as it was.
  static uint32_t Join(XpThread* thread);
  static void Yield();
  static void Sleep(uint32_t milliseconds);
  // The kernel's id of the calling thread.
  static uint32_t CurrentThreadId();

  XpThread(const XpThread&) = delete;
  XpThread& operator=(const XpThread&) = delete;
  virtual ~XpThread();

  uint32_t GetThreadId() const { return id_; }
  bool IsCurrentThread() const;
  bool IsSameThread(const XpThread& other) const;

  // The logical level last set (kXpThreadPriorityNormal at start).
  int GetPriority();
  // kXpErrPriority for a level outside the set of logical levels or a change
  // the kernel refuses; the stored level is then kept.
  [[nodiscard]] XpResult SetPriority(int priority);
  // One level up or down; kXpErrPriority when that leaves the set.
  [[nodiscard]] XpResult RaisePriority();
  [[nodiscard]] XpResult LowerPriority();

  // For tests: called in each new thread with the start counter and the
  // stack offset, before the thread function.
  using StartHook = void (*)(uint32_t counter, uint32_t stackOffset);
  static void SetStartHookForTest(StartHook hook);
  static void ResetStartCounterForTest();
  // For tests: replaces the call that applies a nice value to a thread; it
  // returns 0 or an errno. Null restores setpriority.
  using NiceSetter = int (*)(uint32_t threadId, int nice);
  static void SetNiceSetterForTest(NiceSetter setter);

 private:
  XpThread() = default;
  [[nodiscard]] XpResult ApplyPriority(int priority);

  pthread_t handle_{};
  uint32_t id_ = 0;
  XpThreadStartRecord* record_ = nullptr;
  bool joined_ = false;
  std::mutex priorityMutex_;
  int priority_ = kXpThreadPriorityNormal;
};
