#include "framework/tests/app/TestApplication.h"

#include <chrono>
#include <utility>

#include "framework/notify/XfNotificationWithPrompt.h"
#include "framework/tests/notify/NotifyTestSupport.h"
#include "platform/text/XpStringA.h"

namespace framework_test {

namespace {

constexpr const char16_t* kLoadFailedMessage = u"Can't load Strings.xml";
constexpr const char16_t* kRegistryBase = u"Software\\Kavo Corporation\\QMV";
constexpr const char16_t* kRegistrySub = u"Accessor/K2\\1.0";

XpString PathIfPresent(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) {
    return XpString();
  }
  return XpStringA(path.string().c_str()).ToWide();
}

}  // namespace

TestApplication::TestApplication() { SetHandlers(&Record, nullptr, this); }

TestApplication::~TestApplication() {
  GetNotificationManager().RemoveObserver(this);
  SetHandlers(nullptr, nullptr, nullptr);
}

XpResult TestApplication::Start(const XpString& /*argument*/) { return kXpOk; }

XpResult TestApplication::Stop(const XpString& /*argument*/) { return kXpOk; }

bool TestApplication::WaitForDispatched(size_t count) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::seconds(kEventLimitSeconds),
                           [&] { return dispatched_.size() >= count; });
}

std::vector<XpSharedPtr<XfNotification>> TestApplication::Dispatched() const {
  std::lock_guard<std::mutex> hold(lock_);
  return dispatched_;
}

bool TestApplication::Record(XpSharedPtr<XfNotification> notification, void* context) {
  auto* self = static_cast<TestApplication*>(context);
  {
    std::lock_guard<std::mutex> hold(self->lock_);
    self->dispatched_.push_back(std::move(notification));
  }
  self->changed_.notify_all();
  return true;
}

TestStartUp StartTestApplication(const std::filesystem::path& programFolder) {
  TestStartUp startUp;
  startUp.application = std::make_unique<TestApplication>();
  TestApplication& application = *startUp.application;
  XfSetApplication(&application);

  XpStringVector paths;
  for (const char* name : kStringsFileNames) paths.push_back(PathIfPresent(programFolder / name));
  if (application.LoadStrings(paths) != kXpOk) {
    XpSharedPtr<XfNotificationError> error(
        new XfNotificationError(XpSharedPtr<XfObject>(), XpSharedPtr<XfObject>(), 0,
                                XpSharedPtr<XfObject>()));
    error->SetMessage(kLoadFailedMessage);
    XfPostNotification(error);
  }
  startUp.startResult = application.SetRegistryRoot(kRegistryBase, kRegistrySub);
  if (XpFailed(startUp.startResult)) return startUp;
  startUp.startResult = application.Start(u"");
  return startUp;
}

}  // namespace framework_test
