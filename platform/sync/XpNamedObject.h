#pragma once

#include <cstdint>
#include <optional>

#include "platform/result/XpResult.h"
#include "platform/sync/XpDeadline.h"
#include "platform/sync/XpNamedObjectKind.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

struct XpNamedObjectRecord;

// A handle of a mutex, manual-reset event or semaphore that processes share
// by name. A name that begins "Global\" is shared by every user of the
// machine; other names by the processes of one user.
//
// The object exists while any process holds a handle of it; when the last
// one closes (or its process dies), the object is gone, and the next create
// makes it new with the state it asks for. A process that dies while it owns
// a mutex releases it; nobody is told that it was abandoned.
//
// A mutex is owned by a thread and may be taken again by its owner; every
// handle of one process that names the same object shares that ownership. A
// thread that ends while it owns the mutex keeps it until its process closes
// the object's last handle or ends. Waits poll against their deadline.
//
// Handles are not inherited: a forked child cannot use its parent's handles
// (kXpErrInvalidHandle), and a started program gets none.
class XpNamedObject {
 public:
  static constexpr uint32_t kNoMaximum = 0xFFFFFFFF;

  XpNamedObject() = default;
  XpNamedObject(const XpNamedObject&) = delete;
  XpNamedObject& operator=(const XpNamedObject&) = delete;
  ~XpNamedObject();

  // Each creates the object or opens the existing one of that name, in
  // which case the initial owner, state or count is ignored; *alreadyExisted
  // (optional) tells which. A handle that was open is closed first.
  [[nodiscard]] XpResult CreateMutex(const XpString& name, bool initiallyOwned,
                                     bool* alreadyExisted = nullptr);
  [[nodiscard]] XpResult CreateEvent(const XpString& name, bool initiallySet,
                                     bool* alreadyExisted = nullptr);
  // kXpErrBadArgument when maximum is 0 or initialCount exceeds it.
  [[nodiscard]] XpResult CreateSemaphore(const XpString& name, uint32_t initialCount,
                                         uint32_t maximum, bool* alreadyExisted = nullptr);
  // Opens an object that exists; kXpErrFileNotFound when nobody holds one.
  [[nodiscard]] XpResult Open(const XpString& name, XpNamedObjectKind kind);
  void Close();

  bool IsOpen() const { return record_ != nullptr; }
  XpNamedObjectKind GetKind() const;

  // A mutex: takes ownership. An event: waits until it is set; a set that
  // happens while it waits releases it even when a reset follows at once. A
  // semaphore: takes one unit. kXpTryOnce tries once; kXpErrTimeout when the
  // time is up.
  [[nodiscard]] XpResult Wait(uint32_t seconds);
  [[nodiscard]] XpResult WaitUntil(const XpDeadline& deadline);

  // kXpErrNotOwner when the calling thread does not own the mutex.
  [[nodiscard]] XpResult ReleaseMutex();
  [[nodiscard]] XpResult SetEvent();
  [[nodiscard]] XpResult ResetEvent();
  // Adds count units; a count that would pass the maximum fails with
  // kXpErrSync and changes nothing.
  [[nodiscard]] XpResult ReleaseSemaphore(uint32_t count = 1, uint32_t* previousCount = nullptr);

  // For tests: the clock and sleep of the waits.
  void SetClockForTest(XpWaitClock& clock) { clock_ = &clock; }

 private:
  [[nodiscard]] XpResult Create(const XpString& name, XpNamedObjectKind kind, bool initiallyOwned,
                                uint32_t value, uint32_t maximum, bool* alreadyExisted);
  // kXpErrInvalidHandle unless the handle is open in this process and of
  // that kind.
  [[nodiscard]] XpResult Check(XpNamedObjectKind kind) const;
  // eventGeneration: the event's set count at the wait's first look, which
  // the first call stores; a later one that finds it changed has seen a set.
  [[nodiscard]] XpResult TryOnce(std::optional<uint32_t>* eventGeneration);
  [[nodiscard]] XpResult TryTakeMutex();
  [[nodiscard]] XpResult TryWaitEvent(std::optional<uint32_t>* generation);
  [[nodiscard]] XpResult TryTakeUnit();
  [[nodiscard]] XpResult SetEventState(uint32_t value);

  XpNamedObjectRecord* record_ = nullptr;
  XpWaitClock* clock_ = &XpWaitClock::Real();
};
