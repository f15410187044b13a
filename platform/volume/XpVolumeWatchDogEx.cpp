#include "platform/volume/XpVolumeWatchDogEx.h"

#include <chrono>
#include <cstring>
#include <new>
#include <utility>

#include "platform/thread/XpThread.h"

namespace {

constexpr uint8_t kStateRemoved = 0;
constexpr uint8_t kStateArrived = 1;
constexpr size_t kFilterSizeField = sizeof(uint32_t);

}  // namespace

_XpVolumeNotifier::_XpVolumeNotifier(XpVolumeWatchDogEx* owner, const XpString& root)
    : owner_(owner), root_(root) {}

_XpVolumeNotifier::~_XpVolumeNotifier() { Stop(); }

XpResult _XpVolumeNotifier::Start() {
  thread_ = XpThread::Create(&_XpVolumeNotifier::ThreadEntry, this);
  return thread_ != nullptr ? kXpOk : kXpErrOutOfMemory;
}

void _XpVolumeNotifier::Stop() {
  if (thread_ == nullptr) return;
  {
    std::lock_guard<XpCriticalSection> lock(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  XpThread::Join(thread_);
  thread_ = nullptr;
}

void _XpVolumeNotifier::Push(bool arrived) {
  {
    std::lock_guard<XpCriticalSection> lock(lock_);
    states_.push_back(arrived ? kStateArrived : kStateRemoved);
    changed_ = true;
  }
  wake_.notify_all();
}

uint32_t _XpVolumeNotifier::ThreadEntry(void* argument) {
  static_cast<_XpVolumeNotifier*>(argument)->Run();
  return kXpOk;
}

void _XpVolumeNotifier::Run() {
  while (WaitForFirstChange()) {
    if (!WaitUntilQuiet()) return;
    Process();
  }
}

bool _XpVolumeNotifier::WaitForFirstChange() {
  std::unique_lock<XpCriticalSection> lock(lock_);
  wake_.wait(lock, [this] { return changed_ || stopping_; });
  return !stopping_;
}

bool _XpVolumeNotifier::WaitUntilQuiet() {
  std::unique_lock<XpCriticalSection> lock(lock_);
  const auto quiet = std::chrono::milliseconds(owner_->QuietPeriodMs());
  for (;;) {
    changed_ = false;
    const bool woken = wake_.wait_for(lock, quiet, [this] { return changed_ || stopping_; });
    if (stopping_) return false;
    if (!woken) return true;
  }
}

void _XpVolumeNotifier::Process() {
  uint8_t first = kStateRemoved;
  uint8_t last = kStateRemoved;
  {
    std::lock_guard<XpCriticalSection> lock(lock_);
    if (states_.empty()) return;
    first = states_.front();
    last = states_.back();
    states_.clear();
  }
  if (first == last) owner_->Report(root_, first == kStateArrived);
  owner_->Settled(root_);
}

XpVolumeWatchDogEx::XpVolumeWatchDogEx(IXpVolumeWatchDogCallback* callback, bool smoothing)
    : XpVolumeWatchDogEx(callback, smoothing, nullptr) {}

XpVolumeWatchDogEx::XpVolumeWatchDogEx(IXpVolumeWatchDogCallback* callback, bool smoothing,
                                       std::unique_ptr<IXpMountTableSource> source)
    : smoothing_(smoothing),
      watcher_([this](const XpString& root, bool arrived) { OnMountChange(root, arrived); },
               std::move(source)) {
  // A null callback is refused, which is what registering nothing means.
  (void)AddCallback(callback);
}

XpVolumeWatchDogEx::~XpVolumeWatchDogEx() {
  (void)Stop();  // a destructor cannot report; the thread ends either way
}

XpResult XpVolumeWatchDogEx::Start() { return watcher_.Start(); }

XpResult XpVolumeWatchDogEx::Stop() {
  const XpResult result = watcher_.Stop();
  StopNotifiers();
  return result;
}

XpResult XpVolumeWatchDogEx::AddFilter(const void* filter) {
  if (filter == nullptr) return kXpErrBadArgument;
  uint32_t size = 0;
  std::memcpy(&size, filter, sizeof(size));
  if (size < kFilterSizeField) return kXpErrBadArgument;
  const auto* bytes = static_cast<const uint8_t*>(filter);
  std::lock_guard<std::mutex> lock(filtersMutex_);
  filters_.emplace_back(bytes, bytes + size);
  return kXpOk;
}

size_t XpVolumeWatchDogEx::GetFilterCount() const {
  std::lock_guard<std::mutex> lock(filtersMutex_);
  return filters_.size();
}

uint32_t XpVolumeWatchDogEx::GetWatcherThreadId() const { return watcher_.GetThreadId(); }

void XpVolumeWatchDogEx::SetQuietPeriodForTest(uint32_t milliseconds) {
  quietPeriodMs_.store(milliseconds);
}

void XpVolumeWatchDogEx::SetSettledHookForTest(SettledHook hook) {
  std::lock_guard<std::mutex> lock(hookMutex_);
  settledHook_ = std::move(hook);
}

void XpVolumeWatchDogEx::OnMountChange(const XpString& root, bool arrived) {
  if (!smoothing_) {
    Report(root, arrived);
    return;
  }
  XpSharedPtr<_XpVolumeNotifier> notifier;
  {
    std::lock_guard<std::mutex> lock(notifiersMutex_);
    auto found = notifiers_.find(root);
    if (found != notifiers_.end()) {
      notifier = found->second;
    } else {
      notifier = XpSharedPtr<_XpVolumeNotifier>(new (std::nothrow) _XpVolumeNotifier(this, root));
      if (notifier && XpSucceeded(notifier->Start())) {
        notifiers_.emplace(root, notifier);
      } else {
        notifier = XpSharedPtr<_XpVolumeNotifier>();
      }
    }
  }
  // Without a notifier the change is still told, only not smoothed.
  if (!notifier) {
    Report(root, arrived);
    return;
  }
  notifier->Push(arrived);
}

void XpVolumeWatchDogEx::Settled(const XpString& root) {
  SettledHook hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex_);
    hook = settledHook_;
  }
  if (hook) hook(root);
}

void XpVolumeWatchDogEx::StopNotifiers() {
  std::map<XpString, XpSharedPtr<_XpVolumeNotifier>> notifiers;
  {
    std::lock_guard<std::mutex> lock(notifiersMutex_);
    notifiers.swap(notifiers_);
  }
  for (auto& [root, notifier] : notifiers) notifier->Stop();
}
