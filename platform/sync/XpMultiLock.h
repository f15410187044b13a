#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/sync/XpComboSyncObject.h"

// The common part of the multi-locks: they register with every object they
// wait for, and each object's state change releases the wake-up object (in
// practice an XpSemaphore) on which the multi-lock sleeps between rounds.
class XpMultiWaiterBase {
 public:
  XpMultiWaiterBase(const XpMultiWaiterBase&) = delete;
  XpMultiWaiterBase& operator=(const XpMultiWaiterBase&) = delete;
  virtual ~XpMultiWaiterBase() = default;

  // The result of the acquisition.
  [[nodiscard]] XpResult GetResult() const { return lastResult_; }

 protected:
  XpMultiWaiterBase(bool autoUnlock, XpComboSyncObject* wakeUp);

  // kXpErrInvalidHandle for a null wake-up object or a null entry,
  // kXpErrBadArgument when the wake-up object is in the list, else registers
  // with every object (all or none).
  [[nodiscard]] XpResult Register(std::span<XpComboSyncObject* const> objects);
  void Unregister(std::span<XpComboSyncObject* const> objects);

  const bool autoUnlock_;
  XpComboSyncObject* const wakeUp_;
  XpResult lastResult_ = kXpOk;

 private:
  friend class XpComboSyncObject;
  // Posting the wake-up semaphore fails only past its maximum count, and one
  // pending wake-up is as good as several.
  void WakeUp() { (void)wakeUp_->Unlock(); }
};

// Waits until any one of several objects is acquired. The objects are tried
// in list order each round.
class XpMultiLockOne : public XpMultiWaiterBase {
 public:
  XpMultiLockOne(bool autoUnlock, std::span<XpComboSyncObject* const> objects,
                 XpComboSyncObject* wakeUp, uint32_t seconds);
  XpMultiLockOne(bool autoUnlock, XpComboSyncObject* first, XpComboSyncObject* second,
                 XpComboSyncObject* wakeUp, uint32_t seconds);
  // Unlocks the acquired object when auto-unlock was asked for.
  ~XpMultiLockOne() override;

  // The index in the caller's list of the acquired object, or -1.
  int32_t GetLockedIndex() const { return index_; }
  XpComboSyncObject* GetLockedObject() const { return object_; }

 private:
  void Acquire(std::span<XpComboSyncObject* const> objects, uint32_t seconds);
  bool TryEach(std::span<XpComboSyncObject* const> objects);

  int32_t index_ = -1;
  XpComboSyncObject* object_ = nullptr;
};

// Waits until every one of several objects is acquired. Objects are taken
// one by one as they become free and stay taken when the wait fails, so two
// threads that wait for overlapping sets can each hold what the other needs.
class XpMultiLockAll : public XpMultiWaiterBase {
 public:
  XpMultiLockAll(bool autoUnlock, std::span<XpComboSyncObject* const> objects,
                 XpComboSyncObject* wakeUp, uint32_t seconds);
  XpMultiLockAll(bool autoUnlock, XpComboSyncObject* first, XpComboSyncObject* second,
                 XpComboSyncObject* wakeUp, uint32_t seconds);
  // Unlocks every acquired object when auto-unlock was asked for.
  ~XpMultiLockAll() override;

  // In the order acquired.
  const std::vector<int32_t>& GetLockedIndexes() const { return indexes_; }
  const std::vector<XpComboSyncObject*>& GetLockedObjects() const { return objects_; }

 private:
  void Acquire(std::span<XpComboSyncObject* const> objects, uint32_t seconds);
  void TryRemaining(std::span<XpComboSyncObject* const> objects, std::vector<int32_t>& remaining);

  std::vector<int32_t> indexes_;
  std::vector<XpComboSyncObject*> objects_;
};
