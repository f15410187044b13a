#include "platform/volume/XpVolume.h"

#include <sys/statvfs.h>

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/system/XpSystemInfo.h"
#include "platform/volume/XpVolumeDevice.h"
#include "platform/volume/XpVolumeGuidFile.h"
#include "platform/volume/XpVIDFile.h"
#include "platform/volume/Xp_MODELCFG_IND_File.h"
#include "platform/volume/Xp_VOLUMEID_IND_File.h"

namespace {

std::atomic<bool> gSetupIdOrder{false};

// The kind of drive a volume is.
enum class DriveKind { kUnknown, kRemote, kCdRom, kRemovable, kFixed };

constexpr const char16_t* kMemoryCardDatabaseFolder = u"/VELDRA/DBFILES";
constexpr const char16_t* kDatabaseFolder = u"/DBFILES";
constexpr const char* kLabelLinks = "by-label";
constexpr const char* kUuidLinks = "by-uuid";
constexpr const char* kUdevLabel = "ID_FS_LABEL";
constexpr const char* kUdevUuid = "ID_FS_UUID";
constexpr const char* kUdevType = "ID_FS_TYPE";
constexpr const char* kUdevVersion = "ID_FS_VERSION";
constexpr std::string_view kFat32Version = "FAT32";
constexpr std::string_view kBuiltInMemorySignature = "Flash";
// The fewest clusters a FAT32 file system has.
constexpr uint64_t kFat32MinimumClusters = 65525;
constexpr size_t kSerialDigits = 8;
constexpr size_t kNtfsSerialDigits = 16;
constexpr uint32_t kFirstWritableCdMajor = 5;
constexpr uint32_t kFirstWritableCdMinor = 1;
constexpr int kHexBase = 16;

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

bool IsAllHex(std::string_view text) {
  for (const char ch : text) {
    if (HexValue(ch) < 0) return false;
  }
  return true;
}

uint32_t ParseHex(std::string_view digits) {
  uint32_t value = 0;
  for (const char ch : digits) value = value * kHexBase + static_cast<uint32_t>(HexValue(ch));
  return value;
}

// "1234-ABCD" (FAT, exFAT) gives 0x1234ABCD, 16 hex digits (NTFS) their low
// 32 bits, any other UUID its first eight hex digits.
uint32_t SerialFromUuid(std::string_view uuid) {
  if (uuid.size() == kNtfsSerialDigits && IsAllHex(uuid)) {
    return ParseHex(uuid.substr(kNtfsSerialDigits - kSerialDigits));
  }
  std::string digits;
  for (const char ch : uuid) {
    if (ch == '-') continue;
    if (HexValue(ch) < 0 || digits.size() == kSerialDigits) break;
    digits += ch;
  }
  return ParseHex(digits);
}

// A /dev/disk link name with udev's "\xNN" escapes turned back into bytes.
std::string DecodeLinkName(std::string_view name) {
  std::string decoded;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool escaped = name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
                         HexValue(name[i + 2]) >= 0 && HexValue(name[i + 3]) >= 0;
    if (!escaped) {
      decoded += name[i];
      continue;
    }
    decoded += static_cast<char>(HexValue(name[i + 2]) * kHexBase + HexValue(name[i + 3]));
    i += 3;
  }
  return decoded;
}

DriveKind KindOf(const XpVolumeDevice& device) {
  if (!device.IsFound()) return DriveKind::kUnknown;
  if (device.IsNetwork()) return DriveKind::kRemote;
  if (device.IsOptical()) return DriveKind::kCdRom;
  if (device.IsRemovable()) return DriveKind::kRemovable;
  return DriveKind::kFixed;
}

DriveKind KindOf(const XpString& root) {
  XpVolumeDevice device;
  device.Find(root);
  return KindOf(device);
}

// The file begins with the bytes of signature.
bool FileBeginsWith(const XpString& path, std::string_view signature) {
  XpFile file(path);
  if (XpFailed(file.Open(kXpOpenRead))) return false;
  std::string bytes(signature.size(), '\0');
  uint64_t done = 0;
  const XpResult result = file.Read(bytes.data(), bytes.size(), &done);
  (void)file.Close();  // opened for reading: nothing to lose
  return XpSucceeded(result) && done == signature.size() && bytes == signature;
}

XpFileSystemType FatTypeOf(const XpVolumeDevice& device, const XpString& root) {
  std::string version;
  if (device.GetUdevProperty(kUdevVersion, &version)) {
    return version == kFat32Version ? kXpFileSystemFat32 : kXpFileSystemFat;
  }
  struct statvfs info {};
  if (XpSysCalls::Current().Statvfs(root.ToMultiByte().CStr(), &info) != 0) {
    return kXpFileSystemOther;
  }
  return info.f_blocks >= kFat32MinimumClusters ? kXpFileSystemFat32 : kXpFileSystemFat;
}

}  // namespace

