#include "platform/volume/XpVolumeWatchDog.h"

#include <algorithm>
#include <utility>

#include "platform/path/XpPath.h"
#include "platform/system/XpMountTable.h"
#include "platform/volume/XpMountWatcher.h"

namespace {

bool Contains(const std::vector<XpString>& sortedRoots, const XpString& root) {
  return std::binary_search(sortedRoots.begin(), sortedRoots.end(), root);
}

}  // namespace

XpVolumeWatchDog::XpVolumeWatchDog(bool lowerPriority) : XpAbstractWatchDog(lowerPriority) {
  SetInterval(kPollIntervalMs);
}

XpVolumeWatchDog::~XpVolumeWatchDog() {
  (void)Stop();  // a destructor cannot report; the thread ends either way
}

std::vector<XpString> XpVolumeWatchDog::ScanReadyRoots() {
  XpMountTable table;
  // An unreadable mount table is empty and lists no ready volumes.
  (void)table.Load();
  std::vector<XpString> roots;
  for (const XpMountEntry& mount : XpMountWatcher::SelectReadyVolumes(table.Entries())) {
    XpString root = mount.mountPoint;
    XpPathAddTrailingBackslash(root);
    roots.push_back(root);
  }
  std::sort(roots.begin(), roots.end());
  roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  return roots;
}

void XpVolumeWatchDog::OnStarting() { lastRoots_ = ScanReadyRoots(); }

uint32_t XpVolumeWatchDog::Run() {
  while (WaitInterval()) {
    std::vector<XpString> roots = ScanReadyRoots();
    for (const XpString& root : lastRoots_) {
      if (!Contains(roots, root)) Report(root, false);
    }
    for (const XpString& root : roots) {
      if (!Contains(lastRoots_, root)) Report(root, true);
    }
    lastRoots_ = std::move(roots);
  }
  return kXpOk;
}
