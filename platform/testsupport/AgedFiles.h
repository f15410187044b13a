#pragma once

#include <chrono>
#include <string>

#include "platform/fs/XpSysCalls.h"

namespace testsupport {

// Makes the entries whose path contains a marker look older to the file
// layer's stat calls (their modification and status-change times moved back
// by age), for as long as it lives. Installs itself over the seam's current
// calls, as FaultInjection does; destroy in the reverse order of creation.
class AgedFiles final : public XpSysCallsWrapper {
 public:
  AgedFiles(std::string marker, std::chrono::seconds age);
  ~AgedFiles() override;
  AgedFiles(const AgedFiles&) = delete;
  AgedFiles& operator=(const AgedFiles&) = delete;

  int Stat(const char* path, struct stat* out) override;
  int Lstat(const char* path, struct stat* out) override;

 private:
  int Age(const char* path, int status, struct stat* out) const;

  std::string marker_;
  std::chrono::seconds age_;
};

}  // namespace testsupport
