#pragma once

#include <cstdint>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"
#include "platform/volume/XpAbstractWatchDog.h"
#include "platform/volume/XpVolumeWatchDogBase.h"

// Polls the ready volumes every interval (5000 ms unless set) and tells each
// callback which roots went and which came, on the polling thread.
class XpVolumeWatchDog : public XpAbstractWatchDog, public XpVolumeWatchDogBase {
 public:
  static constexpr uint32_t kPollIntervalMs = 5000;

  explicit XpVolumeWatchDog(bool lowerPriority);
  ~XpVolumeWatchDog() override;

  // The polling thread's start and stop serve both bases.
  [[nodiscard]] XpResult Start() override { return XpAbstractWatchDog::Start(); }
  [[nodiscard]] XpResult Stop() override { return XpAbstractWatchDog::Stop(); }

  // The roots (mount point with '/') of the ready volumes, sorted.
  static std::vector<XpString> ScanReadyRoots();

 protected:
  uint32_t Run() override;
  // Takes the volumes seen before the first poll.
  void OnStarting() override;

 private:
  // Touched by Start before the thread runs, then by the thread alone.
  std::vector<XpString> lastRoots_;
};
