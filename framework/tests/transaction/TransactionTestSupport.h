#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/transaction/XfTransactionObject.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/testsupport/HermeticTest.h"

namespace framework_test {

// A work item whose answers the test sets, counting the calls it gets.
class FakeItem : public XfTransactionObject {
 public:
  FakeItem(bool done, bool ended) : done(done), ended(ended) {}

  [[nodiscard]] XpResult Execute() override {
    ++executed;
    return executeResult.load();
  }
  bool IsDone() override { return done.load(); }
  [[nodiscard]] XpResult Abort() override {
    ++aborted;
    return abortResult.load();
  }
  bool IsEnded() override { return ended.load(); }

  std::atomic<bool> done;
  std::atomic<bool> ended;
  std::atomic<XpResult> executeResult{kXpOk};
  std::atomic<XpResult> abortResult{kXpOk};
  std::atomic<int> executed{0};
  std::atomic<int> aborted{0};
};

XpSharedPtr<FakeItem> NewItem(bool done, bool ended);

// A global test application whose handler keeps what was posted.
class TransactionTest : public testsupport::HermeticTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Every notification posted so far with that code, once the manager has
  // delivered all that were posted before the call.
  std::vector<XpSharedPtr<XfNotification>> PostedWithCode(uint32_t code);

 private:
  std::unique_ptr<TestApplication> application_;
};

}  // namespace framework_test
