#include "framework/suite/SfImporterModule.h"

#include <utility>

#include "framework/queue/XfMessageQueue.h"
#include "framework/suite/SfExtProgramEntry.h"
#include "framework/ui/host/XfUiHost.h"
#include "imaging/bitmap/XpPixmapLoadBitmap.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/process/XpCommandLineQuote.h"
#include "platform/process/XpRunProgram.h"
#include "platform/registry/XpRegistry.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/sync/XpSingleLock.h"
#include "platform/thread/XpThread.h"

namespace {

constexpr const char16_t* kCurrentVersionValue = u"CurrentVersion";
constexpr const char16_t* kExeNameValue = u"ExeName";
constexpr const char16_t* kInstalledLocationValue = u"InstalledLocation";
constexpr const char16_t* kHasSettingsDialogValue = u"HasSettingsDialog";
constexpr const char16_t* kSupportedDeviceValue = u"SupportedDevice";
constexpr const char16_t* kResourceNameValue = u"ResourceName";
constexpr const char16_t* kSettingsMenuStrIdValue = u"SettingsMenuStrId";
constexpr const char16_t* kVisibleNameStrIdValue = u"VisibleNameStrId";
constexpr const char16_t* kCommentStrIdValue = u"CommentStrId";
constexpr const char16_t* kImageBitmapIdValue = u"ImageBitmapId";
constexpr const char16_t* kLibrarySuffix = u"Loc.dll";
constexpr const char16_t* kLibraryExtension = u".dll";

constexpr const char16_t* kDestDirArgument = u"/destdir";
constexpr const char16_t* kImportScoreArgument = u"/importscore ";
constexpr const char16_t* kImportArgument = u" /import ";
constexpr const char16_t* kConfigArgument = u"/config";
constexpr const char16_t* kParentWindowFormat = u" /parentwindow %08X";

constexpr uint32_t kModalPauseMs = 10;

using KeyHolder = std::unique_ptr<XpRegistry, void (*)(XpRegistry*)>;

KeyHolder Hold(XpRegistry* key) { return KeyHolder(key, &XpRegistry::CloseAndDelete); }

XpString DefaultKeyPath(const XpString& keyPath) {
  return keyPath.IsEmpty() ? XpString(kSfImporterKeyPath) : keyPath;
}

// The text after the last '/' of path, or path itself.
XpString AfterLastSlash(const XpString& path) {
  const int32_t slash = path.ReverseFind(u'/');
  return slash < 0 ? path : path.Mid(slash + 1);
}

}  // namespace

