#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/sync/XpWaitClock.h"

namespace import_test {

// A mount table below the system root in which camera is a mount point.
void StageCameraMount(const std::filesystem::path& sysroot, const std::filesystem::path& camera);

// A DCF object over the files at paths, in order.
XpSharedPtr<XpDCFObj> MakeObject(const std::vector<std::filesystem::path>& paths);

// The names in folder, hidden ones included, sorted.
std::vector<std::string> NamesIn(const std::filesystem::path& folder);

std::string ReadAll(const std::filesystem::path& path);

// Records every sleep and lets a test act inside it; sleeps take no more
// than a moment of real time.
class RecordingClock : public XpWaitClock {
 public:
  using Hook = std::function<void(std::chrono::milliseconds)>;

  TimePoint Now() override;
  void SleepFor(std::chrono::milliseconds duration) override;

  void SetHook(Hook hook);
  std::vector<std::chrono::milliseconds> Sleeps() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::chrono::milliseconds> sleeps_;
  Hook hook_;
};

}  // namespace import_test
