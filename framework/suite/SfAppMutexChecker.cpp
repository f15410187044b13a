#include "framework/suite/SfAppMutexChecker.h"

#include <cstdio>
#include <new>

#include "platform/path/XpPath.h"
#include "platform/sync/XpSyncObject.h"

namespace {

constexpr SfWindowHandle kNoWindow = 0;

// One line on standard error: the mutex could not be tested, and the
// program goes on as if nobody held it.
void ReportUntestedMutex(const XpString& name, const char16_t* step, XpResult result) {
  XpString line;
  // A constant format cannot fail.
  (void)line.Format(
      u"SfAppMutexChecker: cannot %s the mutex \"%s\" (error 0x%04X); taking it as free\n", step,
      name, result);
  std::fputs(line.ToMultiByte().CStr(), stderr);
  std::fflush(stderr);
}

// The first marked window with a known thread; minimised marked windows are
// restored on the way.
SfWindowHandle FindMarkedWindow(ISfWindowList& windows, const XpString& mark, uint32_t* threadId) {
  for (SfWindowHandle window = windows.GetFirstWindow(); window != kNoWindow;
       window = windows.GetNextWindow(window)) {
    if (!windows.HasProperty(window, mark)) continue;
    if (windows.IsMinimized(window)) windows.Restore(window);
    *threadId = windows.GetThreadId(window);
    if (*threadId != 0) return window;
  }
  return kNoWindow;
}

}  // namespace

SfAppMutexChecker::SfAppMutexChecker(bool global)
    : singleInstance_(new (std::nothrow) XpSingleInstanceMutex(global)) {}

SfAppMutexChecker::~SfAppMutexChecker() { ReleaseAll(); }

void SfAppMutexChecker::ReleaseAll() {
  applicationMutex_.Close();
  viewerMutex_.Close();
  singleInstance_.reset();
  contentAnalyzingEvent_.reset();
}

bool SfAppMutexChecker::TestNamedMutex(const XpString& name, XpNamedObject* handle) {
  // Without a place to keep the handle the answer is all that remains.
  XpNamedObject scratch;
  if (handle == nullptr) handle = &scratch;
  bool existed = false;
  const XpResult created = handle->CreateMutex(name, false, &existed);
  if (created != kXpOk) {
    ReportUntestedMutex(name, u"create", created);
    return true;
  }
  if (!existed) return true;
  const XpResult taken = handle->Wait(kXpTryOnce);
  if (taken == kXpErrTimeout) {
    handle->Close();
    return false;
  }
  if (taken != kXpOk) {
    ReportUntestedMutex(name, u"take", taken);
    return true;
  }
  // The mutex was taken by this thread just now; its release cannot fail.
  (void)handle->ReleaseMutex();
  return true;
}

bool SfAppMutexChecker::CheckViewerMutex() {
  return TestNamedMutex(kViewerMutexName, &viewerMutex_);
}

bool SfAppMutexChecker::CheckApplicationMutex() {
  return TestNamedMutex(kApplicationMutexName, &applicationMutex_);
}

bool SfAppMutexChecker::IsFirstInstance() const {
  return singleInstance_ != nullptr && singleInstance_->IsFirstInstance();
}

bool SfAppMutexChecker::IsDriveAccessFree() {
  XpNamedObject mutex;
  bool existed = false;
  if (mutex.CreateMutex(kDriveAccessMutexName, false, &existed) != kXpOk) return true;
  return !existed;
}

void SfAppMutexChecker::CreateContentAnalyzingEvent() {
  contentAnalyzingEvent_.reset(new (std::nothrow) SfContentAnalyzingEventWrapper());
}

bool SfAppMutexChecker::HoldsContentAnalyzingEvent() const {
  return contentAnalyzingEvent_ != nullptr && contentAnalyzingEvent_->IsHeld();
}

bool SfAppMutexChecker::ActivateRunningInstance(const SfCopyDataRecord* record) {
  return ActivateRunningInstance(record, SfTerminalWindowList::Instance(), XpWaitClock::Real());
}

bool SfAppMutexChecker::ActivateRunningInstance(const SfCopyDataRecord* record,
                                                ISfWindowList& windows, XpWaitClock& clock) {
  const XpString mark = GetWindowMarkName();
  for (int32_t pass = 0; pass < kActivationPasses; ++pass) {
    clock.SleepFor(kActivationPause);
    uint32_t threadId = 0;
    const SfWindowHandle window = FindMarkedWindow(windows, mark, &threadId);
    if (window == kNoWindow) continue;
    windows.BringForward(window, threadId);
    if (record != nullptr) windows.SendCopyData(window, window, *record);
    return true;
  }
  return false;
}

void SfAppMutexChecker::MarkMainWindow(SfWindowHandle window) {
  MarkMainWindow(window, SfTerminalWindowList::Instance());
}

void SfAppMutexChecker::MarkMainWindow(SfWindowHandle window, ISfWindowList& windows) {
  windows.SetProperty(window, GetWindowMarkName());
}

void SfAppMutexChecker::UnmarkMainWindow(SfWindowHandle window) {
  UnmarkMainWindow(window, SfTerminalWindowList::Instance());
}

void SfAppMutexChecker::UnmarkMainWindow(SfWindowHandle window, ISfWindowList& windows) {
  windows.RemoveProperty(window, GetWindowMarkName());
}

XpString SfAppMutexChecker::GetWindowMarkName() {
  return XpPathGetLeafName(XpSingleInstanceMutex::ProgramPath());
}
