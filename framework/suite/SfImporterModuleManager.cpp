#include "framework/suite/SfImporterModuleManager.h"

#include <memory>

#include "framework/app/XfAppRegistry.h"
#include "framework/suite/SfExtProgramList.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/registry/XpRegistry.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr const char16_t* kDcfModuleName = u"DCF";
constexpr const char16_t* kDestDirKey = u"Importer/DCF";
constexpr const char16_t* kDestDirValue = u"DestDir";

}  // namespace

SfImporterModuleManager::SfImporterModuleManager() { (void)Reload(); }

SfImporterModuleManager::~SfImporterModuleManager() = default;

XpResult SfImporterModuleManager::Reload() {
  modules_.clear();
  dcfModule_.Reset();
  hddAccessorModule_.Reset();
  const XpResult result = LoadModules(kSfImporterKeyPath);
  AppendExternalModules();
  if (result == kXpOk && !FindModule(kSfHddAccessorId)) AppendHddAccessor();
  return result;
}

XpResult SfImporterModuleManager::LoadModules(const XpString& keyPath) {
  XpRegistry key;
  if (XpFailed(key.Open(keyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead))) {
    return kXpErrValueUnknownType;
  }
  XpStringVector names;
  (void)key.EnumSubkeys(&names);
  for (const XpString& name : names) {
    Module module(new SfImporterModule(keyPath, name));
    modules_.push_back(module);
    if (module->GetName().CompareNoCase(kDcfModuleName) == 0) dcfModule_ = module;
  }
  (void)key.Close();
  return kXpOk;
}

void SfImporterModuleManager::AppendExternalModules() {
  const SfExtProgramList list;
  for (const SfExtProgramEntry& entry : list.GetList(SfExtProgramListKind::kGroup6)) {
    modules_.push_back(Module(new SfImporterModule(entry)));
  }
}

void SfImporterModuleManager::AppendHddAccessor() {
  Module module(new SfImporterModule(kSfAccessorKeyPath, kSfHddAccessorName));
  if (!module->IsInstalled()) return;
  hddAccessorModule_ = module;
  modules_.push_back(module);
}

SfImporterModuleManager::Modules SfImporterModuleManager::GetModulesWithSettings() const {
  Modules withSettings;
  for (const Module& module : modules_) {
    if (module->HasSettingsDialog()) withSettings.push_back(module);
  }
  return withSettings;
}

SfImporterModuleManager::Module SfImporterModuleManager::FindModule(const XpString& id) const {
  for (const Module& module : modules_) {
    if (module->GetId().CompareNoCase(id.CStr()) == 0) return module;
  }
  return Module();
}

bool SfImporterModuleManager::HasHDDAccessorModule() const {
  return static_cast<bool>(FindModule(kSfHddAccessorId));
}

bool SfImporterModuleManager::IsHDDAccessorInstalled() const {
  return hddAccessorModule_ && XpFileExists(hddAccessorModule_->GetExecutablePath());
}

XpResult SfImporterModuleManager::SelectDestination(uint32_t parentWindow, ISfImporterModuleObserver* observer,
                                                    bool modal) {
  if (!dcfModule_) return kXpErrFileNotFound;
  if (parentWindow != 0) (void)dcfModule_->SetParentWindow(parentWindow);
  return dcfModule_->SelectDestination(observer, modal);
}

SfImporterModuleManager::Module SfImporterModuleManager::FindBestModule(const XpString& scoreText,
                                                                        uint32_t deviceMask) {
  Module best;
  int32_t bestScore = 0;
  for (uint32_t pass = 0; pass < kScorePasses; ++pass) {
    bool failed = false;
    for (const Module& module : modules_) {
      if ((module->GetSupportedDevice() & deviceMask) == 0) continue;
      const auto score = static_cast<int32_t>(module->ImportScore(scoreText));
      if (score < 0) {
        failed = true;
        break;
      }
      if (score > bestScore) {
        best = module;
        bestScore = score;
      }
    }
    if (!failed) return best;
    best.Reset();
    bestScore = 0;
    Pause(kRetryPauseMs);
  }
  return best;
}

XpString SfImporterModuleManager::GetDCFImportDestDir() {
  const XfRegistryKey key = XfOpenAppRegistryKeyForRead(kDestDirKey, true);
  if (!key) return XpString();
  return key->QueryString(kDestDirValue, XpString());
}

XpResult SfImporterModuleManager::SetDCFImportDestDir(const XpString& folder) {
  const XfRegistryKey key = XfOpenAppRegistryKeyForWrite(kDestDirKey, true);
  if (!key) return kXpErrGeneric;
  return key->SetString(kDestDirValue, folder);
}

void SfImporterModuleManager::Pause(uint32_t milliseconds) const {
  if (sleep_) {
    sleep_(milliseconds);
    return;
  }
  XpThread::Sleep(milliseconds);
}
