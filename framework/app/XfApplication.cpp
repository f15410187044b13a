#include "framework/app/XfApplication.h"

#include <atomic>
#include <mutex>
#include <new>
#include <utility>

#include "platform/path/XpPath.h"
#include "platform/system/XpSystemInfo.h"

namespace {

constexpr XfNotificationKind kLastKindWhileUnhandled = 5;
constexpr XfNotificationKind kAlwaysDispatchedKind = 6;
constexpr uint32_t kFirstSupportedMajorVersion = 5;
constexpr const char16_t* kMyDocumentsToken = u"<MYDOCUMENTS>";
constexpr const char16_t* kVolumeTokenFormat = u"<%08X%08X>";

std::atomic<XfApplication*> gApplication{nullptr};

bool ShouldDispatch(const XfNotification& notification) {
  const XfNotificationKind kind = notification.GetKind();
  if (kind == kXfKindInternal || kind == kAlwaysDispatchedKind) {
    return true;
  }
  return kind <= kLastKindWhileUnhandled && !notification.IsHandled();
}

XfStringsManagerList OneEmptyManager() {
  XfStringsManagerList list;
  XpSharedPtr<XfStringsManager> empty(new (std::nothrow) XfStringsManager());
  if (empty) {
    list.push_back(empty);
  }
  return list;
}

}  // namespace

XfApplication::XfApplication()
    : strings_(new (std::nothrow) XfStringsListSource()),
      pathConverter_(new (std::nothrow)
                         XpFilePathConverter(kMyDocumentsToken, kVolumeTokenFormat)) {
  notificationManager_.AddObserver(this);
  if (strings_) {
    strings_->Replace(OneEmptyManager());
  }
}

XfApplication::~XfApplication() {
  if (gApplication.load() == this) {
    XfSetApplication(nullptr);
  }
  {
    std::lock_guard<XpCriticalSection> hold(registryLock_);
    XpRegistry::CloseAndDelete(std::exchange(registryRoot_, nullptr));
  }
  notificationManager_.RemoveObserver(this);
  pathConverter_ = XpSharedPtr<XpFilePathConverter>();
}

void XfApplication::OnNotification(XpSharedPtr<XfNotification> notification) {
  if (!notification || notification->IsConsumed()) {
    return;
  }
  if (ShouldDispatch(*notification)) {
    Dispatch(notification);
  }
  notification->SetHandled(true);
}

XpResult XfApplication::Start(const XpString& /*argument*/) { return kXpErrGeneric; }

XpResult XfApplication::Stop(const XpString& /*argument*/) { return kXpErrGeneric; }

XpResult XfApplication::LoadStrings(const XpStringVector& paths) {
  XfStringsManagerList loaded;
  XpResult firstFailure = kXpOk;
  for (const XpString& path : paths) {
    XpSharedPtr<XfStringsManager> manager(new (std::nothrow) XfStringsManager());
    const XpResult result = manager ? manager->Load(path) : kXpErrOutOfMemory;
    if (result == kXpOk) {
      loaded.push_back(manager);
    } else if (firstFailure == kXpOk) {
      firstFailure = result;
    }
  }
  if (loaded.empty()) {
    loaded = OneEmptyManager();
  }
  if (strings_) {
    strings_->Replace(std::move(loaded));
  }
  return firstFailure;
}

XpResult XfApplication::SetRegistryRoot(const XpString& base, const XpString& sub) {
  std::lock_guard<XpCriticalSection> hold(registryLock_);
  registryBase_ = base;
  registrySub_ = sub;
  XpRegistry::CloseAndDelete(std::exchange(registryRoot_, nullptr));
  registryRoot_ = XpRegistry::OpenNew(XpPathJoin(base, sub), XpRegistry::kRootCurrentUser,
                                      kXfRegistryReadWrite);
  return registryRoot_ != nullptr ? kXpOk : kXpErrGeneric;
}

XpString XfApplication::GetRegistryBasePath() const {
  std::lock_guard<XpCriticalSection> hold(registryLock_);
  return registryBase_;
}

XpString XfApplication::GetRegistrySubPath() const {
  std::lock_guard<XpCriticalSection> hold(registryLock_);
  return registrySub_;
}

XpString XfApplication::GetRegistryRootPath() const {
  std::lock_guard<XpCriticalSection> hold(registryLock_);
  return registryRoot_ != nullptr ? registryRoot_->GetPath() : XpString();
}

XfRegistryKey XfApplication::OpenRegistryRootSubKey(const XpString& name, uint32_t access) const {
  std::lock_guard<XpCriticalSection> hold(registryLock_);
  return XfRegistryKey(XpRegistry::OpenSubKey(registryRoot_, name, access));
}

XfStringsManagerList XfApplication::GetStringsManagers() const {
  return strings_ ? strings_->GetStringsManagers() : XfStringsManagerList();
}

XpSharedPtr<XfStringsManager> XfApplication::GetFirstStringsManager() const {
  const XfStringsManagerList list = GetStringsManagers();
  return list.empty() ? XpSharedPtr<XfStringsManager>() : list.front();
}

XpSharedPtr<IXfStringsSource> XfApplication::GetStringsSource() const { return strings_; }

void XfSetApplication(XfApplication* application) {
  gApplication.store(application);
  XfSetStringsSource(application != nullptr ? application->GetStringsSource()
                                            : XpSharedPtr<IXfStringsSource>());
}

XfApplication* XfGetApplication() { return gApplication.load(); }

XfNotificationManager* XfGetNotificationManager() {
  XfApplication* application = XfGetApplication();
  return application != nullptr ? &application->GetNotificationManager() : nullptr;
}

bool XfPostNotification(XpSharedPtr<XfNotification> notification) {
  XfNotificationManager* manager = XfGetNotificationManager();
  if (manager == nullptr) {
    return false;
  }
  manager->Post(std::move(notification));
  return true;
}

bool XfIsSupportedSystem() {
  uint32_t platformId = 0;
  uint32_t major = 0;
  if (XpGetOSVersion(&platformId, &major, nullptr) != kXpOk) {
    return false;
  }
  return platformId == kXpPlatformWin32NT && major >= kFirstSupportedMajorVersion;
}
