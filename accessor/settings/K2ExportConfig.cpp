#include "accessor/settings/K2ExportConfig.h"

#include "platform/fs/XpPathQueries.h"
#include "platform/registry/XpRegistry.h"
#include "platform/shell/XpSpecialFolder.h"

namespace {

constexpr bool kDefaultChangeImageFileSize = true;
constexpr uint32_t kDefaultImageFileSize = 0;
constexpr bool kDefaultPictureCutting = false;
constexpr char16_t kPathSeparator = u'/';
constexpr char16_t kKeySeparator = u'\\';

XpString SystemTempFolder() { return XpGetSpecialFolder(kXpFolderTemp, false); }

// The user's settings key of the version the machine records; false when
// the machine's key cannot be opened or the settings key cannot be opened
// with access.
bool OpenSettingsKey(XpRegistry& key, uint32_t access) {
  XpRegistry versionKey;
  if (versionKey.Open(K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine,
                      XpRegistry::kAccessRead) != kXpOk) {
    return false;
  }
  const XpString version = versionKey.QueryString(K2ExportConfig::kVersionValue, XpString());
  XpString path = K2ExportConfig::kVersionKeyPath;
  path += kKeySeparator;
  path += version;
  return key.Open(path, XpRegistry::kRootCurrentUser, access) == kXpOk;
}

// The folder without one trailing '/'; the root "/" stays as it is.
std::u16string_view WithoutTrailingSeparator(const XpString& folder) {
  std::u16string_view view = folder.View();
  if (view.size() > 1 && view.back() == kPathSeparator) view.remove_suffix(1);
  return view;
}

bool FoldersDiffer(const XpString& a, const XpString& b) {
  return WithoutTrailingSeparator(a) != WithoutTrailingSeparator(b);
}

}  // namespace

K2ExportConfig::K2ExportConfig() = default;

K2ExportConfig::K2ExportConfig(const K2ExportConfig& other) = default;

K2ExportConfig& K2ExportConfig::operator=(const K2ExportConfig& other) = default;

K2ExportConfig::~K2ExportConfig() = default;

void K2ExportConfig::SetDefaults() {
  changeImageFileSize_ = kDefaultChangeImageFileSize;
  imageFileSize_ = kDefaultImageFileSize;
  pictureCutting_ = kDefaultPictureCutting;
  tempDir_ = SystemTempFolder();
}

XpResult K2ExportConfig::Load() {
  XpRegistry key;
  if (!OpenSettingsKey(key, XpRegistry::kAccessRead)) {
    SetDefaults();
    return kXpOk;
  }
  changeImageFileSize_ = key.QueryBool(kChangeImageFileSizeValue, kDefaultChangeImageFileSize);
  imageFileSize_ = key.QueryDword(kImageFileSizeValue, kDefaultImageFileSize);
  pictureCutting_ = key.QueryBool(kPictureCuttingValue, kDefaultPictureCutting);
  tempDir_ = key.QueryString(kTempDirValue, XpString());
  if (!XpDirectoryExists(tempDir_)) tempDir_ = SystemTempFolder();
  return kXpOk;
}

XpResult K2ExportConfig::Save() const {
  XpRegistry key;
  if (!OpenSettingsKey(key, XpRegistry::kAccessWrite)) return kXpErrGeneric;
  if (key.SetBool(kChangeImageFileSizeValue, changeImageFileSize_) != kXpOk) return kXpErrGeneric;
  if (key.SetBool(kPictureCuttingValue, pictureCutting_) != kXpOk) return kXpErrGeneric;
  if (key.SetDword(kImageFileSizeValue, imageFileSize_) != kXpOk) return kXpErrGeneric;
  if (key.SetString(kTempDirValue, tempDir_) != kXpOk) return kXpErrGeneric;
  return kXpOk;
}

bool K2ExportConfig::IsTempDirDifferent(const K2ExportConfig& other) const {
  return FoldersDiffer(tempDir_, other.tempDir_);
}

bool K2ExportConfig::IsConversionDifferent(const K2ExportConfig& other) const {
  if (changeImageFileSize_ != other.changeImageFileSize_) return true;
  if (!changeImageFileSize_) return false;
  return imageFileSize_ != other.imageFileSize_ || pictureCutting_ != other.pictureCutting_;
}

bool K2ExportConfig::IsDestinationDifferent(const K2ExportConfig& other) const {
  return FoldersDiffer(destination_, other.destination_);
}

bool K2ExportConfig::IsDifferent(const K2ExportConfig& other) const {
  return IsTempDirDifferent(other) || IsConversionDifferent(other) || IsDestinationDifferent(other);
}
