#pragma once

#include <ctime>

// The local time that the installer log uses, both in the names of its
// files and in the head of each entry. Tests pass a fixed one.
class InstallerLogClock {
 public:
  virtual ~InstallerLogClock() = default;
  // The broken-down local time now.
  virtual std::tm LocalNow() = 0;

  // The system's clock in the local time zone.
  static InstallerLogClock& Real();
};
