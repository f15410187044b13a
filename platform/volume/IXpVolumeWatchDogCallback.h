#pragma once

#include "platform/text/XpString.h"

// A listener of the volume watchdogs. It is called on the watchdog's own
// threads, never on the thread that registered it, so it locks its own state.
// root is the volume's mount point with a trailing '/'.
class IXpVolumeWatchDogCallback {
 public:
  virtual ~IXpVolumeWatchDogCallback() = default;

  virtual void OnVolumeArrived(const XpString& root) = 0;
  virtual void OnVolumeRemoved(const XpString& root) = 0;
};
