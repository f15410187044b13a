#pragma once

#include <sys/types.h>

#include <cstdint>

#include "platform/result/XpResult.h"

// The lock file of one named object, as one open file description. Its
// locks are open-file-description locks, which the kernel drops when the
// last descriptor closes, also when a process dies:
// - byte 0, shared, is held by every process that has the object open, so
//   the object "exists" while anybody holds byte 0;
// - byte 1, exclusive, is held by the process that owns a mutex;
// - byte 2, exclusive, serialises creation and every change of the state
//   stored in the file.
// Locks of one description never conflict with each other, so threads of one
// process must exclude each other by other means.
class XpNamedObjectFile {
 public:
  static constexpr off_t kExistsByte = 0;
  static constexpr off_t kOwnerByte = 1;
  static constexpr off_t kGuardByte = 2;

  // The state of an event (value 0 or 1) or a semaphore (count, maximum).
  // An event counts its sets in generation, so that a waiter that saw the
  // event reset still learns of a set that a reset at once hid again.
  struct State {
    uint32_t value = 0;
    uint32_t maximum = 0;
    uint32_t generation = 0;
  };

  explicit XpNamedObjectFile(int fd) : fd_(fd) {}

  // kXpOk, or kXpErrTimeout when another description holds a conflicting
  // lock.
  [[nodiscard]] XpResult TryLock(off_t byte, bool exclusive) const;
  // Waits for an exclusive lock; kept only briefly by anybody.
  [[nodiscard]] XpResult WaitLock(off_t byte) const;
  void Unlock(off_t byte) const;
  // Whether another description holds any lock on the byte.
  bool IsHeldElsewhere(off_t byte) const;

  // Runs change with the creation guard held and returns its result.
  template <typename Change>
  [[nodiscard]] XpResult WithGuard(Change change) const {
    XpResult result = WaitLock(kGuardByte);
    if (result != kXpOk) return result;
    result = change();
    Unlock(kGuardByte);
    return result;
  }

  [[nodiscard]] XpResult ReadState(State* state) const;
  [[nodiscard]] XpResult WriteState(const State& state) const;

 private:
  int fd_;
};
