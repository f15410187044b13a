#include "framework/suite/ISfWindowList.h"

namespace {

constexpr SfWindowHandle kNoWindow = 0;

}  // namespace

XpString ISfWindowList::GetTitle(SfWindowHandle) { return XpString(); }

SfTerminalWindowList& SfTerminalWindowList::Instance() {
  static SfTerminalWindowList list;
  return list;
}

SfWindowHandle SfTerminalWindowList::GetFirstWindow() { return kNoWindow; }

SfWindowHandle SfTerminalWindowList::GetNextWindow(SfWindowHandle) { return kNoWindow; }

bool SfTerminalWindowList::HasProperty(SfWindowHandle, const XpString&) { return false; }

bool SfTerminalWindowList::SetProperty(SfWindowHandle, const XpString&) { return false; }

void SfTerminalWindowList::RemoveProperty(SfWindowHandle, const XpString&) {}

bool SfTerminalWindowList::IsMinimized(SfWindowHandle) { return false; }

void SfTerminalWindowList::Restore(SfWindowHandle) {}

uint32_t SfTerminalWindowList::GetThreadId(SfWindowHandle) { return 0; }

void SfTerminalWindowList::BringForward(SfWindowHandle, uint32_t) {}

void SfTerminalWindowList::SendCopyData(SfWindowHandle, SfWindowHandle, const SfCopyDataRecord&) {}
