#include "platform/volume/XpVolumeWatchDogBase.h"

XpResult XpVolumeWatchDogBase::AddCallback(IXpVolumeWatchDogCallback* callback) {
  if (callback == nullptr) return kXpErrBadArgument;
  std::lock_guard<std::mutex> lock(callbacksMutex_);
  callbacks_.push_back(callback);
  return kXpOk;
}

void XpVolumeWatchDogBase::RemoveCallback(IXpVolumeWatchDogCallback* callback) {
  std::lock_guard<std::mutex> lock(callbacksMutex_);
  callbacks_.remove(callback);
}

void XpVolumeWatchDogBase::Report(const XpString& root, bool arrived) {
  std::list<IXpVolumeWatchDogCallback*> callbacks;
  {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    callbacks = callbacks_;
  }
  for (IXpVolumeWatchDogCallback* callback : callbacks) {
    if (arrived) {
      callback->OnVolumeArrived(root);
    } else {
      callback->OnVolumeRemoved(root);
    }
  }
}
