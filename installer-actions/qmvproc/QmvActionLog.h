#pragma once

#include "installer-actions/common/InstallerCommonFunction.h"
#include "msi/MsiApi.h"
#include "platform/text/XpString.h"

// The start and end entries of one custom action, in one of three shapes:
//   handle:  title "<action> Start" / "<action> End", messages given;
//   message: empty titles, messages "<action> Start" / "<action> End";
//   title:   titles "<action> Start" / "<action> End", empty messages.
class QmvActionLog {
 public:
  QmvActionLog(InstallerCommonFunction& common, const char16_t* action) : common_(common), action_(action) {}

  // "MSI Hundle: <handle>".
  static XpString HandleMessage(MSIHANDLE install);

  void HandleStart(MSIHANDLE install);
  void HandleEnd(const XpString& message);
  void MessageStart();
  void MessageEnd();
  void TitleStart();
  void TitleEnd();

 private:
  XpString Named(const char16_t* suffix) const;

  InstallerCommonFunction& common_;
  const char16_t* action_;
};
