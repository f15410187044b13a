#include "framework/transaction/XfTransactionManager.h"

#include <mutex>
#include <new>
#include <utility>

XfTransactionManager::XfTransactionManager() = default;

XfTransactionManager::~XfTransactionManager() = default;

uint32_t XfTransactionManager::NextId() { return lastId_.fetch_add(1) + 1; }

XpSharedPtr<XfTransaction> XfTransactionManager::Begin(XpSharedPtr<XfTransactionObject> object) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  XpSharedPtr<XfTransaction> transaction(new (std::nothrow)
                                             XfTransaction(this, std::move(object), NextId()));
  if (transaction) {
    transactions_.push_back(transaction);
  }
  return transaction;
}

XpSharedPtr<XfTransaction> XfTransactionManager::Find(uint32_t id) const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  for (const XpSharedPtr<XfTransaction>& transaction : transactions_) {
    if (transaction->GetId() == id) {
      return transaction;
    }
  }
  return XpSharedPtr<XfTransaction>();
}

XpResult XfTransactionManager::Remove(const XpSharedPtr<XfTransaction>& transaction) {
  return Remove(transaction.Get());
}

XpResult XfTransactionManager::Remove(const XfTransaction* transaction) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  for (auto it = transactions_.begin(); it != transactions_.end(); ++it) {
    if (it->Get() == transaction) {
      transactions_.erase(it);
      break;
    }
  }
  return kXpOk;
}

void XfTransactionManager::Sweep() {
  std::vector<XpSharedPtr<XfTransaction>> completed;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    for (const XpSharedPtr<XfTransaction>& transaction : transactions_) {
      if (transaction->CheckCompleted()) {
        completed.push_back(transaction);
      }
    }
  }
  for (const XpSharedPtr<XfTransaction>& transaction : completed) {
    (void)Remove(transaction);  // always kXpOk
  }
}

size_t XfTransactionManager::GetCount() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return transactions_.size();
}
