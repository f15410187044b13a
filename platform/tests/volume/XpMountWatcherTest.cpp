#include "platform/volume/XpMountWatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/testsupport/FakeMountTableSource.h"
#include "platform/tests/volume/VolumeTestTree.h"
#include "platform/thread/XpThread.h"
#include "platform/volume/XpProcMountTableSource.h"

namespace {

using testsupport::FakeMount;
using testsupport::FakeMountTableControl;
using testsupport::FakeMountTableSource;

constexpr unsigned kDiskMajor = 8;

// A mount of the fake table: a folder below the test's root.
struct MountRow {
  std::string folder;
  unsigned minor = 1;
  std::string type = "ext4";
  std::string options = "rw,relatime";
  std::string root = "/";
};

struct Change {
  std::string folder;
  bool arrived;
  bool operator==(const Change& other) const = default;
};

void PrintTo(const Change& change, std::ostream* out) {
  *out << (change.arrived ? "+" : "-") << change.folder;
}

class XpMountWatcherFixture : public volumetest::VolumeFixture {
 protected:
  void SetUp() override {
    VolumeFixture::SetUp();
    control_ = std::make_shared<FakeMountTableControl>();
  }

  std::vector<FakeMount> ToMounts(const std::vector<MountRow>& rows) {
    std::vector<FakeMount> mounts;
    for (const MountRow& row : rows) {
      const std::string device = "/dev/sda" + std::to_string(row.minor);
      mounts.push_back({Dir(row.folder).string(), row.type, device, kDiskMajor, row.minor,
                        row.root, row.options});
    }
    return mounts;
  }

  std::unique_ptr<XpMountWatcher> MakeWatcher() {
    return std::make_unique<XpMountWatcher>(
        [this](const XpString& root, bool arrived) {
          std::lock_guard<std::mutex> lock(mutex_);
          changes_.push_back({ToFolder(root), arrived});
          threadIds_.push_back(XpThread::CurrentThreadId());
        },
        std::make_unique<FakeMountTableSource>(control_));
  }

  // The folder below the test's root that root names ("a/b" for ".../a/b/").
  std::string ToFolder(const XpString& root) const {
    const std::string prefix = Root().string() + "/";
    std::string text = fstest::ToUtf8(root);
    if (text.rfind(prefix, 0) == 0) text = text.substr(prefix.size());
    if (!text.empty() && text.back() == '/') text.pop_back();
    return text;
  }

  std::vector<Change> Changes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
  }
  std::vector<Change> TakeChanges() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(changes_, {});
  }
  std::vector<uint32_t> ThreadIds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threadIds_;
  }

  std::shared_ptr<FakeMountTableControl> control_;

 private:
  std::mutex mutex_;
  std::vector<Change> changes_;
  std::vector<uint32_t> threadIds_;
};
using XpMountWatcher = XpMountWatcherFixture;

TEST_F(XpMountWatcher, ReportsRootsThatWentAndCame) {
  struct Case {
    const char* name;
    std::vector<MountRow> before;
    std::vector<MountRow> after;
    std::vector<Change> expected;
  };
  const std::vector<Case> cases = {
      {"mounted", {{"a"}}, {{"a"}, {"b", 2}}, {{"b", true}}},
      {"unmounted", {{"a"}, {"b", 2}}, {{"a"}}, {{"b", false}}},
      {"remounted read-write", {{"a", 1, "ext4", "ro"}}, {{"a", 1, "ext4", "rw"}}, {}},
      {"other device on the same point", {{"a", 1}}, {{"a", 2}}, {{"a", false}, {"a", true}}},
      {"moved", {{"a"}}, {{"b"}}, {{"a", false}, {"b", true}}},
      {"bind mount of a folder", {{"a"}}, {{"a"}, {"b", 1, "ext4", "rw", "/sub"}}, {}},
      {"pseudo file system", {{"a"}}, {{"a"}, {"b", 2, "tmpfs"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fake().SetMounts(ToMounts(c.before));
    std::unique_ptr<::XpMountWatcher> watcher = MakeWatcher();
    ASSERT_EQ(watcher->Start(), kXpOk);
    Fake().SetMounts(ToMounts(c.after));
    ASSERT_TRUE(control_->Nudge());
    EXPECT_EQ(watcher->Stop(), kXpOk);
    EXPECT_EQ(TakeChanges(), c.expected);
  }
}

TEST_F(XpMountWatcher, CallsTheListenerOnItsOwnThread) {
  Fake().SetMounts(ToMounts({{"a"}}));
  std::unique_ptr<::XpMountWatcher> watcher = MakeWatcher();
  EXPECT_EQ(watcher->GetThreadId(), 0u);
  ASSERT_EQ(watcher->Start(), kXpOk);
  EXPECT_EQ(watcher->Start(), kXpErrWrongState);
  const uint32_t watcherThread = watcher->GetThreadId();
  EXPECT_NE(watcherThread, 0u);
  EXPECT_NE(watcherThread, XpThread::CurrentThreadId());

  Fake().SetMounts(ToMounts({{"a"}, {"b", 2}}));
  ASSERT_TRUE(control_->Nudge());
  Fake().SetMounts(ToMounts({{"b", 2}}));
  ASSERT_TRUE(control_->Nudge());
  EXPECT_EQ(watcher->Stop(), kXpOk);
  EXPECT_EQ(watcher->Stop(), kXpErrWrongState);

  EXPECT_EQ(Changes(), (std::vector<Change>{{"b", true}, {"a", false}}));
  for (const uint32_t id : ThreadIds()) EXPECT_EQ(id, watcherThread);
}

TEST_F(XpMountWatcher, StartFailsWhenTheSourceCannotOpen) {
  control_->openResult = kXpErrSystem;
  std::unique_ptr<::XpMountWatcher> watcher = MakeWatcher();
  EXPECT_EQ(watcher->Start(), kXpErrSystem);
  EXPECT_FALSE(watcher->IsRunning());
}

TEST_F(XpMountWatcher, ProcSourceNeedsTheTableAndStopsOnInterrupt) {
  XpProcMountTableSource source;
  XpMountTable table;
  ASSERT_EQ(source.Open(), kXpOk);
  EXPECT_EQ(source.Read(&table), kXpOk);
  source.Interrupt();
  // A regular file never signals a change, so only the interrupt ends this.
  EXPECT_FALSE(source.WaitForChange());
  source.Close();
  EXPECT_FALSE(source.WaitForChange());

  SetEnv("KAVO_SYSROOT", Dir("empty").string());
  EXPECT_EQ(source.Open(), kXpErrSystem);
  ::XpMountWatcher watcher(nullptr, nullptr);
  EXPECT_EQ(watcher.Start(), kXpErrSystem);
}

TEST_F(XpMountWatcher, StopEndsAWaitOnTheRealSource) {
  ::XpMountWatcher watcher([](const XpString&, bool) {}, nullptr);
  ASSERT_EQ(watcher.Start(), kXpOk);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(watcher.Stop(), kXpOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
