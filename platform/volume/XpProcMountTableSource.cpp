#include "platform/volume/XpProcMountTableSource.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/fs/XpRestarted.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/system/XpSysRoot.h"

namespace {

constexpr const char* kMountInfoPath = "/proc/self/mountinfo";
constexpr int kWaitWithoutLimit = -1;
constexpr uint64_t kWakeValue = 1;

// Both descriptors are only read or polled: closing them loses nothing.
void CloseFd(int& fd) {
  if (fd < 0) return;
  (void)XpSysCalls::Current().Close(fd);
  fd = -1;
}

}  // namespace

XpProcMountTableSource::~XpProcMountTableSource() { Close(); }

XpResult XpProcMountTableSource::Open() {
  Close();
  tableFd_ = XpSysCalls::Current().Open(XpSysRootPath(kMountInfoPath).CStr(), O_RDONLY, 0);
  if (tableFd_ < 0) return kXpErrSystem;
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    CloseFd(tableFd_);
    return kXpErrSystem;
  }
  return kXpOk;
}

void XpProcMountTableSource::Close() {
  CloseFd(tableFd_);
  CloseFd(wakeFd_);
}

XpResult XpProcMountTableSource::Read(XpMountTable* table) { return table->Load(); }

bool XpProcMountTableSource::WaitForChange() {
  if (tableFd_ < 0 || wakeFd_ < 0) return false;
  pollfd fds[] = {{tableFd_, POLLPRI, 0}, {wakeFd_, POLLIN, 0}};
  const int ready = XpRestarted([&] { return ::poll(fds, 2, kWaitWithoutLimit); });
  if (ready <= 0) return false;
  if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
  if ((fds[0].revents & POLLNVAL) != 0) return false;
  return (fds[0].revents & (POLLPRI | POLLERR)) != 0;
}

void XpProcMountTableSource::Interrupt() {
  if (wakeFd_ < 0) return;
  const uint64_t value = kWakeValue;
  // A full counter (EAGAIN) already wakes the watcher.
  (void)XpWriteAll(XpSysCalls::Current(), wakeFd_, &value, sizeof(value));
}
