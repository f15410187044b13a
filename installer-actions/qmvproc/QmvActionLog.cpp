#include "installer-actions/qmvproc/QmvActionLog.h"

XpString QmvActionLog::HandleMessage(MSIHANDLE install) {
  XpString message;
  (void)message.Format(u"MSI Hundle: %d", install);
  return message;
}

XpString QmvActionLog::Named(const char16_t* suffix) const { return XpString(action_) + suffix; }

void QmvActionLog::HandleStart(MSIHANDLE install) { common_.LogTitled(Named(u" Start"), HandleMessage(install)); }

void QmvActionLog::HandleEnd(const XpString& message) { common_.LogTitled(Named(u" End"), message); }

void QmvActionLog::MessageStart() { common_.Log(Named(u" Start"), XpString()); }

void QmvActionLog::MessageEnd() { common_.Log(Named(u" End"), XpString()); }

void QmvActionLog::TitleStart() { common_.LogTitled(Named(u" Start"), XpString()); }

void QmvActionLog::TitleEnd() { common_.LogTitled(Named(u" End"), XpString()); }
