#include "platform/volume/XpVolumeWatchDogWrapper.h"

#include <new>
#include <utility>

#include "platform/system/XpSystemInfo.h"

namespace {

constexpr uint32_t kFirstEventDrivenMajor = 5;
constexpr uint32_t kFirstEventDrivenMinor = 1;

bool SystemChoosesEventDriven() {
  uint32_t platformId = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  if (XpFailed(XpGetOSVersion(&platformId, &major, &minor))) return false;
  return XpVolumeWatchDogWrapper::ChoosesEventDriven(platformId, major, minor);
}

}  // namespace

XpVolumeWatchDogWrapper::XpVolumeWatchDogWrapper(IXpVolumeWatchDogCallback* callback,
                                                 bool smoothing)
    : XpVolumeWatchDogWrapper(callback, smoothing, nullptr) {}

XpVolumeWatchDogWrapper::XpVolumeWatchDogWrapper(IXpVolumeWatchDogCallback* callback,
                                                 bool smoothing,
                                                 std::unique_ptr<IXpMountTableSource> source)
    : eventDriven_(SystemChoosesEventDriven()) {
  if (eventDriven_) {
    watcher_ = XpSharedPtr<XpVolumeWatchDogEx>(
        new (std::nothrow) XpVolumeWatchDogEx(callback, smoothing, std::move(source)));
    return;
  }
  polling_ = XpSharedPtr<XpVolumeWatchDog>(new (std::nothrow) XpVolumeWatchDog(false));
  // A constructor cannot report: without the callback no change is told.
  if (polling_ && callback != nullptr) (void)polling_->AddCallback(callback);
}

XpVolumeWatchDogWrapper::~XpVolumeWatchDogWrapper() = default;

bool XpVolumeWatchDogWrapper::ChoosesEventDriven(uint32_t platformId, uint32_t major,
                                                 uint32_t minor) {
  if (platformId != kXpPlatformWin32NT) return false;
  return major > kFirstEventDrivenMajor ||
         (major == kFirstEventDrivenMajor && minor >= kFirstEventDrivenMinor);
}

bool XpVolumeWatchDogWrapper::HasWatchDog() const { return Chosen() != nullptr; }

void XpVolumeWatchDogWrapper::SetQuietPeriodForTest(uint32_t milliseconds) {
  if (watcher_) watcher_->SetQuietPeriodForTest(milliseconds);
}

XpVolumeWatchDogBase* XpVolumeWatchDogWrapper::Chosen() const {
  if (watcher_) return watcher_.Get();
  return polling_.Get();
}

XpResult XpVolumeWatchDogWrapper::AddCallback(IXpVolumeWatchDogCallback* callback) {
  XpVolumeWatchDogBase* chosen = Chosen();
  if (chosen == nullptr) return kXpErrWrongState;
  return chosen->AddCallback(callback);
}

XpResult XpVolumeWatchDogWrapper::RemoveCallback(IXpVolumeWatchDogCallback* callback) {
  XpVolumeWatchDogBase* chosen = Chosen();
  if (chosen == nullptr) return kXpErrWrongState;
  chosen->RemoveCallback(callback);
  return kXpOk;
}

XpResult XpVolumeWatchDogWrapper::Start() {
  XpVolumeWatchDogBase* chosen = Chosen();
  if (chosen == nullptr) return kXpErrWrongState;
  return chosen->Start();
}

XpResult XpVolumeWatchDogWrapper::Stop() {
  XpVolumeWatchDogBase* chosen = Chosen();
  if (chosen == nullptr) return kXpErrWrongState;
  return chosen->Stop();
}
