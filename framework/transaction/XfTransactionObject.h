#pragma once

#include "framework/notify/XfObject.h"
#include "platform/result/XpResult.h"

// A work item of a transaction, supplied by the program that uses
// transactions. It may be asked from any thread that polls the transaction.
class XfTransactionObject : public XfObject {
 public:
  ~XfTransactionObject() override;

  // Runs the item; kXpOk on success.
  [[nodiscard]] virtual XpResult Execute() = 0;
  // Finished successfully.
  virtual bool IsDone() = 0;
  // Stops the item; kXpOk on success.
  [[nodiscard]] virtual XpResult Abort() = 0;
  // No longer running, whatever the outcome.
  virtual bool IsEnded() = 0;
};
