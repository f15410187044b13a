#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "framework/suite/ISfWindowList.h"
#include "framework/suite/SfContentAnalyzingEventWrapper.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/sync/XpSingleInstanceMutex.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

// Tells whether the suite's viewer application runs, through the named
// mutexes its programs keep, and holds this program's own marks: the
// handles it opened stay open, and so keep the mutexes existing, until
// ReleaseAll or the destructor.
class SfAppMutexChecker {
 public:
  static constexpr const char16_t* kViewerMutexName = u"Global\\KavoKorvexViewerMutex";
  static constexpr const char16_t* kApplicationMutexName = u"KavoKorvexViewerApplicationMutex";
  static constexpr const char16_t* kDriveAccessMutexName =
      u"Global\\KavoKorvexViewerDriveAccessMutex";
  // ActivateRunningInstance looks this often, pausing before each look.
  static constexpr int32_t kActivationPasses = 300;
  static constexpr std::chrono::milliseconds kActivationPause{100};

  // global: this program's single-instance mutex is shared by every user of
  // the machine.
  explicit SfAppMutexChecker(bool global);
  SfAppMutexChecker(const SfAppMutexChecker&) = delete;
  SfAppMutexChecker& operator=(const SfAppMutexChecker&) = delete;
  virtual ~SfAppMutexChecker();

  // Closes the kept mutex handles, the single-instance mutex and the
  // content-analysing event. Safe to call twice.
  void ReleaseAll();

  // True when no other owner holds the mutex name. Creates or opens it into
  // *handle and leaves the handle open when it answers true; a mutex that
  // existed is taken and released at once to learn whether it is held. When
  // the mutex cannot be made it answers true and says so on standard error,
  // so that a broken lock folder does not stop the program.
  static bool TestNamedMutex(const XpString& name, XpNamedObject* handle);
  bool CheckViewerMutex();
  bool CheckApplicationMutex();
  // False when the single-instance mutex could not be made or existed.
  bool IsFirstInstance() const;
  // True when nobody has the drive-access mutex open. Keeps nothing.
  static bool IsDriveAccessFree();
  // Makes and sets the content-analysing event, held until ReleaseAll.
  void CreateContentAnalyzingEvent();

  bool HoldsViewerMutex() const { return viewerMutex_.IsOpen(); }
  bool HoldsApplicationMutex() const { return applicationMutex_.IsOpen(); }
  bool HoldsContentAnalyzingEvent() const;

  // Looks for the marked window of a running instance of this program, up
  // to kActivationPasses times, brings it forward and hands it record when
  // one is given. False when no pass finds one.
  static bool ActivateRunningInstance(const SfCopyDataRecord* record);
  static bool ActivateRunningInstance(const SfCopyDataRecord* record, ISfWindowList& windows,
                                      XpWaitClock& clock);
  // Marks or unmarks window as this program's main window.
  static void MarkMainWindow(SfWindowHandle window);
  static void MarkMainWindow(SfWindowHandle window, ISfWindowList& windows);
  static void UnmarkMainWindow(SfWindowHandle window);
  static void UnmarkMainWindow(SfWindowHandle window, ISfWindowList& windows);
  // The window property that marks a main window: this program's file name,
  // so that instances find only windows of the same program.
  static XpString GetWindowMarkName();

 private:
  XpNamedObject viewerMutex_;
  XpNamedObject applicationMutex_;
  std::unique_ptr<XpSingleInstanceMutex> singleInstance_;
  std::unique_ptr<SfContentAnalyzingEventWrapper> contentAnalyzingEvent_;
};
