#include "MsiInstallationTable.h"

namespace msi {

InstallationTable& InstallationTable::Instance() {
  static InstallationTable* const table = new InstallationTable();
  return *table;
}

MSIHANDLE InstallationTable::Add(std::unique_ptr<Installation> installation) {
  std::lock_guard<std::mutex> guard(mutex_);
  // 0 is never a handle, also after the counter wraps.
  while (next_ == 0 || installations_.count(next_) != 0) ++next_;
  const MSIHANDLE handle = next_++;
  installations_.emplace(handle, std::move(installation));
  return handle;
}

bool InstallationTable::Remove(MSIHANDLE handle) {
  std::lock_guard<std::mutex> guard(mutex_);
  return installations_.erase(handle) != 0;
}

}  // namespace msi
