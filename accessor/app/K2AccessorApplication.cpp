#include "accessor/app/K2AccessorApplication.h"

#include <new>
#include <utility>

#include "framework/notify/XfNotificationWithPrompt.h"
#include "platform/path/XpPath.h"
#include "platform/fs/XpPathQueries.h"

namespace {

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
  XfPostNotification(error);
}

}  // namespace

K2AccessorApplication::K2AccessorApplication() = default;

K2AccessorApplication::~K2AccessorApplication() { GetNotificationManager().RemoveObserver(this); }

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
