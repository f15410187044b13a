#pragma once

#include "platform/volume/IXpMountTableSource.h"

// The mount table of /proc/self/mountinfo below the system root. The kernel
// flags that file with POLLPRI|POLLERR on every mount and unmount; an eventfd
// ends the wait.
class XpProcMountTableSource : public IXpMountTableSource {
 public:
  XpProcMountTableSource() = default;
  XpProcMountTableSource(const XpProcMountTableSource&) = delete;
  XpProcMountTableSource& operator=(const XpProcMountTableSource&) = delete;
  ~XpProcMountTableSource() override;

  [[nodiscard]] XpResult Open() override;
  void Close() override;
  [[nodiscard]] XpResult Read(XpMountTable* table) override;
  bool WaitForChange() override;
  void Interrupt() override;

 private:
  int tableFd_ = -1;
  int wakeFd_ = -1;
};
