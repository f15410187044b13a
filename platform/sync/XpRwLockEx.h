#pragma once

#include <cstdint>
#include <vector>

#include "platform/sync/XpComboSyncObject.h"

// A reader-writer lock that records its readers by thread: a reader may take
// the shared lock again, the writer may also read, and the only reader may
// become the writer. Waiting writers hold back new readers.
//
// A thread that read and then took the exclusive lock releases the exclusive
// level with its first Unlock() and its shared level with the next. A reader
// that asks again while a writer waits waits behind that writer.
class XpRwLockEx : public XpComboSyncObject {
 public:
  XpRwLockEx() = default;

  // The exclusive lock.
  [[nodiscard]] XpResult LockUntil(const XpDeadline& deadline) override;
  [[nodiscard]] XpResult LockExclusiveTimeout(uint32_t seconds) { return LockTimeout(seconds); }
  [[nodiscard]] XpResult LockSharedTimeout(uint32_t seconds);
  [[nodiscard]] XpResult LockSharedUntil(const XpDeadline& deadline);
  [[nodiscard]] XpResult TryLockShared() { return LockSharedTimeout(kXpTryOnce); }
  // Releases the writer level when the caller is the writer, else one level
  // of the caller's shared lock; nothing when the caller holds nothing.
  [[nodiscard]] XpResult Unlock() override;

  // Whether a request of that kind from the caller would have to wait.
  bool IsBusy(bool exclusive);

 private:
  struct Reader {
    uint32_t thread;
    uint32_t count;
  };

  [[nodiscard]] XpResult LockLocked(bool exclusive, const XpDeadline& deadline);
  bool IsBusyLocked(bool exclusive, uint32_t caller, bool* asWriter) const;
  std::vector<Reader>::iterator FindReader(uint32_t thread);

  int32_t waitingWriters_ = 0;
  std::vector<Reader> readers_;
  uint32_t writer_ = 0;
  int32_t writerCount_ = 0;
};
