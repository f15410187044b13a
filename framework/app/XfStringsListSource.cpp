#include "framework/app/XfStringsListSource.h"

#include <mutex>
#include <utility>

XfStringsListSource::~XfStringsListSource() = default;

XfStringsManagerList XfStringsListSource::GetStringsManagers() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return managers_;
}

void XfStringsListSource::Replace(XfStringsManagerList managers) {
  XfStringsManagerList previous;
  {
    std::lock_guard<XpCriticalSection> hold(lock_);
    previous.swap(managers_);
    managers_ = std::move(managers);
  }
  // previous lets go of the old managers outside the lock.
}
