#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// A top-level window; 0 is none.
using SfWindowHandle = uintptr_t;

// The data record one instance of a program sends to the window of another:
// a tag, and size bytes at data.
struct SfCopyDataRecord {
  uintptr_t tag = 0;
  uint32_t size = 0;
  const void* data = nullptr;
};

// The top-level windows of the session as the instance activation sees
// them: walked from the first through each next one, each with named
// properties, a minimised state and the id of the thread that made it.
class ISfWindowList {
 public:
  virtual ~ISfWindowList() = default;

  // 0 when there is none.
  virtual SfWindowHandle GetFirstWindow() = 0;
  virtual SfWindowHandle GetNextWindow(SfWindowHandle window) = 0;

  virtual bool HasProperty(SfWindowHandle window, const XpString& name) = 0;
  // The window's title; "" when it has none. A list that cannot tell titles
  // keeps this answer.
  virtual XpString GetTitle(SfWindowHandle window);
  // False when the property cannot be set.
  virtual bool SetProperty(SfWindowHandle window, const XpString& name) = 0;
  virtual void RemoveProperty(SfWindowHandle window, const XpString& name) = 0;

  virtual bool IsMinimized(SfWindowHandle window) = 0;
  virtual void Restore(SfWindowHandle window) = 0;
  // 0 when the window's thread cannot be told.
  virtual uint32_t GetThreadId(SfWindowHandle window) = 0;
  // Makes the window's last active pop-up the foreground window, with this
  // thread's input joined to the window's thread for the change.
  virtual void BringForward(SfWindowHandle window, uint32_t threadId) = 0;
  // Delivers record to window, naming sender as where it came from.
  virtual void SendCopyData(SfWindowHandle window, SfWindowHandle sender,
                            const SfCopyDataRecord& record) = 0;
};

// The window list of a terminal program: it has no windows, so the walk
// finds nothing and no property can be set.
class SfTerminalWindowList : public ISfWindowList {
 public:
  // The one list the process uses.
  static SfTerminalWindowList& Instance();

  SfWindowHandle GetFirstWindow() override;
  SfWindowHandle GetNextWindow(SfWindowHandle window) override;
  bool HasProperty(SfWindowHandle window, const XpString& name) override;
  bool SetProperty(SfWindowHandle window, const XpString& name) override;
  void RemoveProperty(SfWindowHandle window, const XpString& name) override;
  bool IsMinimized(SfWindowHandle window) override;
  void Restore(SfWindowHandle window) override;
  uint32_t GetThreadId(SfWindowHandle window) override;
  void BringForward(SfWindowHandle window, uint32_t threadId) override;
  void SendCopyData(SfWindowHandle window, SfWindowHandle sender,
                    const SfCopyDataRecord& record) override;
};
