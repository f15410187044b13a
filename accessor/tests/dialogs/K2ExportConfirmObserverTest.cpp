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

XpSharedPtr<XfNotification> Prepared(uint64_t total) {
  return Internal(K2ExportConfirmObserver::kCodePrepared,
                  XpSharedPtr<XfObject>(new K2ExportInfoObj(total)));
}

constexpr uint32_t kCodeMarker = 40001;
constexpr uint32_t kWaitSeconds = 5;

// Answers the marker, so that a test knows the reply queue has delivered
// everything posted before it. It observes the manager while it lives.
class MarkerAnswerer : public IXfNotificationObserver {
 public:
  explicit MarkerAnswerer(XfNotificationManager& manager) : manager_(manager) {
    manager_.AddObserver(this);
  }
  MarkerAnswerer(const MarkerAnswerer&) = delete;
  MarkerAnswerer& operator=(const MarkerAnswerer&) = delete;
  ~MarkerAnswerer() override { manager_.RemoveObserver(this); }

  void OnNotification(XpSharedPtr<XfNotification> notification) override {
    if (notification && notification->GetCode() == kCodeMarker) {
      (void)notification->SetResult(1);  // the test checks the answer it waits for
    }
  }

 private:
  XfNotificationManager& manager_;
};

// Posts the marker and waits until it has been delivered.
XpResult Drain(XfNotificationManager& manager) {
  const XpSharedPtr<XfNotification> marker = Internal(kCodeMarker, XpSharedPtr<XfObject>());
  manager.Post(marker);
  return marker->WaitForResult(kWaitSeconds);
}

// Posts a prepared total from its own constructor and waits until the
// manager has delivered it, before the object is complete.
class PostingWhileBuilt : public RecordingConfirmObserver {
 public:
  explicit PostingWhileBuilt(XfNotificationManager& manager)
      : absentWhileBuilt(manager.IsObserverAbsent(this)), earlyTotal(Prepared(5000000)) {
    manager.Post(earlyTotal);
    drained = Drain(manager);
  }

  const bool absentWhileBuilt;
  const XpSharedPtr<XfNotification> earlyTotal;
  XpResult drained = kXpOk;
};

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
  observer.StartObserving();
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
  observer.StartObserving();
  EXPECT_FALSE(application_.GetNotificationManager().IsObserverAbsent(&observer));
  observer.StopObserving();
  EXPECT_TRUE(application_.GetNotificationManager().IsObserverAbsent(&observer));
}

TEST_F(K2ExportConfirmObserver, NothingReachesItBeforeItStartsObserving) {
  XfNotificationManager& manager = application_.GetNotificationManager();
  MarkerAnswerer answerer(manager);
  PostingWhileBuilt observer(manager);
  ASSERT_EQ(observer.drained, kXpOk);
  EXPECT_TRUE(observer.absentWhileBuilt);
  EXPECT_FALSE(observer.earlyTotal->IsAnswered());
  EXPECT_TRUE(observer.Calls().empty());
  EXPECT_TRUE(manager.IsObserverAbsent(&observer));

  observer.StartObserving();
  const XpSharedPtr<XfNotification> total = Prepared(7);
  manager.Post(total);
  ASSERT_EQ(total->WaitForResult(kWaitSeconds), kXpOk);
  EXPECT_EQ(observer.Calls(), (std::vector<std::pair<uint32_t, uint32_t>>{{7u, 0u}}));
}

TEST_F(K2ExportConfirmObserver, StartingAndStoppingTwiceActOnce) {
  XfNotificationManager& manager = application_.GetNotificationManager();
  MarkerAnswerer answerer(manager);
  RecordingConfirmObserver observer;
  observer.StartObserving();
  observer.StartObserving();
  const XpSharedPtr<XfNotification> total = Prepared(9);
  manager.Post(total);
  ASSERT_EQ(total->WaitForResult(kWaitSeconds), kXpOk);
  ASSERT_EQ(Drain(manager), kXpOk);
  EXPECT_EQ(observer.Calls().size(), 1u);
  observer.StopObserving();
  observer.StopObserving();
  EXPECT_TRUE(manager.IsObserverAbsent(&observer));
}

}  // namespace
