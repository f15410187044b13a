#include "accessor/import/K2ImportConfig.h"

#include <new>

#include "accessor/settings/K2ExportConfig.h"
#include "framework/suite/SfContentInfoXML.h"
#include "framework/suite/SfSuiteRegistry.h"
#include "platform/fs/XpDir.h"
#include "platform/registry/XpRegistry.h"
#include "platform/shell/XpSpecialFolder.h"

namespace {

constexpr bool kDefaultFlag = true;
constexpr bool kUseCurrentVersion = true;
constexpr char16_t kKeySeparator = u'\\';
constexpr const char16_t* kCompanyFolder = u"Kavo Corporation";
constexpr const char16_t* kProductFolder = u"QMV";
constexpr const char16_t* kRecordFolder = u"ImportData";

uint32_t RegistryAccess(uint32_t access) {
  return access == K2ImportConfig::kOpenForWrite
             ? XpRegistry::kAccessRead | XpRegistry::kAccessWrite
             : XpRegistry::kAccessRead;
}

XfRegistryKey OpenKey(const XpString& path, uint32_t root, uint32_t access) {
  return XfRegistryKey(XpRegistry::OpenNew(path, root, access));
}

}  // namespace

K2ImportConfig::K2ImportConfig() : pathConverter_(kDocumentsToken, kVolumeTokenFormat) {}

K2ImportConfig::~K2ImportConfig() = default;

XfRegistryKey K2ImportConfig::OpenSettingsKey(uint32_t access) {
  const XfRegistryKey versionKey = OpenKey(K2ExportConfig::kVersionKeyPath,
                                           XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead);
  if (!versionKey) return XfRegistryKey();
  XpString path = K2ExportConfig::kVersionKeyPath;
  path += kKeySeparator;
  path += versionKey->QueryString(K2ExportConfig::kVersionValue, XpString());
  return OpenKey(path, XpRegistry::kRootCurrentUser, RegistryAccess(access));
}

XpResult K2ImportConfig::Load() {
  const XfRegistryKey settings = OpenSettingsKey(kOpenForRead);
  if (!settings) {
    differentialImport_ = kDefaultFlag;
    removeAfterImport_ = kDefaultFlag;
    destDir_ = SfGetPicturesFolder();
    return kXpOk;
  }
  differentialImport_ = settings->QueryBool(kDifferentialImportValue, kDefaultFlag);
  removeAfterImport_ = settings->QueryBool(kRemoveAfterImportValue, kDefaultFlag);
  destDir_ = XpString();
  const XfRegistryKey importer = XfOpenAppRegistryKeyForRead(kImporterKey, kUseCurrentVersion);
  if (importer) {
    destDir_ = pathConverter_.ToRealPath(importer->QueryString(kDestDirValue, XpString()));
  }
  if (destDir_.IsEmpty()) destDir_ = SfGetPicturesFolder();
  return kXpOk;
}

XpResult K2ImportConfig::Save() {
  {
    const XfRegistryKey settings = OpenSettingsKey(kOpenForWrite);
    if (!settings) return kXpErrGeneric;
    (void)settings->SetBool(kDifferentialImportValue, differentialImport_);
    (void)settings->SetBool(kRemoveAfterImportValue, removeAfterImport_);
  }
  const XfRegistryKey importer = XfOpenAppRegistryKeyForWrite(kImporterKey, kUseCurrentVersion);
  if (!importer) return kXpErrGeneric;
  (void)importer->SetString(kDestDirValue, pathConverter_.ToPortablePath(destDir_));
  return kXpOk;
}

XpString K2ImportConfig::GetRecordFilePath() {
  if (!recordFilePath_.IsEmpty()) return recordFilePath_;
  constexpr bool kCreate = true;
  const XpString folder = XpGetAppDataPath(kCompanyFolder, kProductFolder, kRecordFolder, kCreate);
  // Without an application-data folder the name would be relative.
  if (folder.IsEmpty()) return XpString();
  if (!clock_) return SfContentInfoXML::MakeFilePath(folder);
  return SfContentInfoXML::MakeFilePath(folder, clock_());
}

void K2ImportConfig::SetSourcePath(const XpString& path) {
  source_ = XpSharedPtr<XpAbstractDir>(new (std::nothrow) XpDir(path));
}
