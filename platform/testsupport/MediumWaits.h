#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/fs/XpSysCalls.h"

namespace testsupport {

// Counts the calls that wait for the medium (fsync, syncfs) for as long as
// it lives, each with the path of its descriptor. Installed over whatever
// the seam held (a FaultInjection made before it keeps its rules); safe to
// use from the threads of the code under test.
class MediumWaits : public XpSysCallsWrapper {
 public:
  MediumWaits();
  ~MediumWaits() override;
  MediumWaits(const MediumWaits&) = delete;
  MediumWaits& operator=(const MediumWaits&) = delete;

  int Fsync(int fd) override;
  int Syncfs(int fd) override;

  // "fsync PATH" or "syncfs PATH", in the order they were made.
  std::vector<std::string> Entries() const;
  // The waits whose path lies under prefix.
  size_t CountUnder(const std::string& prefix) const;
  size_t Count() const;

 private:
  void Note(const char* call, int fd);

  XpSysCalls* previous_ = nullptr;
  mutable std::mutex lock_;
  std::vector<std::string> entries_;
  std::vector<std::string> paths_;
};

}  // namespace testsupport
