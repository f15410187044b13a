#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "accessor/dialogs/K2ExportConfirmObserver.h"
#include "accessor/task/K2ExportInfoObj.h"
#include "framework/notify/XfData.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfNotificationManager.h"
#include "framework/tests/app/TestApplication.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class RecordingConfirmObserver : public K2ExportConfirmObserver {
 public:
  ~RecordingConfirmObserver() override { StopObserving(); }

  std::vector<std::pair<uint32_t, uint32_t>> Calls() const {
    std::lock_guard<std::mutex> hold(lock_);
    return calls_;
  }

 protected:
  void SetRequiredBytes(uint32_t low, uint32_t high) override {
    std::lock_guard<std::mutex> hold(lock_);
    calls_.emplace_back(low, high);
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::pair<uint32_t, uint32_t>> calls_;
};

XpSharedPtr<XfNotification> Internal(uint32_t code, XpSharedPtr<XfObject> payload) {
  return XpSharedPtr<XfNotification>(
      new XfNotificationInternal(XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), code,
                                 std::move(payload), true, true));
}

class K2ExportConfirmObserver : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    testsupport::HermeticTest::SetUp();
    XfSetApplication(&application_);
  }
  void TearDown() override {
    XfSetApplication(nullptr);
    testsupport::HermeticTest::TearDown();
  }

  framework_test::TestApplication application_;
};

TEST_F(K2ExportConfirmObserver, TakesOnlyThePreparedTotal) {
  struct Case {
    const char* name;
    XpSharedPtr<XfNotification> notification;
    bool taken;
  };
  const uint64_t big = (uint64_t{3} << 32) + 7;
  const Case cases[] = {
      {"261 with a total", Internal(261, XpSharedPtr<XfObject>(new K2ExportInfoObj(5000000))),
       true},
      {"261 above 4 GB", Internal(261, XpSharedPtr<XfObject>(new K2ExportInfoObj(big))), true},
      {"20027 with a number",
       Internal(20027, XpSharedPtr<XfObject>(new XfData<int32_t>(5000000))), false},
      {"20027 with a total",
       Internal(20027, XpSharedPtr<XfObject>(new K2ExportInfoObj(5000000))), false},
      {"261 with a number", Internal(261, XpSharedPtr<XfObject>(new XfData<int32_t>(1))),
       false},
      {"261 without payload", Internal(261, XpSharedPtr<XfObject>()), false},
      {"progress 261",
       XpSharedPtr<XfNotification>(new XfNotificationProgress(
           XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), 261,
           XpSharedPtr<XfObject>(new K2ExportInfoObj(1)))),
       false},
  };
  for (const Case& c : cases) {
    RecordingConfirmObserver observer;
    observer.OnNotification(c.notification);
    EXPECT_EQ(c.notification->IsAnswered(), c.taken) << c.name;
    ASSERT_EQ(observer.Calls().size(), c.taken ? 1u : 0u) << c.name;
    if (c.taken) {
      EXPECT_EQ(c.notification->GetResult(), 1u) << c.name;
      const uint64_t total =
          dynamic_cast<K2ExportInfoObj*>(c.notification->GetObject().Get())->GetTotalBytes();
      EXPECT_EQ(observer.Calls()[0].first, static_cast<uint32_t>(total)) << c.name;
      EXPECT_EQ(observer.Calls()[0].second, static_cast<uint32_t>(total >> 32)) << c.name;
    }
  }
}

TEST_F(K2ExportConfirmObserver, AnswersTheSenderThroughTheManager) {
  RecordingConfirmObserver observer;
  const XpSharedPtr<XfNotification> other =
      Internal(20027, XpSharedPtr<XfObject>(new XfData<int32_t>(5000000)));
  const XpSharedPtr<XfNotification> prepared =
      Internal(261, XpSharedPtr<XfObject>(new K2ExportInfoObj(5000000)));
  application_.GetNotificationManager().Post(other);
  application_.GetNotificationManager().Post(prepared);
  ASSERT_EQ(prepared->WaitForResult(5), kXpOk);
  EXPECT_EQ(prepared->GetResult(), 1u);
  EXPECT_FALSE(other->IsAnswered());
  ASSERT_EQ(observer.Calls().size(), 1u);
  EXPECT_EQ(observer.Calls()[0], std::make_pair(5000000u, 0u));
}

TEST_F(K2ExportConfirmObserver, StopsObservingBeforeItEnds) {
  RecordingConfirmObserver observer;
  EXPECT_FALSE(application_.GetNotificationManager().IsObserverAbsent(&observer));
  observer.StopObserving();
  EXPECT_TRUE(application_.GetNotificationManager().IsObserverAbsent(&observer));
}

}  // namespace
