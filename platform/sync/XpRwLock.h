#pragma once

#include <cstdint>

#include "platform/sync/XpRwLockBase.h"

// A reader-writer lock that prefers writers: a waiting writer holds back new
// readers. The writing thread may take the exclusive lock again.
//
// Readers are not tracked by thread: Unlock() from a thread that is not the
// writer gives back one shared lock, whether that thread took one or not.
// A writer that asks for a shared lock waits for itself until its time-out;
// XpRwLockEx lets the writer read.
class XpRwLock : public XpRwLockBase {
 public:
  XpRwLock() = default;

 private:
  bool HasReaders() const override { return readers_ > 0; }
  // Readers are only counted, so every one of them may be another thread.
  bool HasReadersBesides(uint32_t /*caller*/) const override { return readers_ > 0; }
  [[nodiscard]] XpResult AddReader(uint32_t caller) override;
  void RemoveReader(uint32_t caller) override;
  bool WriterMayRead() const override { return false; }

  int32_t readers_ = 0;
};
