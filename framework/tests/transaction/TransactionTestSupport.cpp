#include "framework/tests/transaction/TransactionTestSupport.h"

#include <gtest/gtest.h>

#include "framework/queue/XfMessageQueue.h"

namespace framework_test {

namespace {

// Posted last; once it is delivered, everything posted before it was too.
constexpr uint32_t kMarkerCode = 0xFFFFFFF0;

}  // namespace

XpSharedPtr<FakeItem> NewItem(bool done, bool ended) {
  return XpSharedPtr<FakeItem>(new FakeItem(done, ended));
}

void TransactionTest::SetUp() {
  HermeticTest::SetUp();
  application_ = std::make_unique<TestApplication>();
  XfSetApplication(application_.get());
}

void TransactionTest::TearDown() {
  // Framework messages a test left queued on this thread go with it.
  while (XfPumpMessage()) {
  }
  application_.reset();
  HermeticTest::TearDown();
}

std::vector<XpSharedPtr<XfNotification>> TransactionTest::PostedWithCode(uint32_t code) {
  const XpSharedPtr<XfNotification> marker(new XfNotificationInternal(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), kMarkerCode, XpSharedPtr<XfObject>(),
      false, true));
  XfPostNotification(marker);
  std::vector<XpSharedPtr<XfNotification>> found;
  for (;;) {
    const std::vector<XpSharedPtr<XfNotification>> seen = application_->Dispatched();
    bool markerSeen = false;
    found.clear();
    for (const XpSharedPtr<XfNotification>& n : seen) {
      markerSeen = markerSeen || n.Get() == marker.Get();
      if (n->GetCode() == code) found.push_back(n);
    }
    if (markerSeen) return found;
    if (!application_->WaitForDispatched(seen.size() + 1)) {
      ADD_FAILURE() << "the manager never delivered the marker";
      return found;
    }
  }
}

}  // namespace framework_test
