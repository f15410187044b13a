#pragma once

#include <cstdint>

#include "platform/sync/XpComboSyncObject.h"
#include "platform/sync/XpSyncObject.h"

// A scoped lock: locks in the constructor and unlocks in the destructor when
// the lock was taken. A null object is no lock at all: nothing is called and
// the result is kXpOk.
class XpSingleLock {
 public:
  explicit XpSingleLock(XpSyncObject* object);
  XpSingleLock(XpComboSyncObject* object, uint32_t seconds);
  XpSingleLock(const XpSingleLock&) = delete;
  XpSingleLock& operator=(const XpSingleLock&) = delete;
  virtual ~XpSingleLock();

  [[nodiscard]] XpResult GetResult() const { return result_; }
  bool IsLocked() const { return object_ != nullptr && result_ == kXpOk; }

 private:
  XpSyncObject* object_;
  XpResult result_ = kXpOk;
};
