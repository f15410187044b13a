#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"
#include "platform/volume/XpAbstractWatchDog.h"

// Polls the ready volumes every interval (5000 ms unless set) and tells each
// callback which roots went and which came, on the polling thread.
class XpVolumeWatchDog : public XpAbstractWatchDog {
 public:
  static constexpr uint32_t kPollIntervalMs = 5000;

  explicit XpVolumeWatchDog(bool lowerPriority);
  ~XpVolumeWatchDog() override;

  // kXpErrBadArgument for null; a callback added twice is called twice.
  [[nodiscard]] XpResult AddCallback(IXpVolumeWatchDogCallback* callback);
  // Removes every registration of callback.
  void RemoveCallback(IXpVolumeWatchDogCallback* callback);

  // The roots (mount point with '/') of the ready volumes, sorted.
  static std::vector<XpString> ScanReadyRoots();

 protected:
  uint32_t Run() override;
  // Takes the volumes seen before the first poll.
  void OnStarting() override;

 private:
  void Notify(const XpString& root, bool arrived);

  std::mutex callbacksMutex_;
  std::list<IXpVolumeWatchDogCallback*> callbacks_;
  // Touched by Start before the thread runs, then by the thread alone.
  std::vector<XpString> lastRoots_;
};
