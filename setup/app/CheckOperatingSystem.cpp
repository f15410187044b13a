#include "setup/app/CheckOperatingSystem.h"

#include "platform/system/XpSystemInfo.h"

namespace {

constexpr uint32_t kLastRefusedMajor = 4;
constexpr uint16_t kFirstAcceptedServicePack = 3;
constexpr uint16_t kStorageServerSuite = 0x2000;
constexpr uint16_t kHomeServerSuite = 0x8000;
constexpr uint32_t kStarterEdition = 0x0B;
constexpr uint32_t kLiveProductInfo = 0x30;

bool IsVersion(const SetupOsIdentity& os, uint32_t major, uint32_t minor) {
  return os.major == major && os.minor == minor;
}

bool AcceptServer2003Family(const SetupOsIdentity& os) {
  if (os.r2Metric) return true;
  if (os.suiteMask == kStorageServerSuite || os.suiteMask == kHomeServerSuite) return false;
  return !(os.productType == SetupOsIdentity::kWorkstation &&
           os.processorArchitecture == SetupOsIdentity::kArchitectureX64);
}

bool AcceptVista(const SetupOsIdentity& os) {
  if (os.productType != SetupOsIdentity::kWorkstation) return false;
  return os.productInfo != kStarterEdition;
}

}  // namespace

std::optional<SetupOsIdentity> SetupReadLiveOsIdentity() {
  SetupOsIdentity os;
  if (XpFailed(XpGetOSVersion(&os.platformId, &os.major, &os.minor))) return std::nullopt;
  os.productType = SetupOsIdentity::kWorkstation;
  os.processorArchitecture = SetupOsIdentity::kArchitectureX64;
  os.productInfo = kLiveProductInfo;
  return os;
}

bool CheckOperatingSystem(const SetupOsIdentity& os) {
  if (os.platformId != kXpPlatformWin32NT || os.major <= kLastRefusedMajor) return false;
  if (IsVersion(os, 5, 0)) return false;
  if (IsVersion(os, 5, 1)) return os.servicePackMajor >= kFirstAcceptedServicePack;
  if (IsVersion(os, 5, 2)) return AcceptServer2003Family(os);
  if (IsVersion(os, 6, 0)) return AcceptVista(os);
  if (IsVersion(os, 6, 1)) return os.productType == SetupOsIdentity::kWorkstation;
  return false;
}
