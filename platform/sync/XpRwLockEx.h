#pragma once

#include <cstdint>
#include <vector>

#include "platform/sync/XpRwLockBase.h"

// A reader-writer lock that records its readers by thread: a reader may take
// the shared lock again, the writer may also read, and the only reader may
// become the writer. Waiting writers hold back new readers.
//
// A thread that read and then took the exclusive lock releases the exclusive
// level with its first Unlock() and its shared level with the next. A reader
// that asks again while a writer waits waits behind that writer.
//
// Unlock() releases the writer level when the caller is the writer, else one
// level of the caller's shared lock; nothing when the caller holds nothing.
class XpRwLockEx : public XpRwLockBase {
 public:
  XpRwLockEx() = default;

 private:
  struct Reader {
    uint32_t thread;
    uint32_t count;
  };

  bool HasReaders() const override { return !readers_.empty(); }
  bool HasReadersBesides(uint32_t caller) const override;
  [[nodiscard]] XpResult AddReader(uint32_t caller) override;
  void RemoveReader(uint32_t caller) override;
  bool WriterMayRead() const override { return true; }
  std::vector<Reader>::iterator FindReader(uint32_t thread);

  std::vector<Reader> readers_;
};
