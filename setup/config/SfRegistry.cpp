#include "setup/config/SfRegistry.h"

SfRegistry::~SfRegistry() = default;

XpResult SfRegistry::Open(const XpString& path, uint32_t root, uint32_t access) {
  const uint32_t effectiveRoot = useOwnHive_ ? kRootCurrentUser : root;
  return XpRegistry::Open(path, effectiveRoot, access);
}
