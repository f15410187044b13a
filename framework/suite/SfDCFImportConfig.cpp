#include "framework/suite/SfDCFImportConfig.h"

#include "framework/suite/SfSuiteRegistry.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"

namespace {

constexpr const char16_t* kSettingsKeyPath =
    u"Software\\Kavo Corporation\\Kavo Telvane\\Importer\\DCF";
constexpr const char16_t* kKeySeparator = u"\\";
constexpr const char16_t* kCurrentVersionValue = u"CurrentVersion";
constexpr const char16_t* kAutomaticImportValue = u"AutomaticImport";
constexpr const char16_t* kDifferentialImportValue = u"DifferantialImport";
constexpr const char16_t* kRemoveAfterImportValue = u"RemoveAfterImport";
constexpr const char16_t* kDestDirValue = u"DestDir";
constexpr const char16_t* kMyDocumentsToken = u"<MYDOCUMENTS>";
constexpr const char16_t* kVolumeTokenFormat = u"<%08X%08X>";
constexpr const char16_t* kNumberedNameFormat = u"%s(%d)";
constexpr char16_t kNameReplacement = u'-';
constexpr int32_t kShortDateStyle = 0;

uint32_t DwordOf(bool flag) { return flag ? 1u : 0u; }

// name with every character that a file name on a FAT volume may not hold
// turned into '-'.
XpString ToFileName(const XpString& name) {
  const std::u16string_view invalid(XpGetInvalidFileNameChars());
  std::u16string text(name.View());
  for (char16_t& unit : text) {
    if (invalid.find(unit) != std::u16string_view::npos) unit = kNameReplacement;
  }
  return XpString(std::u16string_view(text));
}

}  // namespace

SfDCFImportConfig::SfDCFImportConfig()
    : pathConverter_(XpString(kMyDocumentsToken), XpString(kVolumeTokenFormat)) {}

SfDCFImportConfig::~SfDCFImportConfig() = default;

XpFilePathConverter& SfDCFImportConfig::GetPathConverter() { return pathConverter_; }

XfRegistryKey SfDCFImportConfig::OpenSettingsKey(uint32_t access) const {
  const XfRegistryKey versionKey(XpRegistry::OpenNew(
      XpString(kSettingsKeyPath), XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
  if (!versionKey) return XfRegistryKey();
  const XpString version = versionKey->QueryString(XpString(kCurrentVersionValue), XpString());
  XpString path(kSettingsKeyPath);
  if (!version.IsEmpty()) path += XpString(kKeySeparator) + version;
  return XfRegistryKey(XpRegistry::OpenNew(path, XpRegistry::kRootCurrentUser, access));
}

XpResult SfDCFImportConfig::Load() { return Load(XpDateTime::Now()); }

XpResult SfDCFImportConfig::Load(const XpDateTime& now) {
  XpResult result = kXpOk;
  const XfRegistryKey key = OpenSettingsKey(XpRegistry::kAccessRead);
  if (key) {
    automaticImport_ = key->QueryBool(XpString(kAutomaticImportValue), false);
    const XpString differential(kDifferentialImportValue);
    differentialImport_ = !key->HasValue(differential) || key->QueryBool(differential, false);
    removeAfterImport_ = key->QueryBool(XpString(kRemoveAfterImportValue), false);
    destDir_ = pathConverter_.ToRealPath(key->QueryString(XpString(kDestDirValue), XpString()));
    if (!XpDirectoryExists(destDir_)) destDir_ = XpString();
  } else {
    result = kXpErrGeneric;
  }
  if (destDir_.IsEmpty()) destDir_ = SfGetPicturesFolder();
  folderName_ = ProposeFolderName(now);
  return result;
}

XpResult SfDCFImportConfig::Save() {
  const XfRegistryKey key = OpenSettingsKey(XpRegistry::kAccessWrite);
  if (!key) return kXpErrGeneric;
  (void)key->SetDword(XpString(kAutomaticImportValue), DwordOf(automaticImport_));
  (void)key->SetDword(XpString(kDifferentialImportValue), DwordOf(differentialImport_));
  (void)key->SetDword(XpString(kRemoveAfterImportValue), DwordOf(removeAfterImport_));
  (void)key->SetString(XpString(kDestDirValue), pathConverter_.ToPortablePath(destDir_));
  return kXpOk;
}

bool SfDCFImportConfig::GetExtraFlag(int32_t index) const {
  if (index < 0 || index >= kExtraFlagCount) return false;
  return extraFlags_[index];
}

void SfDCFImportConfig::SetExtraFlag(int32_t index, bool on) {
  if (index < 0 || index >= kExtraFlagCount) return;
  extraFlags_[index] = on;
}

XpString SfDCFImportConfig::GetImportFolderPath() const {
  return XpPathJoin(destDir_, folderName_);
}

void SfDCFImportConfig::SetDestinationFolder(const XpString& path) {
  destinationFolder_ = XpSharedPtr<XpDir>(new XpDir(path));
}

XpString SfDCFImportConfig::GetHandOverFilePath() {
  if (handOverFilePath_.IsEmpty()) handOverFilePath_ = SfMakeImportDataFilePath();
  return handOverFilePath_;
}

XpString SfDCFImportConfig::ProposeFolderName(const XpDateTime& now) const {
  const XpString base = ToFileName(now.FormatDate(kShortDateStyle));
  XpString name = base;
  for (int32_t number = 1; XpPathExists(XpPathJoin(destDir_, name)); ++number) {
    if (number > kMaxFolderNumber) return base;
    if (name.Format(kNumberedNameFormat, base, number) != kXpOk) return base;
  }
  return name;
}
