#include "accessor/app/K2AccessorApplication.h"

#include <new>
#include <utility>

#include "accessor/resize/K2ExporterWithResize.h"
#include "framework/notify/XfNotificationWithPrompt.h"
#include "platform/path/XpPath.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/thread/XpThread.h"

namespace {

// How long start-up waits for its own error notification to be handled,
// and how often it looks.
constexpr uint32_t kStartupNoticeWaitMs = 5000;
constexpr uint32_t kStartupNoticePollMs = 2;

XpStringVector StringsFilePaths(const XpString& programFolder) {
  XpStringVector paths;
  for (const char16_t* name : kK2StringsFileNames) {
    const XpString path = XpPathJoin(programFolder, name);
    paths.push_back(XpFileExists(path) ? path : XpString());
  }
  return paths;
}

void PostStringsLoadFailure() {
  XpSharedPtr<XfNotificationError> error(new (std::nothrow) XfNotificationError(
      XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), 0, XpSharedPtr<XfObject>()));
  if (!error) {
    return;
  }
  error->SetMessage(kK2StringsLoadFailedMessage);
  if (!XfPostNotification(error)) {
    return;
  }
  // The application hears it as the only observer there is yet. Waiting for
  // that keeps a slow dispatch from handing it to a dialog's observer made
  // later, which would show it as an error of the export.
  for (uint32_t waited = 0; !error->IsHandled() && !error->IsConsumed() && waited < kStartupNoticeWaitMs;
       waited += kStartupNoticePollMs) {
    XpThread::Sleep(kStartupNoticePollMs);
  }
}

}  // namespace

K2AccessorApplication::K2AccessorApplication()
    : exportTaskManager_(std::make_unique<K2ExportTaskManager>()),
      importTaskManager_(std::make_unique<K2ImportTaskManager>()) {
  exportTaskManager_->SetConverterFactory(K2ExporterWithResize::Factory());
}

K2AccessorApplication::~K2AccessorApplication() {
  // The tasks' workers post to this application: they end first.
  importTaskManager_.reset();
  exportTaskManager_.reset();
  GetNotificationManager().RemoveObserver(this);
}

XpResult K2AccessorApplication::Start(const XpString& /*argument*/) { return kXpOk; }

XpResult K2AccessorApplication::Stop(const XpString& /*argument*/) {
  configuration_.Reset();
  return kXpOk;
}

std::unique_ptr<K2AccessorApplication> CreateAccessorApplication(const XpString& programFolder) {
  std::unique_ptr<K2AccessorApplication> application(new (std::nothrow) K2AccessorApplication());
  if (!application) {
    return nullptr;
  }
  XfSetApplication(application.get());
  if (application->LoadStrings(StringsFilePaths(programFolder)) != kXpOk) {
    PostStringsLoadFailure();
  }
  // Without a registry root the settings read as their defaults.
  static_cast<void>(application->SetRegistryRoot(kK2RegistryBase, kK2RegistrySub));
  application->GetConfiguration().Reset();
  static_cast<void>(application->Start(XpString()));
  return application;
}

void DestroyAccessorApplication(std::unique_ptr<K2AccessorApplication> application) {
  if (!application) {
    return;
  }
  static_cast<void>(application->Stop(XpString()));
  XfSetApplication(nullptr);
  application.reset();
}
