#pragma once

#include <cstdint>
#include <optional>

// What the installer gate looks at of the operating system.
struct SetupOsIdentity {
  static constexpr uint8_t kWorkstation = 1;
  static constexpr uint8_t kDomainController = 2;
  static constexpr uint8_t kServer = 3;
  static constexpr uint16_t kArchitectureX64 = 9;

  uint32_t platformId = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint16_t servicePackMajor = 0;
  uint8_t productType = kWorkstation;
  uint16_t suiteMask = 0;
  // The system reports the R2 server metric.
  bool r2Metric = false;
  uint16_t processorArchitecture = 0;
  // The edition of a 6.0 system.
  uint32_t productInfo = 0;
};

// The identity of this machine: platform, major and minor from
// XpGetOSVersion (KAVO_OS_VERSION for tests), the rest fixed: a workstation
// with service pack 0, suite 0, no R2 metric, architecture 9 and product
// information 0x30. Nothing when the query fails.
std::optional<SetupOsIdentity> SetupReadLiveOsIdentity();

// True when the product may be installed on this system.
bool CheckOperatingSystem(const SetupOsIdentity& os);
