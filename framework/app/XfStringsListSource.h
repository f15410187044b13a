#pragma once

#include "framework/strings/XfStringLookup.h"
#include "platform/sync/XpCriticalSection.h"

// A source for the global text look-ups over a list that its owner
// replaces. Readers get a copy, so a replacement never frees a manager that
// a look-up is still using.
class XfStringsListSource : public IXfStringsSource {
 public:
  XfStringsListSource() = default;
  XfStringsListSource(const XfStringsListSource&) = delete;
  XfStringsListSource& operator=(const XfStringsListSource&) = delete;
  ~XfStringsListSource() override;

  XfStringsManagerList GetStringsManagers() const override;
  void Replace(XfStringsManagerList managers);

 private:
  mutable XpCriticalSection lock_;
  XfStringsManagerList managers_;
};
