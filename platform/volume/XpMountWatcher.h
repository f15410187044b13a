#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/system/XpMountTable.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpMountTableSource.h"

class XpThread;

// A thread that waits for the mount table to change, re-reads it, keeps the
// volumes the volume enumerator would list, and reports each root (mount
// point with '/') that went or came. Mounts are told apart by mount point
// and device, so a remount with other options is no change.
class XpMountWatcher {
 public:
  // Called on the watcher's thread: removals of one change first.
  using Listener = std::function<void(const XpString& root, bool arrived)>;

  // A null source watches /proc/self/mountinfo.
  XpMountWatcher(Listener listener, std::unique_ptr<IXpMountTableSource> source);
  XpMountWatcher(const XpMountWatcher&) = delete;
  XpMountWatcher& operator=(const XpMountWatcher&) = delete;
  ~XpMountWatcher();

  // Takes the table as it is now as the starting point. kXpErrWrongState
  // when running, kXpErrSystem when the table cannot be opened or read,
  // kXpErrOutOfMemory when the thread cannot be created.
  [[nodiscard]] XpResult Start();
  // kXpErrWrongState when not running.
  [[nodiscard]] XpResult Stop();
  bool IsRunning() const;
  // The kernel's id of the watcher's thread; 0 when not running.
  uint32_t GetThreadId() const;

  // The mounts that count as volumes: those the volume enumerator selects
  // (without floppies) that are ready.
  static std::vector<XpMountEntry> SelectReadyVolumes(const std::vector<XpMountEntry>& mounts);

 private:
  struct Mount {
    XpString mountPoint;
    uint32_t major = 0;
    uint32_t minor = 0;
    bool operator==(const Mount& other) const = default;
  };

  static uint32_t ThreadEntry(void* argument);
  uint32_t Run();
  bool ReadVolumes(std::vector<Mount>* volumes);
  void ReportChanges(const std::vector<Mount>& now);

  Listener listener_;
  std::unique_ptr<IXpMountTableSource> source_;
  mutable std::mutex threadMutex_;
  XpThread* thread_ = nullptr;
  // Touched by Start before the thread runs, then by the thread alone.
  std::vector<Mount> volumes_;
};
