#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/transaction/XfTransaction.h"
#include "framework/transaction/XfTransactionObject.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"

// Keeps the transactions in progress, each under an id of its own.
class XfTransactionManager {
 public:
  XfTransactionManager();
  XfTransactionManager(const XfTransactionManager&) = delete;
  XfTransactionManager& operator=(const XfTransactionManager&) = delete;
  virtual ~XfTransactionManager();

  // The next id, from 1 on.
  uint32_t NextId();
  // A new transaction about object under the next id, kept in the list;
  // empty when memory ran out.
  XpSharedPtr<XfTransaction> Begin(XpSharedPtr<XfTransactionObject> object);
  // The first transaction with that id, or an empty pointer.
  XpSharedPtr<XfTransaction> Find(uint32_t id) const;
  // Takes the transaction off the list; an absent one is ignored. kXpOk.
  [[nodiscard]] XpResult Remove(const XpSharedPtr<XfTransaction>& transaction);
  [[nodiscard]] XpResult Remove(const XfTransaction* transaction);
  // Removes every transaction whose CheckCompleted answers true.
  void Sweep();
  size_t GetCount() const;

 private:
  mutable XpCriticalSection lock_;
  std::vector<XpSharedPtr<XfTransaction>> transactions_;
  std::atomic<uint32_t> lastId_{0};
};