SfImporterModule::SfImporterModule(const XpString& keyPath, const XpString& name)
    : settingsMenuText_(name), visibleName_(name) {
  const XpString path = DefaultKeyPath(keyPath);
  KeyHolder importerKey = Hold(XpRegistry::OpenNew(path, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
  if (importerKey) {
    (void)Load(importerKey.get(), name);
  }
  SetKeyPath(path, name);
}

SfImporterModule::SfImporterModule(const SfExtProgramEntry& entry)
    : executablePath_(entry.exePath),
      settingsMenuText_(entry.settingDescription),
      visibleName_(entry.description),
      comment_(entry.summaryString),
      hasSettingsDialog_(!entry.settingDescription.IsEmpty()),
      supportedDevice_(entry.supportedDeviceMask),
      imageFilePath_(entry.bitmapPath),
      fixedArguments_(entry.option) {
  SetKeyPath(entry.installSettingName, XpString());
}

SfImporterModule::~SfImporterModule() { JoinWorker(); }

XpResult SfImporterModule::Load(const XpRegistry* importerKey, const XpString& name) {
  KeyHolder ownKey = Hold(nullptr);
  if (importerKey == nullptr) {
    ownKey = Hold(XpRegistry::OpenNew(kSfImporterKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
    if (!ownKey) return kXpErrGeneric;
    importerKey = ownKey.get();
  }
  KeyHolder moduleKey = Hold(XpRegistry::OpenSubKey(importerKey, name, XpRegistry::kAccessRead));
  if (!moduleKey) return kXpErrGeneric;
  const XpString version = moduleKey->QueryString(kCurrentVersionValue, XpString());
  if (version.IsEmpty()) return kXpErrGeneric;
  KeyHolder versionKey = Hold(XpRegistry::OpenSubKey(moduleKey.get(), version, XpRegistry::kAccessRead));
  if (!versionKey) return kXpErrGeneric;

  name_ = name;
  executablePath_ = XpPathJoin(versionKey->QueryString(kInstalledLocationValue, XpString()),
                               versionKey->QueryString(kExeNameValue, XpString()));
  hasSettingsDialog_ = versionKey->QueryBool(kHasSettingsDialogValue, true);
  supportedDevice_ = versionKey->QueryDword(kSupportedDeviceValue, kDefaultSupportedDevice);
  resourceLibraryPath_ = GetResourceLibraryPath(versionKey.get());
  ReadTexts(versionKey.get());
  return kXpOk;
}

void SfImporterModule::ReadTexts(const XpRegistry* versionKey) {
  const XpString folder = GetResourceFolder(resourceLibraryPath_);
  if (folder.IsEmpty() || !XpDirectoryExists(folder)) return;
  const XpResourceModule library(folder);
  const XpString settings = LoadResourceText(&library, versionKey, kSettingsMenuStrIdValue, kSettingsMenuTextId);
  if (!settings.IsEmpty()) settingsMenuText_ = settings;
  const XpString visible = LoadResourceText(&library, versionKey, kVisibleNameStrIdValue, kVisibleNameId);
  if (!visible.IsEmpty()) visibleName_ = visible;
  const XpString comment = LoadResourceText(&library, versionKey, kCommentStrIdValue, kCommentId);
  if (!comment.IsEmpty()) comment_ = comment;
  imageId_ = versionKey->QueryDword(kImageBitmapIdValue, kDefaultImageId);
}

void SfImporterModule::SetKeyPath(const XpString& keyPath, const XpString& name) {
  XpString full = keyPath + u"/" + name;
  full.Replace(u"\\", u"/");
  while (full.Replace(u"//", u"/") > 0) {
  }
  if (!full.IsEmpty() && full.View().back() == u'/') full = full.Left(full.GetLength() - 1);
  name_ = AfterLastSlash(full);
  const int32_t last = full.ReverseFind(u'/');
  id_ = last < 0 ? full : AfterLastSlash(full.Left(last)) + u"/" + name_;
}

XpString SfImporterModule::GetResourceLibraryPath(const XpRegistry* versionKey) {
  if (versionKey == nullptr) return XpString();
  XpString library = versionKey->QueryString(kResourceNameValue, XpString());
  if (library.IsEmpty()) {
    library = XpPathGetBaseName(versionKey->QueryString(kExeNameValue, XpString())) + kLibrarySuffix;
  }
  return XpPathJoin(versionKey->QueryString(kInstalledLocationValue, XpString()), library);
}

XpString SfImporterModule::GetResourceFolder(const XpString& libraryPath) {
  const XpString extension = XpPathGetExtension(libraryPath);
  if (extension.CompareNoCase(kLibraryExtension) != 0) return libraryPath;
  return libraryPath.Left(libraryPath.GetLength() - extension.GetLength());
}

XpString SfImporterModule::LoadStringResource(const XpResourceModule* library, uint32_t id) {
  if (library == nullptr) return XpString();
  const XpString text = library->LoadString(id);
  return text.GetLength() > kMaxStringLength ? text.Left(kMaxStringLength) : text;
}

XpString SfImporterModule::LoadResourceText(const XpResourceModule* library, const XpRegistry* versionKey,
                                            const XpString& valueName, uint32_t fallbackId) {
  const uint32_t id = versionKey->QueryDword(valueName, 0);
  const XpString text = id == 0 ? XpString() : LoadStringResource(library, id);
  return text.IsEmpty() ? LoadStringResource(library, fallbackId) : text;
}

XpSharedPtr<XpPixmapBase> SfImporterModule::GetImage() {
  XpSingleLock lock(&imageLock_);
  if (!image_) {
    XpPixmapBase* pixmap = nullptr;
    if (imageFilePath_.IsEmpty()) {
      const XpString folder = GetResourceFolder(resourceLibraryPath_);
      if (!folder.IsEmpty() && XpDirectoryExists(folder)) {
        const XpResourceModule library(folder);
        pixmap = XpPixmapLoadBitmapResource(library, imageId_);
      }
    } else {
      pixmap = XpPixmapLoadBitmapFile(imageFilePath_);
    }
    if (pixmap != nullptr) image_ = XpSharedPtr<XpPixmapBase>(pixmap);
  }
  return image_;
}

XpString SfImporterModule::GetParentWindowArgument() const {
  XpString argument;
  if (parentWindow_ != 0) (void)argument.Format(kParentWindowFormat, parentWindow_);
  return argument;
}

XpResult SfImporterModule::Launch(const XpString& arguments, bool wait, uint32_t* exitCode,
                                  std::unique_ptr<XpProcess>* process) {
  XpString line = fixedArguments_;
  if (!line.IsEmpty()) line += u" ";
  line += arguments;
  uint32_t ownExitCode = 0;
  if (exitCode == nullptr && wait) exitCode = &ownExitCode;
  return XpRunProgram(executablePath_, line, exitCode, process);
}

XpResult SfImporterModule::RunDestDir(std::unique_ptr<XpProcess>* process, uint32_t* exitCode) {
  return Launch(kDestDirArgument + GetParentWindowArgument(), process == nullptr, exitCode, process);
}

uint32_t SfImporterModule::ImportScore(const XpString& score) {
  uint32_t exitCode = 0;
  const XpResult result = Launch(kImportScoreArgument + XpCommandLineQuote(score), true, &exitCode, nullptr);
  return XpFailed(result) ? kScoreNotStarted : exitCode;
}

XpResult SfImporterModule::Import(const XpString& folder, const XpString& extraArguments, bool wait,
                                  std::unique_ptr<XpProcess>* process) {
  XpString arguments;
  if (!folder.IsEmpty()) arguments = kImportArgument + XpCommandLineQuote(folder, true);
  arguments += GetParentWindowArgument();
  if (!extraArguments.IsEmpty()) arguments += u" " + extraArguments;
  return Launch(arguments, wait, nullptr, process);
}

XpResult SfImporterModule::Configure(bool wait) {
  return Launch(kConfigArgument + GetParentWindowArgument(), wait, nullptr, nullptr);
}

XpResult SfImporterModule::SelectDestination(ISfImporterModuleObserver* observer, bool modal) {
  if (modal) return SelectDestinationModal(observer);
  JoinWorker();
  observer_ = observer;
  worker_ = XpThread::Create(&SfImporterModule::RunWorker, this);
  return worker_ == nullptr ? kXpErrGeneric : kXpOk;
}

uint32_t SfImporterModule::RunWorker(void* argument) {
  auto* module = static_cast<SfImporterModule*>(argument);
  uint32_t exitCode = 0;
  const XpResult result = module->RunDestDir(nullptr, &exitCode);
  if (XpFailed(result)) return static_cast<uint32_t>(result);
  if (module->observer_ != nullptr) module->observer_->OnModuleExited(exitCode);
  return kXpOk;
}

XpResult SfImporterModule::SelectDestinationModal(ISfImporterModuleObserver* observer) {
  std::unique_ptr<XpProcess> process;
  const XpResult result = RunDestDir(&process, nullptr);
  if (XpFailed(result)) return result;
  WaitKeepingUiAlive(*process);
  const uint32_t exitCode = process->GetExitCode();
  if (observer != nullptr) observer->OnModuleExited(exitCode);
  return kXpOk;
}

// Waits until the process ends or quit is asked for, running the UI
// thread's work meanwhile; forms take no input while it waits. The quit
// request stays set for the loops further out.
void SfImporterModule::WaitKeepingUiAlive(XpProcess& process) {
  XfUiHost* host = XfUiHost::Instance();
  if (host != nullptr && !host->IsUiThread()) host = nullptr;
  if (host == nullptr) {
    (void)process.Wait();
    return;
  }
  host->SetModalBusy(true);
  while (!process.HasEnded() && !host->IsQuitRequested()) {
    host->RunPending();
    host->SetModalBusy(true);
    while (XfPumpMessage()) host->SetModalBusy(true);
    if (process.HasEnded() || host->IsQuitRequested()) break;
    Pause(kModalPauseMs);
  }
  host->SetModalBusy(false);
}

uint32_t SfImporterModule::SetParentWindow(uint32_t window) {
  return std::exchange(parentWindow_, window);
}

bool SfImporterModule::IsInstalled() const { return XpFileExists(executablePath_); }

void SfImporterModule::JoinWorker() {
  if (worker_ == nullptr) return;
  (void)XpThread::Join(worker_);
  worker_ = nullptr;
}

void SfImporterModule::Pause(uint32_t milliseconds) const {
  if (sleep_) {
    sleep_(milliseconds);
    return;
  }
  XpThread::Sleep(milliseconds);
}
