#pragma once

#include <list>
#include <mutex>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"

// What every volume watchdog offers: a start and a stop, and the callbacks
// it tells which volume roots came and went.
class XpVolumeWatchDogBase {
 public:
  XpVolumeWatchDogBase() = default;
  XpVolumeWatchDogBase(const XpVolumeWatchDogBase&) = delete;
  XpVolumeWatchDogBase& operator=(const XpVolumeWatchDogBase&) = delete;
  virtual ~XpVolumeWatchDogBase() = default;

  [[nodiscard]] virtual XpResult Start() = 0;
  [[nodiscard]] virtual XpResult Stop() = 0;

  // kXpErrBadArgument for null; a callback added twice is called twice.
  [[nodiscard]] XpResult AddCallback(IXpVolumeWatchDogCallback* callback);
  // Removes every registration of callback.
  void RemoveCallback(IXpVolumeWatchDogCallback* callback);

 protected:
  // Tells every callback registered now, on the calling thread and without
  // holding the list, so a callback may add or remove callbacks.
  void Report(const XpString& root, bool arrived);

 private:
  std::mutex callbacksMutex_;
  std::list<IXpVolumeWatchDogCallback*> callbacks_;
};
