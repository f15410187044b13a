#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpMountTableSource.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"
#include "platform/volume/XpMountWatcher.h"
#include "platform/volume/XpVolumeWatchDogBase.h"

class XpThread;
class XpVolumeWatchDogEx;

// The names the event-driven watchdog is known by.
inline constexpr const char16_t* kXpVolumeWatchDogExWindowClass =
    u"KavoXpVolumeWatchDogExDummyWindow";
inline constexpr const char16_t* kXpDeviceWatchDogWindowTitle = u"_XpDeviceWatchDog";
inline constexpr const char16_t* kXpVolumeWatchDogExMessageName =
    u"XpVolumeWatchDogEx_SHChangeNotify_WindowMessage";

// Smooths the events of one volume root: each event restarts a quiet period,
// and when the period passes the first and the last queued state are
// compared. Equal states are reported to the owner's callbacks on this
// notifier's thread; a volume that went and came back (or came and went)
// within the period is not reported.
class _XpVolumeNotifier {
 public:
  _XpVolumeNotifier(XpVolumeWatchDogEx* owner, const XpString& root);
  _XpVolumeNotifier(const _XpVolumeNotifier&) = delete;
  _XpVolumeNotifier& operator=(const _XpVolumeNotifier&) = delete;
  ~_XpVolumeNotifier();

  // kXpErrOutOfMemory when the thread cannot be created.
  [[nodiscard]] XpResult Start();
  // Ends the thread; queued states are dropped.
  void Stop();
  // Queues a state and restarts the quiet period.
  void Push(bool arrived);

 private:
  static uint32_t ThreadEntry(void* argument);
  void Run();
  // False when stopped.
  bool WaitForFirstChange();
  bool WaitUntilQuiet();
  void Process();

  XpVolumeWatchDogEx* const owner_;
  const XpString root_;
  XpCriticalSection lock_;
  std::condition_variable_any wake_;
  bool changed_ = false;
  bool stopping_ = false;
  std::deque<uint8_t> states_;
  XpThread* thread_ = nullptr;
};

// Watches the mount table on a thread of its own and tells its callbacks
// which volume roots came and went: at once on the watcher's thread, or
// with smoothing one quiet period (a second) after a volume's last event, on
// that volume's notifier thread.
class XpVolumeWatchDogEx : public XpVolumeWatchDogBase {
 public:
  static constexpr uint32_t kQuietPeriodMs = 1000;

  // A null callback registers nothing.
  XpVolumeWatchDogEx(IXpVolumeWatchDogCallback* callback, bool smoothing);
  // Watches the table that source gives (null: /proc/self/mountinfo).
  XpVolumeWatchDogEx(IXpVolumeWatchDogCallback* callback, bool smoothing,
                     std::unique_ptr<IXpMountTableSource> source);
  XpVolumeWatchDogEx(const XpVolumeWatchDogEx&) = delete;
  XpVolumeWatchDogEx& operator=(const XpVolumeWatchDogEx&) = delete;
  ~XpVolumeWatchDogEx() override;

  // kXpErrWrongState when running; kXpErrSystem when the mount table cannot
  // be opened.
  [[nodiscard]] XpResult Start() override;
  // kXpErrWrongState when not running.
  [[nodiscard]] XpResult Stop() override;

  // Keeps a copy of a device-notification filter (a block whose first
  // 32-bit word is its size in bytes). The mount table needs no filter, so
  // nothing reads them. kXpErrBadArgument for null or a size below 4.
  [[nodiscard]] XpResult AddFilter(const void* filter);
  size_t GetFilterCount() const;

  // The kernel's id of the thread that watches the table; 0 when stopped.
  uint32_t GetWatcherThreadId() const;

  // For tests: a shorter quiet period.
  void SetQuietPeriodForTest(uint32_t milliseconds);
  // For tests: called on a notifier's thread each time it has processed its
  // queue, whether it reported or not.
  using SettledHook = std::function<void(const XpString& root)>;
  void SetSettledHookForTest(SettledHook hook);

 private:
  friend class _XpVolumeNotifier;

  void OnMountChange(const XpString& root, bool arrived);
  void Settled(const XpString& root);
  uint32_t QuietPeriodMs() const { return quietPeriodMs_.load(); }
  void StopNotifiers();

  const bool smoothing_;
  std::atomic<uint32_t> quietPeriodMs_{kQuietPeriodMs};
  mutable std::mutex filtersMutex_;
  std::vector<std::vector<uint8_t>> filters_;
  std::mutex notifiersMutex_;
  std::map<XpString, XpSharedPtr<_XpVolumeNotifier>> notifiers_;
  std::mutex hookMutex_;
  SettledHook settledHook_;
  XpMountWatcher watcher_;
};
