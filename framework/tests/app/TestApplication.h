#pragma once

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "platform/memory/XpSharedPtr.h"

namespace framework_test {

// The test program's application object: Start and Stop succeed, and its
// user-interface handler keeps every notification handed to it.
class TestApplication : public XfApplication {
 public:
  TestApplication();
  ~TestApplication() override;

  [[nodiscard]] XpResult Start(const XpString& argument) override;
  [[nodiscard]] XpResult Stop(const XpString& argument) override;

  // Waits (a few seconds at most) until count notifications have reached the
  // handler.
  bool WaitForDispatched(size_t count);
  std::vector<XpSharedPtr<XfNotification>> Dispatched() const;

 private:
  static bool Record(XpSharedPtr<XfNotification> notification, void* context);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<XpSharedPtr<XfNotification>> dispatched_;
};

// The strings files the program looks for beside itself, in search order.
inline constexpr const char* kStringsFileNames[] = {
    "Strings.xml", "PreviousBrowserStrings.xml", "PreviousCommonStrings.xml"};

struct TestStartUp {
  std::unique_ptr<TestApplication> application;
  XpResult startResult = kXpErrGeneric;
};

// The test program's start-up with programFolder as the program's folder:
// creates the application and makes it the global one, loads the strings
// files found there (posting an error when that fails), sets the registry
// root and starts the application.
TestStartUp StartTestApplication(const std::filesystem::path& programFolder);

}  // namespace framework_test
