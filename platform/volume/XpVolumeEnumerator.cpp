#include "platform/volume/XpVolumeEnumerator.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <map>
#include <new>
#include <utility>

#include "platform/fs/XpNetworkPath.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/volume/XpVolumeDevice.h"

namespace {

// File systems that hold no user volume even on a block device.
constexpr const char16_t* kPseudoTypes[] = {
    u"squashfs", u"erofs",   u"overlay",    u"tmpfs",     u"ramfs",       u"devtmpfs",
    u"proc",     u"sysfs",   u"cgroup",     u"cgroup2",   u"devpts",      u"mqueue",
    u"debugfs",  u"tracefs", u"securityfs", u"pstore",    u"bpf",         u"configfs",
    u"fusectl",  u"autofs",  u"hugetlbfs",  u"efivarfs",  u"binfmt_misc", u"nsfs",
};
constexpr std::u16string_view kWholeFileSystem = u"/";
constexpr std::u16string_view kBootFolder = u"/boot";

bool IsPseudo(const XpString& type) {
  return std::any_of(std::begin(kPseudoTypes), std::end(kPseudoTypes),
                     [&type](const char16_t* pseudo) { return type == pseudo; });
}

bool IsUnderBoot(const XpString& mountPoint) {
  const std::u16string_view view = mountPoint.View();
  if (view.substr(0, kBootFolder.size()) != kBootFolder) return false;
  return view.size() == kBootFolder.size() || view[kBootFolder.size()] == u'/';
}

bool IsCandidate(const XpMountEntry& mount, bool includeFloppies) {
  if (mount.major == 0 && !XpIsNetworkFileSystemType(mount.fileSystemType)) return false;
  if (IsPseudo(mount.fileSystemType)) return false;
  if (mount.root.View() != kWholeFileSystem) return false;
  if (IsUnderBoot(mount.mountPoint)) return false;
  return includeFloppies || !XpVolumeDevice(mount).IsFloppy();
}

// Of two mounts of one device the shorter mount point is the volume.
bool Prefer(const XpMountEntry& candidate, const XpMountEntry& kept) {
  const int32_t candidateLength = candidate.mountPoint.GetLength();
  const int32_t keptLength = kept.mountPoint.GetLength();
  if (candidateLength != keptLength) return candidateLength < keptLength;
  return candidate.mountPoint < kept.mountPoint;
}

bool StatvfsAnswers(const XpString& root) {
  struct statvfs info {};
  return XpSysCalls::Current().Statvfs(root.ToMultiByte().CStr(), &info) == 0;
}

}  // namespace

XpVolumeEnumerator::XpVolumeEnumerator() { Reset(false); }

void XpVolumeEnumerator::Reset(bool includeFloppies) {
  includeFloppies_ = includeFloppies;
  roots_.clear();
  next_ = 0;
  XpMountTable table;
  // An unreadable mount table is empty and lists no volumes.
  (void)table.Load();
  for (const XpMountEntry& mount : SelectVolumes(table.Entries(), includeFloppies)) {
    XpString root = mount.mountPoint;
    XpPathAddTrailingBackslash(root);
    roots_.push_back(root);
  }
}

void XpVolumeEnumerator::Close() {
  roots_.clear();
  next_ = 0;
}

XpSharedPtr<XpVolume> XpVolumeEnumerator::Next() {
  while (next_ < roots_.size()) {
    const XpString& root = roots_[next_++];
    if (!StatvfsAnswers(root)) continue;
    XpVolume* volume = new (std::nothrow) XpVolume(root);
    if (volume != nullptr) return XpSharedPtr<XpVolume>(volume);
  }
  return XpSharedPtr<XpVolume>();
}

std::vector<XpMountEntry> XpVolumeEnumerator::SelectVolumes(
    const std::vector<XpMountEntry>& mounts, bool includeFloppies) {
  // A mount on a point that is mounted again later is hidden beneath it.
  std::map<XpString, const XpMountEntry*> onTop;
  for (const XpMountEntry& mount : mounts) onTop[mount.mountPoint] = &mount;

  std::map<std::pair<uint32_t, uint32_t>, const XpMountEntry*> byDevice;
  for (const auto& [mountPoint, mount] : onTop) {
    if (!IsCandidate(*mount, includeFloppies)) continue;
    const auto device = std::make_pair(mount->major, mount->minor);
    auto found = byDevice.find(device);
    if (found == byDevice.end()) {
      byDevice.emplace(device, mount);
    } else if (Prefer(*mount, *found->second)) {
      found->second = mount;
    }
  }

  std::vector<XpMountEntry> volumes;
  for (const auto& [device, mount] : byDevice) volumes.push_back(*mount);
  std::sort(volumes.begin(), volumes.end(), [](const XpMountEntry& a, const XpMountEntry& b) {
    return a.mountPoint < b.mountPoint;
  });
  return volumes;
}

bool XpIsVolumeReady(const XpString& root, bool includeFloppies, uint32_t /*platformId*/) {
  if (!includeFloppies && XpIsFloppyDrive(root)) return false;
  return StatvfsAnswers(root);
}

bool XpIsFloppyDrive(const XpString& root) {
  XpVolumeDevice device;
  return device.Find(root) && device.IsFloppy();
}
