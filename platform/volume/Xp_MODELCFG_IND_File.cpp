#include "platform/volume/Xp_MODELCFG_IND_File.h"

#include <algorithm>

#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kFileName = u"MODELCFG.IND";
constexpr uint8_t kMagic[] = {'K', 'T'};

constexpr size_t kMajorIndex = 2;
constexpr size_t kMinorIndex = 3;
constexpr size_t kWordIndex = 4;
constexpr size_t kCopyIndex = 8;
constexpr size_t kCopySize = 4;
constexpr size_t kFeatureIndex = 12;
constexpr size_t kByte16 = 16;
constexpr size_t kByte17 = 17;
constexpr size_t kByte18 = 18;
constexpr size_t kByte19 = 19;
// The version that brought the feature byte.
constexpr uint8_t kFeatureMajor = 1;
constexpr uint8_t kFeatureMinor = 1;
constexpr int32_t kByte16Gated = 2;

}  // namespace

Xp_MODELCFG_IND_File::Xp_MODELCFG_IND_File() = default;

Xp_MODELCFG_IND_File::Xp_MODELCFG_IND_File(const XpString& path) {
  (void)Xp_MODELCFG_IND_File::SetFile(path);  // kept as GetLoadResult
}

XpResult Xp_MODELCFG_IND_File::SetFile(const XpString& path) {
  const XpResult result = XpFile::SetFile(path);
  return result == kXpOk ? Xp_MODELCFG_IND_File::Load() : result;
}

XpResult Xp_MODELCFG_IND_File::Load() {
  valid_ = false;
  loadResult_ = Open(kXpOpenRead);
  if (loadResult_ != kXpOk) {
    return loadResult_;
  }
  uint64_t done = 0;
  const XpResult readResult = Read(bytes_.data(), bytes_.size(), &done);
  valid_ = readResult == kXpOk && done == kFileSize && bytes_[0] == kMagic[0] &&
           bytes_[1] == kMagic[1];
  const XpResult closeResult = Close();
  if (readResult != kXpOk) {
    loadResult_ = readResult;
  } else if (closeResult != kXpOk) {
    valid_ = false;
    loadResult_ = closeResult;
  }
  return loadResult_;
}

uint16_t Xp_MODELCFG_IND_File::GetWord4() const {
  if (!valid_) {
    return 0;
  }
  return static_cast<uint16_t>(bytes_[kWordIndex] | (bytes_[kWordIndex + 1] << 8));
}

XpResult Xp_MODELCFG_IND_File::CopyBytes8To11(uint8_t* destination) const {
  if (destination == nullptr) {
    return kXpErrBadArgument;
  }
  if (loadResult_ == kXpOk) {
    std::copy_n(bytes_.begin() + kCopyIndex, kCopySize, destination);
  }
  return loadResult_;
}

int32_t Xp_MODELCFG_IND_File::GetByte16Bit7() const {
  if (!IsByte12Bit7Clear()) {
    return kByte16Gated;
  }
  return IsBitClear(kByte16, 7) ? 0 : 1;
}

bool Xp_MODELCFG_IND_File::IsByte17Bit7Clear() const {
  return IsByte12Bit6Clear() && IsBitClear(kByte17, 7);
}

bool Xp_MODELCFG_IND_File::IsByte18Bit7Clear() const {
  return IsByte12Bit5Clear() && IsBitClear(kByte18, 7);
}

bool Xp_MODELCFG_IND_File::IsByte18Bit6Clear() const {
  return IsByte12Bit5Clear() && IsBitClear(kByte18, 6);
}

bool Xp_MODELCFG_IND_File::IsByte18Bit5Clear() const {
  return IsByte12Bit5Clear() && IsBitClear(kByte18, 5);
}

bool Xp_MODELCFG_IND_File::IsByte19Bit7Clear() const {
  return IsByte12Bit4Clear() && IsBitClear(kByte19, 7);
}

bool Xp_MODELCFG_IND_File::IsByte19Bit6Clear() const {
  return IsByte12Bit4Clear() && IsBitClear(kByte19, 6);
}

bool Xp_MODELCFG_IND_File::IsByte19Bit5Clear() const {
  return IsByte12Bit4Clear() && IsBitClear(kByte19, 5);
}

bool Xp_MODELCFG_IND_File::IsVersionAtLeast(uint8_t major, uint8_t minor) const {
  return major < bytes_[kMajorIndex] || (major == bytes_[kMajorIndex] && minor <= bytes_[kMinorIndex]);
}

bool Xp_MODELCFG_IND_File::IsByte12Bit7Clear() const {
  return IsVersionAtLeast(kFeatureMajor, kFeatureMinor) && IsBitClear(kFeatureIndex, 7);
}

bool Xp_MODELCFG_IND_File::IsByte12Bit6Clear() const {
  return IsVersionAtLeast(kFeatureMajor, kFeatureMinor) && IsBitClear(kFeatureIndex, 6);
}

bool Xp_MODELCFG_IND_File::IsByte12Bit5Clear() const {
  return IsVersionAtLeast(kFeatureMajor, kFeatureMinor) && IsBitClear(kFeatureIndex, 5);
}

bool Xp_MODELCFG_IND_File::IsByte12Bit4Clear() const {
  return IsVersionAtLeast(kFeatureMajor, kFeatureMinor) && IsBitClear(kFeatureIndex, 4);
}

bool Xp_MODELCFG_IND_File::IsBitClear(size_t index, int bit) const {
  return (bytes_[index] & (1u << bit)) == 0;
}

const char16_t* Xp_MODELCFG_IND_File::GetFileName() { return kFileName; }

XpString Xp_MODELCFG_IND_File::PathForFolderName(const XpString& path) {
  return XpPathJoin(XpPathGetRoot(path), kFileName);
}

XpString Xp_MODELCFG_IND_File::PathForFolder(const XpAbstractFSObj& folder) {
  return PathForFolderName(folder.GetPath());
}