XpVolume::XpVolume(const XpString& path) : XpDir(path) {
  (void)SetPath(XpPathGetRoot(path));  // the root that holds path, or ""
}

XpVolume::~XpVolume() = default;

XpString XpVolume::GetName() const {
  XpVolumeDevice device;
  if (device.Find(path_)) {
    std::string label;
    if (device.FindDiskLink(kLabelLinks, &label)) return XpString::FromUtf8(DecodeLinkName(label));
    if (device.GetUdevProperty(kUdevLabel, &label) && !label.empty())
      return XpString::FromUtf8(label);
  }
  const XpString leaf = XpPathGetLeafName(path_);
  return leaf.IsEmpty() ? path_ : leaf;
}

XpString XpVolume::GetVolumeId() {
  const uint32_t serial = GetVolumeSerial();
  if (serial != 0) {
    XpString id;
    (void)id.Format(u"%08x", serial);  // a number always formats
    return id;
  }
  const Xp_VOLUMEID_IND_File cameraFile(Xp_VOLUMEID_IND_File::PathForFolder(path_));
  const XpString cameraId = cameraFile.GetIdString();
  if (!cameraId.IsEmpty()) return cameraId;
  if (gSetupIdOrder.load()) return XpVIDFile::IdentifierForRoot(path_);
  return XpVolumeGuidFile::ReadOrCreate(path_);
}

void XpVolume::UseSetupIdOrder(bool on) { gSetupIdOrder.store(on); }

bool XpVolume::IsRemovable() {
  if (KindOf(path_) != DriveKind::kFixed) return true;
  return XpFileExists(AtRoot(kXpMemoryCardMarker)) && GetFileSystemType() == kXpFileSystemFat;
}

bool XpVolume::IsRemote() { return KindOf(path_) == DriveKind::kRemote; }

bool XpVolume::IsCdRom() { return KindOf(path_) == DriveKind::kCdRom; }

bool XpVolume::IsWritableCdRom() {
  XpVolumeDevice device;
  device.Find(path_);
  if (KindOf(device) != DriveKind::kCdRom) return false;
  uint32_t major = 0;
  uint32_t minor = 0;
  if (XpFailed(XpGetOSVersion(nullptr, &major, &minor))) return false;
  const bool recentSystem = major > kFirstWritableCdMajor ||
                            (major == kFirstWritableCdMajor && minor >= kFirstWritableCdMinor);
  return recentSystem && device.IsMountedReadWrite();
}

XpFileSystemType XpVolume::GetFileSystemType() {
  XpVolumeDevice device;
  if (!device.Find(path_)) return kXpFileSystemOther;
  const XpString& type = device.Mount().fileSystemType;
  if (type == u"ntfs" || type == u"ntfs3") return kXpFileSystemNtfs;
  if (type == u"fuseblk") {
    std::string udevType;
    return device.GetUdevProperty(kUdevType, &udevType) && udevType == "ntfs" ? kXpFileSystemNtfs
                                                                              : kXpFileSystemOther;
  }
  if (type == u"vfat" || type == u"msdos") return FatTypeOf(device, path_);
  return kXpFileSystemOther;
}

XpMediaKind XpVolume::GetMediaKind() {
  if (XpFileExists(AtRoot(kXpBuiltInMemoryMarker)) ||
      FileBeginsWith(AtRoot(kXpSystemReferenceFile), kBuiltInMemorySignature)) {
    return kXpMediaBuiltInMemory;
  }
  if (XpPathExists(AtRoot(kXpMemoryCardMarker))) return kXpMediaMemoryCard;
  if (XpPathExists(AtRoot(kXpCompactFlashMarker))) return kXpMediaCompactFlash;
  const Xp_MODELCFG_IND_File modelFile(Xp_MODELCFG_IND_File::PathForFolder(*this));
  if (modelFile.IsValid()) return kXpMediaBuiltInMemory;
  return kXpMediaOther;
}

bool XpVolume::HasDatabaseFolder() { return XpDirectoryExists(GetDatabaseFolderPath()); }

XpString XpVolume::GetDatabaseFolderPath() {
  const bool memoryCard = GetMediaKind() == kXpMediaMemoryCard;
  return AtRoot(memoryCard ? kMemoryCardDatabaseFolder : kDatabaseFolder);
}

uint32_t XpVolume::GetVolumeSerial() const {
  XpVolumeDevice device;
  if (!device.Find(path_)) return 0;
  std::string uuid;
  if (device.FindDiskLink(kUuidLinks, &uuid) || device.GetUdevProperty(kUdevUuid, &uuid)) {
    return SerialFromUuid(DecodeLinkName(uuid));
  }
  return 0;
}

XpString XpVolume::AtRoot(const char16_t* name) const {
  // A volume without a root must not test names in the working folder.
  return path_.IsEmpty() ? XpString() : XpPathJoin(path_, name);
}

uint32_t XpVolume::GetPartitionNumber() const {
  XpVolumeDevice device;
  return device.Find(path_) ? device.PartitionNumber() : 0;
}
