#pragma once

#include <cstdint>

#include "platform/fs/XpDir.h"

// What kind of camera medium a volume holds.
using XpMediaKind = uint32_t;
inline constexpr XpMediaKind kXpMediaOther = 0;
inline constexpr XpMediaKind kXpMediaMemoryCard = 1;
inline constexpr XpMediaKind kXpMediaCompactFlash = 2;
inline constexpr XpMediaKind kXpMediaBuiltInMemory = 3;

using XpFileSystemType = uint32_t;
inline constexpr XpFileSystemType kXpFileSystemOther = 0;
inline constexpr XpFileSystemType kXpFileSystemFat = 1;
inline constexpr XpFileSystemType kXpFileSystemFat32 = 2;
inline constexpr XpFileSystemType kXpFileSystemNtfs = 3;

// Marker files and folders at the root of camera media.
inline constexpr const char16_t* kXpBuiltInMemoryMarker = u"BLTINMEM.IND";
inline constexpr const char16_t* kXpSystemReferenceFile = u"DATA/sysref";
inline constexpr const char16_t* kXpMemoryCardMarker = u"TARVELON.IND";
inline constexpr const char16_t* kXpCompactFlashMarker = u"KAVOCF.IND";

// A mounted volume, seen as the folder at its mount point, that can also
// tell what kind of drive and medium it is. Its path is always the mount
// point with a trailing '/'.
class XpVolume : public XpDir {
 public:
  // Keeps only the root of the volume that holds path (XpPathGetRoot).
  explicit XpVolume(const XpString& path);
  ~XpVolume() override;

  // The file-system label, else the mount point's leaf name, else the path.
  XpString GetName() const override;

  // The volume serial as eight lower-case hex digits, else the identifier
  // the camera wrote ("VOLUMEID.IND"), else the one this system keeps in
  // ".KavoVID" (made when missing); "" when none can be had. In setup's
  // order the last source is XpVIDFile::IdentifierForRoot instead.
  virtual XpString GetVolumeId();
  // Turns setup's order of identifier sources on or off for the whole
  // process; off at start.
  static void UseSetupIdOrder(bool on);
  // Not a fixed disk; a fixed disk holding "TARVELON.IND" with a FAT (not
  // FAT32) file system also counts.
  virtual bool IsRemovable();
  virtual bool IsRemote();
  virtual bool IsCdRom();
  // An optical volume mounted read-write.
  virtual bool IsWritableCdRom();
  virtual XpFileSystemType GetFileSystemType();
  virtual XpMediaKind GetMediaKind();
  virtual bool HasDatabaseFolder();

  // "<root>VELDRA/DBFILES" on a memory card, else "<root>DBFILES".
  XpString GetDatabaseFolderPath();
  // The file system's serial number from its UUID (by-uuid link, else
  // udev); 0 when it has none.
  uint32_t GetVolumeSerial() const;
  // The partition number of the volume's device; 0 for a whole disk or
  // when unknown.
  uint32_t GetPartitionNumber() const;

 private:
  // name (a path below the root) at the root; "" when there is no root.
  XpString AtRoot(const char16_t* name) const;
};
