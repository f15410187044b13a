#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/text/XpString.h"
#include "platform/thread/XpThread.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"

namespace volumetest {

struct VolumeEvent {
  XpString root;
  bool arrived = false;
  uint32_t threadId = 0;
  std::chrono::steady_clock::time_point when;
};

// A watchdog listener that keeps what it heard and lets a test wait for it.
class VolumeEventRecorder : public IXpVolumeWatchDogCallback {
 public:
  void OnVolumeArrived(const XpString& root) override { Record(root, true); }
  void OnVolumeRemoved(const XpString& root) override { Record(root, false); }

  std::vector<VolumeEvent> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

  // Waits until count events were heard; false after the limit.
  bool WaitForCount(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return heard_.wait_for(lock, limit, [&] { return events_.size() >= count; });
  }

  // Waits until the event (root, arrived) was heard.
  bool WaitFor(const XpString& root, bool arrived,
               std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return heard_.wait_for(lock, limit, [&] {
      for (const VolumeEvent& event : events_) {
        if (event.root == root && event.arrived == arrived) return true;
      }
      return false;
    });
  }

 private:
  void Record(const XpString& root, bool arrived) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({root, arrived, XpThread::CurrentThreadId(), std::chrono::steady_clock::now()});
    heard_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable heard_;
  std::vector<VolumeEvent> events_;
};

}  // namespace volumetest
