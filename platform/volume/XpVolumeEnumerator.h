#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/memory/XpSharedPtr.h"
#include "platform/system/XpMountTable.h"
#include "platform/text/XpString.h"
#include "platform/volume/XpVolume.h"

// Walks the mounted volumes that are ready, in mount-point order. The list
// of mounts is taken when the walk starts (construction, Reset); readiness
// is asked as each one is reached.
class XpVolumeEnumerator {
 public:
  // Starts a walk without floppies.
  XpVolumeEnumerator();

  // Starts a new walk over the mount table as it is now.
  void Reset(bool includeFloppies);
  // Ends the walk: Next gives nothing until Reset.
  void Close();
  // The next ready volume; empty at the end.
  XpSharedPtr<XpVolume> Next();

  // The mounts that are volumes, sorted by mount point: block devices and
  // network file systems, without pseudo and image file systems, bind
  // mounts of a sub-folder, second mounts of one device (the shorter mount
  // point stays), /boot and below, and floppies unless asked for.
  static std::vector<XpMountEntry> SelectVolumes(const std::vector<XpMountEntry>& mounts,
                                                 bool includeFloppies);

 private:
  bool includeFloppies_ = false;
  std::vector<XpString> roots_;
  size_t next_ = 0;
};

// A volume root (the mount point with or without its '/') is ready: it is
// no floppy unless floppies are included, and statvfs answers for it. The
// platform argument is ignored.
bool XpIsVolumeReady(const XpString& root, bool includeFloppies, uint32_t platformId = 0);

// The mount at root is a floppy drive ("fd*").
bool XpIsFloppyDrive(const XpString& root);
