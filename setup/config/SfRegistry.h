#pragma once

#include <cstdint>

#include "platform/registry/XpRegistry.h"

// A registry key of the suite that can be told to use the calling user's
// own hive: keys then open under the current user, whatever root is asked
// for.
class SfRegistry : public XpRegistry {
 public:
  SfRegistry() = default;
  ~SfRegistry() override;

  void SetUseOwnHive(bool useOwnHive) { useOwnHive_ = useOwnHive; }
  bool GetUseOwnHive() const { return useOwnHive_; }

  // access: bit 0 read, bit 1 write, bit 2 the 64-bit view, bit 3 the 32-bit
  // view; without the read and the write bit kXpErrGeneric. Every '/' in
  // the path becomes '\'. A read-only request opens an existing key, any
  // other creates or opens it. kXpOk or kXpErrGeneric.
  [[nodiscard]] XpResult Open(const XpString& path, uint32_t root, uint32_t access);

 private:
  bool useOwnHive_ = false;
};
