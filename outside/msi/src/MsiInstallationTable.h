#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "msi/MsiInstallation.h"

namespace msi {

// One installation: its properties, declared features and their states.
struct Installation {
  PropertyMap properties;
  FeatureStates features;
  YesNoAnswerer answerer;
};

// The process's open installations by handle. Every call locks the table,
// so actions on several threads may share it.
class InstallationTable {
 public:
  static InstallationTable& Instance();

  MSIHANDLE Add(std::unique_ptr<Installation> installation);
  bool Remove(MSIHANDLE handle);

  // Runs visit on the installation under the table's lock; false for an
  // unknown handle.
  template <typename Visit>
  bool With(MSIHANDLE handle, Visit&& visit) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto found = installations_.find(handle);
    if (found == installations_.end()) return false;
    visit(*found->second);
    return true;
  }

 private:
  InstallationTable() = default;

  std::mutex mutex_;
  std::unordered_map<MSIHANDLE, std::unique_ptr<Installation>> installations_;
  MSIHANDLE next_ = 1;
};

}  // namespace msi
